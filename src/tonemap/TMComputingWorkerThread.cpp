#include "tonemap/TMComputingWorkerThread.h"

#include "app/EventLog.h"
#include "tonemap/ToneMapEngine.h"

#include <exception>

namespace lumora {

TMComputingWorkerThread::TMComputingWorkerThread(ToneMapEngine* engine, bool fullSize, bool fast, int stage,
                                                 QObject* parent)
    : QThread(parent), engine_(engine), fast_(fast), fullSize_(fullSize), stage_(stage) {}

void TMComputingWorkerThread::run() {
    running_ = true;
    cv::Mat result;
    try {
        if (engine_) {
            if (fullSize_) {
                result = engine_->renderFullSize();
            } else {
                engine_->computePreview(stage_, fast_);
                result = engine_->previewImage();
            }
        }
    } catch (const std::exception& e) {
        logError("TMComputingWorkerThread", e.what());
        result.release();
    } catch (...) {
        logError("TMComputingWorkerThread", "unknown exception during rendering");
        result.release();
    }
    result_ = result;
    canceled_ = engine_ && engine_->isCanceled();
    running_ = false;
    if (!result_.empty())
        emit processWellFinished();
    else
        emit processCanceled();
}

} // namespace lumora
