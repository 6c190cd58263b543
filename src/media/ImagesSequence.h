#pragma once
// The frames of one opened video or photo burst: random access by index for workers, paced stepping and
// scrubbing for the player, the trim range, brightness for display and the time labels. One non-recursive
// mutex serialises everything that moves the stream or the player's frame.

#include "media/VideoDecoder.h"

#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lumora {

// What every frame source offers to the stacking and sharpness workers.
class ImagesSequenceBase {
public:
    virtual ~ImagesSequenceBase() = default;
    // Frame `index`; empty when out of range or unreadable.
    virtual cv::Mat getCvImageAt(int index, bool forDisplay) = 0;
    virtual bool isLastFrame() = 0;
};

class ImagesSequence : public ImagesSequenceBase {
public:
    enum Kind : int { Video = 0, Burst = 1 };

    // Opens a video. Test ready() afterwards; a failure is in the event log.
    explicit ImagesSequence(const std::string& videoPath);
    // Opens a burst; frame i is file i of the list in ascending, case-sensitive order.
    explicit ImagesSequence(const std::vector<std::string>& fileList);
    ~ImagesSequence() override;
    ImagesSequence(const ImagesSequence&) = delete;
    ImagesSequence& operator=(const ImagesSequence&) = delete;

    // Frame `index` for the caller to keep. `forDisplay`: a request to show the frame (the current frame may
    // answer it; burst files decode in preview mode). `restorePosition`: the player's frame and index stay as
    // they were; otherwise the player moves to `index`. `alreadyLocked`: the caller holds the mutex.
    cv::Mat getCvImageAt(int index, bool forDisplay) override;
    cv::Mat getCvImageAt(int index, bool forDisplay, bool restorePosition, bool alreadyLocked);
    // Frames first..last for a worker, with one seek and a sequential decode: element k is what
    // getCvImageAt(first + k, false) returns. The player's frame is not disturbed. Empty when last < first.
    std::vector<cv::Mat> getCvImagesInRange(int first, int last);

    // Jumps the player to `index` and returns the display frame (unchanged when out of range).
    cv::Mat setCurrentFrame(int index, bool forDisplay, bool alreadyLocked = false);
    // The player's paced steps; each returns the display frame.
    cv::Mat nextFrame(bool forDisplay);
    cv::Mat previousFrame(bool forDisplay);
    // Puts the player on the first frame of the trim range.
    void rewind(bool forDisplay);

    cv::Mat currentImage() const;
    cv::Mat displayImage();
    int currentIndex();
    bool isLastFrame() override;

    // Display brightness in thirds of a stop (0 at opening).
    void setBrightness(int step);
    // Player speed slider level (0 = nominal).
    void setSpeed(int level);
    // Labels for frame `index` (-1: the player's frame): time or "i/n", and duration or file name.
    std::string positionText(int index = -1) const;
    std::string endText(int index = -1) const;
    // The file the current frame comes from: the video, or the burst file at the player's index.
    std::string fileName() const;
    // The file frame `index` comes from, where its EXIF data is: the video, or that burst file (empty when
    // out of range).
    std::string sourceFileOf(int index) const;

    int kind() const { return kind_; }
    bool ready() const { return ready_; }
    int frameCount() const { return frameCount_; }
    float fps() const { return fps_; }
    int width() const { return width_; }
    int height() const { return height_; }
    float aspectRatio() const { return aspectRatio_; }
    float duration() const { return duration_; }
    const std::string& durationText() const { return durationText_; }
    float frameInterval() const { return frameInterval_; }
    int brightness() const { return brightness_; }
    // The burst's files in frame order (empty for a video).
    const std::vector<std::string>& files() const { return files_; }

    // Trim range, edited by the window; the player stops at its ends.
    int firstIndex() const { return firstIndex_; }
    int lastIndex() const { return lastIndex_; }
    void setFirstIndex(int index) { firstIndex_ = index; }
    void setLastIndex(int index) { lastIndex_ = index; }

private:
    using Clock = std::chrono::steady_clock;

    void initialise();
    void pace(bool forDisplay, bool forward);
    cv::Mat readBurstFile(int index, bool preview) const;
    void logUnreadableBurstFile(const char* place, const char* prefix, int index) const;
    void showFrame(const cv::Mat& frame);
    bool showDecodableFrame(int from, int to, const char* place);

    int kind_;
    std::string path_;
    std::unique_ptr<VideoDecoder> decoder_;
    std::mutex mutex_;
    std::vector<std::string> files_;
    int frameCount_ = 0;
    cv::Mat currentFrame_;
    cv::Mat displayFrame_;
    int width_ = 0, height_ = 0;
    float aspectRatio_ = 0.0f;
    std::atomic<int> position_{0};
    int brightness_ = 0;
    bool ready_ = false;
    float fps_ = 0.0f;
    float frameInterval_ = 0.0f;
    float duration_ = 0.0f;
    std::string durationText_;
    std::atomic<int> firstIndex_{0};
    std::atomic<int> lastIndex_{0};
    Clock::time_point lastTick_;
};

} // namespace lumora
