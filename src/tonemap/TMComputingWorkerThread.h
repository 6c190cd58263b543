#pragma once
// Runs one render of a ToneMapEngine (a staged preview or a full-size render) off the window's thread and
// reports its end: processWellFinished when there is an image to show, processCanceled when there is none.
// The receiver reads the image from result() after the signal.

#include <QThread>

#include <opencv2/core.hpp>

#include <atomic>

namespace lumora {

class ToneMapEngine;

class TMComputingWorkerThread : public QThread {
    Q_OBJECT
public:
    // The engine is not owned and must outlive the thread; it must not be changed while the thread runs.
    TMComputingWorkerThread(ToneMapEngine* engine, bool fullSize, bool fast, int stage,
                            QObject* parent = nullptr);

    cv::Mat result() const { return result_; }
    bool isComputing() const { return running_.load(); }
    // The operator's cancel flag as the render left it.
    bool wasCanceled() const { return canceled_.load(); }
    bool fullSize() const { return fullSize_; }
    bool fast() const { return fast_; }
    int stage() const { return stage_; }

signals:
    void processWellFinished();
    void processCanceled();

protected:
    void run() override;

private:
    ToneMapEngine* engine_;
    bool fast_;
    bool fullSize_;
    cv::Mat result_;
    std::atomic<bool> running_{false};
    std::atomic<bool> canceled_{false};
    int stage_;
};

} // namespace lumora
