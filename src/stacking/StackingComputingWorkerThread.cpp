#include "stacking/StackingComputingWorkerThread.h"

#include "app/EventLog.h"

#include <exception>

namespace lumora {

StackingComputingWorkerThread::StackingComputingWorkerThread(StackingEngine* engine,
                                                             const StackingParams& params, QObject* parent)
    : QThread(parent), engine_(engine), params_(params), frameCount_(params.frameCount) {}

StackingComputingWorkerThread::~StackingComputingWorkerThread() {
    if (isRunning()) {
        if (engine_)
            engine_->cancel();
        wait();
    }
    // run() takes this mutex as its last step; taking it here orders everything the thread did before the
    // members go away, in a way race checkers can see (QThread::wait synchronises inside Qt).
    std::lock_guard<std::mutex> lock(resultMutex_);
}

cv::Mat StackingComputingWorkerThread::result() const {
    std::lock_guard<std::mutex> lock(resultMutex_);
    return result_;
}

void StackingComputingWorkerThread::run() {
    busy_.store(true);
    cv::Mat light;
    QString failure;
    try {
        if (!engine_)
            failure = QStringLiteral("no stacking engine");
        else
            light = engine_->computeLightImage(params_);
    } catch (const std::exception& e) {
        // Nothing may escape a thread; the run ends as a failure the window can report.
        logError("StackingComputingWorkerThread", std::string("Stacking failed: ") + e.what() + "\n");
        failure = QString::fromStdString(e.what());
    } catch (...) {
        logError("StackingComputingWorkerThread", "Stacking failed.\n");
        failure = QStringLiteral("unknown error");
    }
    {
        std::lock_guard<std::mutex> lock(resultMutex_);
        result_ = light;
    }
    frameCount_.store(params_.frameCount);
    busy_.store(false);

    if (failure.isEmpty() && engine_ && engine_->outcome() == StackingEngine::Outcome::Failed)
        failure = QString::fromStdString(engine_->errorMessage()).trimmed();
    if (!failure.isEmpty()) {
        emit processFailed(failure);
    } else {
        emitEnd();
    }
    std::lock_guard<std::mutex> lock(resultMutex_);
}

void StackingComputingWorkerThread::emitEnd() {
    switch (engine_->status()) {
    case StackingEngine::CancelRequested:
        emit processCanceled();
        break;
    case StackingEngine::StopRequested:
        emit processStopped(params_.frameCount);
        break;
    default:
        emit processWellFinished(params_.frameCount);
        break;
    }
}

} // namespace lumora
