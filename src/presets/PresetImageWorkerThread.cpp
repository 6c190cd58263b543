#include "presets/PresetImageWorkerThread.h"

#include "app/EventLog.h"
#include "tonemap/ToneMapEngine.h"

#include <exception>

namespace lumora {

PresetImageWorkerThread::PresetImageWorkerThread(ToneMapEngine* engine, Mode mode, QObject* parent)
    : QThread(parent), engine_(engine), mode_(mode) {}

PresetImageWorkerThread::~PresetImageWorkerThread() {
    if (isRunning()) {
        if (engine_)
            engine_->cancel();
        wait();
    }
}

void PresetImageWorkerThread::run() {
    cv::Mat out;
    try {
        if (engine_) {
            switch (mode_) {
            case FullSize:
                out = engine_->renderFullSize();
                break;
            case Preview:
                engine_->computePreview(ToneMapEngine::StageRotation, false);
                out = engine_->previewImage();
                break;
            case Thumbnail:
                out = engine_->renderThumbnail(engine_->lightImage());
                break;
            }
            if (engine_->isCanceled())
                out.release();
        }
    } catch (const std::exception& e) {
        logError("PresetImageWorkerThread", std::string("The preset thumbnail failed: ") + e.what());
        out.release();
    }
    result_ = out;
}

} // namespace lumora
