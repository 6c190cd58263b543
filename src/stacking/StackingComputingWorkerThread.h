#pragma once
// Runs one stacking job off the window's thread and reports how it ended with exactly one signal: finished,
// stopped (with the frames visited), cancelled, or failed (nothing to show, with the reason).

#include "stacking/StackingEngine.h"
#include "stacking/StackingParams.h"

#include <QString>
#include <QThread>

#include <opencv2/core.hpp>

#include <atomic>
#include <mutex>

namespace lumora {

class StackingComputingWorkerThread : public QThread {
    Q_OBJECT
public:
    // The engine and the sequence in `params` must outlive the thread; the destructor cancels a run still
    // going and waits for it.
    StackingComputingWorkerThread(StackingEngine* engine, const StackingParams& params,
                                  QObject* parent = nullptr);
    ~StackingComputingWorkerThread() override;

    // True from construction until the run has stored its result.
    bool busy() const { return busy_.load(); }
    cv::Mat result() const;
    // The frame count as the run wrote it back.
    int frameCount() const { return frameCount_.load(); }

signals:
    void processWellFinished(int nImages);
    void processStopped(int nImages);
    void processCanceled();
    void processFailed(const QString& message);

protected:
    void run() override;

private:
    void emitEnd();

    StackingEngine* engine_;
    StackingParams params_;
    std::atomic<bool> busy_{true};
    std::atomic<int> frameCount_{0};
    mutable std::mutex resultMutex_; // also the last thing run() takes: see the destructor
    cv::Mat result_;
};

} // namespace lumora
