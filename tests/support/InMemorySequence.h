#pragma once
// A frame source held in memory for the stacking and sharpness tests, with a hook that sees every read (to
// count reads, or to cancel or stop a run at a known frame).

#include "media/ImagesSequence.h"

#include <opencv2/core.hpp>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace lumora::test {

class InMemorySequence : public ImagesSequenceBase {
public:
    explicit InMemorySequence(std::vector<cv::Mat> frames) : frames_(std::move(frames)) {}

    cv::Mat getCvImageAt(int index, bool forDisplay) override {
        std::function<void(int)> hook;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!forDisplay)
                reads_.push_back(index);
            hook = onRead_;
        }
        if (hook && !forDisplay)
            hook(index);
        if (index < 0 || index >= static_cast<int>(frames_.size()))
            return cv::Mat();
        return frames_[static_cast<size_t>(index)].clone();
    }
    bool isLastFrame() override { return false; }

    void setOnRead(std::function<void(int)> hook) {
        std::lock_guard<std::mutex> lock(mutex_);
        onRead_ = std::move(hook);
    }
    std::vector<int> reads() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return reads_;
    }
    int size() const { return static_cast<int>(frames_.size()); }

private:
    std::vector<cv::Mat> frames_;
    mutable std::mutex mutex_;
    std::vector<int> reads_;
    std::function<void(int)> onRead_;
};

} // namespace lumora::test
