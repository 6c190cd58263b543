#pragma once
// The one object through which every part gets the frames of an opened video or photo burst. It joins the
// frame source that workers read from any thread (random access, runs of frames) and the player that the
// window drives (paced steps, the shown frame, brightness, speed, trim range, labels) under one set of names.

#include "media/FrameSource.h"
#include "media/SequencePlayer.h"

#include <opencv2/core.hpp>

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
    // What the frames' samples mean (depth, transfer, primaries); plain 8-bit SDR unless a source says more.
    virtual VideoColour colour() const { return {}; }
};

class ImagesSequence : public ImagesSequenceBase {
public:
    enum Kind : int { Video = FrameSource::Video, Burst = FrameSource::Burst };

    // Opens a video. Test ready() afterwards; a failure is in the event log.
    explicit ImagesSequence(const std::string& videoPath) : source_(videoPath), player_(source_) {}
    // Opens a burst; frame i is file i of the list in ascending, case-sensitive order.
    explicit ImagesSequence(const std::vector<std::string>& fileList) : source_(fileList), player_(source_) {}
    ImagesSequence(const ImagesSequence&) = delete;
    ImagesSequence& operator=(const ImagesSequence&) = delete;

    // Frame `index` for the caller to keep. `forDisplay`: a request to show the frame (the player's frame may
    // answer it; burst files decode in preview mode). `restorePosition`: the player's frame and index stay as
    // they were; otherwise the player's index moves to `index`. `alreadyLocked` is accepted and ignored: the
    // source and the player each take a lock of their own that no caller can hold.
    cv::Mat getCvImageAt(int index, bool forDisplay) override {
        return getCvImageAt(index, forDisplay, true, false);
    }
    cv::Mat getCvImageAt(int index, bool forDisplay, bool restorePosition, bool alreadyLocked);
    // Frame `index` as a picture of its own, to edit or save: full quality (burst files are read whole, not
    // as the player's preview), HDR frames through the display transform (HdrLight.h) as 16-bit BGR. Empty
    // when unreadable. The player is not disturbed.
    cv::Mat stillFrameAt(int index);
    // Frames first..last for a worker, with one seek and a sequential decode: element k is what
    // getCvImageAt(first + k, false) returns. The player's frame is not disturbed. Empty when last < first.
    std::vector<cv::Mat> getCvImagesInRange(int first, int last) {
        return source_.framesInRange(first, last);
    }

    // Jumps the player to `index` and returns the display frame (unchanged when out of range).
    cv::Mat setCurrentFrame(int index, bool forDisplay, bool /*alreadyLocked*/ = false) {
        return player_.setCurrentFrame(index, forDisplay);
    }
    // The player's paced steps; each returns the display frame.
    cv::Mat nextFrame(bool forDisplay) { return player_.nextFrame(forDisplay); }
    cv::Mat previousFrame(bool forDisplay) { return player_.previousFrame(forDisplay); }
    // Puts the player on the first frame of the trim range.
    void rewind(bool forDisplay) { player_.rewind(forDisplay); }

    cv::Mat currentImage() const { return player_.currentImage(); }
    cv::Mat displayImage() { return player_.displayImage(); }
    int currentIndex() { return player_.currentIndex(); }
    bool isLastFrame() override { return player_.isLastFrame(); }

    // Display brightness in thirds of a stop (0 at opening).
    void setBrightness(int step) { player_.setBrightness(step); }
    // Player speed slider level (0 = nominal).
    void setSpeed(int level) { player_.setSpeed(level); }
    // Labels for frame `index` (-1: the player's frame): time or "i/n", and duration or file name.
    std::string positionText(int index = -1) const { return player_.positionText(index); }
    std::string endText(int index = -1) const { return player_.endText(index); }
    // The file the current frame comes from: the video, or the burst file at the player's index.
    std::string fileName() const { return player_.fileName(); }
    // The file frame `index` comes from, where its EXIF data is: the video, or that burst file (empty when
    // out of range).
    std::string sourceFileOf(int index) const { return source_.fileOf(index); }

    int kind() const { return source_.kind(); }
    bool ready() const { return source_.ready(); }
    int frameCount() const { return source_.frameCount(); }
    float fps() const { return source_.fps(); }
    int width() const { return source_.width(); }
    int height() const { return source_.height(); }
    float aspectRatio() const { return source_.aspectRatio(); }
    float duration() const { return source_.duration(); }
    const std::string& durationText() const { return source_.durationText(); }
    VideoColour colour() const override { return source_.colour(); }
    float frameInterval() const { return player_.frameInterval(); }
    int brightness() const { return player_.brightness(); }
    // The burst's files in frame order (empty for a video).
    const std::vector<std::string>& files() const { return source_.files(); }

    // Trim range, edited by the window; the player stops at its ends.
    int firstIndex() const { return player_.firstIndex(); }
    int lastIndex() const { return player_.lastIndex(); }
    void setFirstIndex(int index) { player_.setFirstIndex(index); }
    void setLastIndex(int index) { player_.setLastIndex(index); }

private:
    FrameSource source_; // declared first: the player reads from it
    SequencePlayer player_;
};

} // namespace lumora
