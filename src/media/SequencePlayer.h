#pragma once
// The player the window drives over a frame source: the shown frame and its brightened display copy, paced
// steps, jumps, the trim range that bounds playback, the speed and the time and name labels. Its lock guards
// only the player's state, so a paced step that waits never holds up a worker reading the same source.

#include "media/FrameSource.h"

#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

namespace lumora {

class SequencePlayer {
public:
    // Stands on the source's first frame; `source` must outlive the player.
    explicit SequencePlayer(FrameSource& source);
    SequencePlayer(const SequencePlayer&) = delete;
    SequencePlayer& operator=(const SequencePlayer&) = delete;

    // Jumps to `index` and returns the display frame (unchanged when out of range). `forDisplay`: the frame
    // is for showing (burst files decode in preview mode, and the brightness applies).
    cv::Mat setCurrentFrame(int index, bool forDisplay);
    // Paced steps within the trim range; each returns the display frame.
    cv::Mat nextFrame(bool forDisplay);
    cv::Mat previousFrame(bool forDisplay);
    // Puts the player on the first frame of the trim range.
    void rewind(bool forDisplay);
    // Moves the index alone, the shown frame staying as it is: what a frame read that does not restore the
    // player's position does.
    void moveIndex(int index);

    // The shown frame, undimmed (GUI thread: taken without the lock), and its display copy.
    cv::Mat currentImage() const { return currentFrame_; }
    cv::Mat displayImage();
    // The shown frame when the player stands on `index`, else an empty matrix.
    cv::Mat currentImageAt(int index);
    int currentIndex();
    bool isLastFrame() const;

    // Display brightness in thirds of a stop (0 at opening).
    void setBrightness(int step);
    int brightness() const { return brightness_; }
    // Speed slider level (0 = nominal) and the step interval it gives, in seconds.
    void setSpeed(int level);
    float frameInterval() const { return frameInterval_; }

    // Labels for frame `index` (-1: the player's frame): time or "i/n", and duration or file name.
    std::string positionText(int index = -1) const;
    std::string endText(int index = -1) const;
    // The file the shown frame comes from: the video, or the burst file at the player's index.
    std::string fileName() const;

    // Trim range, edited by the window; playback stops at its ends.
    int firstIndex() const { return firstIndex_; }
    int lastIndex() const { return lastIndex_; }
    void setFirstIndex(int index) { firstIndex_ = index; }
    void setLastIndex(int index) { lastIndex_ = index; }

private:
    using Clock = std::chrono::steady_clock;

    // What the window shows of a frame: HDR frames through the display transform, then the brightness.
    cv::Mat displayed(const cv::Mat& frame) const;

    void show(int index, bool forDisplay);
    void showFrame(const cv::Mat& frame);
    bool showDecodableFrame(int from, int to, const char* place);
    void showBurstFile(int index, bool forDisplay);
    void pace(bool forDisplay, bool forward);

    FrameSource& source_;
    std::mutex mutex_;
    cv::Mat currentFrame_;
    cv::Mat displayFrame_;
    std::atomic<int> position_{0};
    int brightness_ = 0;
    float frameInterval_ = 0.0f;
    std::atomic<int> firstIndex_{0};
    std::atomic<int> lastIndex_{0};
    Clock::time_point lastTick_;
};

} // namespace lumora
