#pragma once
// Reads a few frames of a sequence off the window's thread and keeps small copies of them, so that lists of
// frames (the sharpest-frame results) get their pictures without the window decoding video.

#include <QThread>
#include <opencv2/core.hpp>

#include <atomic>
#include <vector>

namespace lumora {

class ImagesSequence;

class FrameThumbnailsThread : public QThread {
    Q_OBJECT
public:
    // The sequence must outlive the thread; the destructor cancels and waits.
    FrameThumbnailsThread(ImagesSequence* sequence, std::vector<int> indices, int width);
    ~FrameThumbnailsThread() override;

    void requestCancel() { cancel_.store(true); }
    bool canceled() const { return cancel_.load(); }
    // One picture per index (empty where the frame could not be read); read after the thread finished.
    const std::vector<cv::Mat>& thumbnails() const { return thumbnails_; }

protected:
    void run() override;

private:
    ImagesSequence* sequence_;
    std::vector<int> indices_;
    int width_;
    std::atomic<bool> cancel_{false};
    std::vector<cv::Mat> thumbnails_;
};

} // namespace lumora
