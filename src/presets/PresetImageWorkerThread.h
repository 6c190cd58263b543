#pragma once
// Renders one preset's thumbnail off the window's thread with the preset's own engine. The owner reads the
// result by value once the thread has finished; a render cancelled through the engine yields nothing.

#include <QThread>
#include <opencv2/core.hpp>

#include <atomic>

namespace lumora {

class ToneMapEngine;

class PresetImageWorkerThread : public QThread {
    Q_OBJECT
public:
    enum Mode { FullSize = 0, Preview = 1, Thumbnail = 2 };

    // The engine is not owned; it must outlive the thread and not change while it runs.
    explicit PresetImageWorkerThread(ToneMapEngine* engine, Mode mode = Thumbnail, QObject* parent = nullptr);
    ~PresetImageWorkerThread() override; // cancels a render still going and waits for it

    // The last render's image; empty when it was cancelled or failed. Read after the thread finished.
    cv::Mat result() const { return result_; }

protected:
    void run() override;

private:
    ToneMapEngine* engine_;
    Mode mode_;
    cv::Mat result_;
};

} // namespace lumora
