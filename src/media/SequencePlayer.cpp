#include "media/SequencePlayer.h"

#include "media/HdrLight.h"
#include "media/SequenceTiming.h"

#include <QFileInfo>

#include <algorithm>
#include <thread>

namespace lumora {

namespace {
// A step over damaged video frames tries this many more before it gives up and stays where it is.
constexpr int kFramesSteppedOver = 2;
// The stepping messages for burst files have no blank after "image".
constexpr const char* kSteppingImagePrefix = "The image'";
} // namespace

SequencePlayer::SequencePlayer(FrameSource& source)
    : source_(source), currentFrame_(source.takeFirstFrame()), lastTick_(Clock::now()) {
    if (!source_.ready())
        return;
    displayFrame_ = displayed(currentFrame_);
    frameInterval_ = frameIntervalForSpeed(0, source_.fps());
    lastIndex_ = source_.frameCount() - 1;
}

cv::Mat SequencePlayer::displayed(const cv::Mat& frame) const {
    const VideoColour& colour = source_.colour();
    return applyBrightness(colour.isHdr() ? hdrDisplayFrame(frame, colour) : frame, brightness_);
}

void SequencePlayer::showFrame(const cv::Mat& frame) {
    currentFrame_ = frame;
    displayFrame_ = displayed(currentFrame_);
}

// Called with the lock held. An unreadable frame moves the index but keeps the picture.
void SequencePlayer::show(int index, bool forDisplay) {
    if (!source_.ready() || index < 0 || index >= source_.frameCount())
        return;
    const cv::Mat frame =
        forDisplay && index == position_ ? currentFrame_ : source_.frameAt(index, forDisplay);
    position_ = index;
    if (!frame.empty())
        currentFrame_ = frame;
    displayFrame_ = forDisplay ? displayed(currentFrame_) : currentFrame_;
}

cv::Mat SequencePlayer::setCurrentFrame(int index, bool forDisplay) {
    std::lock_guard<std::mutex> lock(mutex_);
    show(index, forDisplay);
    return displayFrame_;
}

void SequencePlayer::moveIndex(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= 0 && index < source_.frameCount())
        position_ = index;
}

// Called with the lock held. Sleeps out the rest of the frame interval, or skips frames when playback runs
// late; the skip stops at the trim range's ends.
void SequencePlayer::pace(bool forDisplay, bool forward) {
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - lastTick_).count();
    lastTick_ = now;
    const PaceStep step = paceStep(frameInterval_, elapsed);
    if (step.sleepSeconds > 0.0) {
        if (forward)
            std::this_thread::sleep_for(
                std::chrono::microseconds(static_cast<long long>(step.sleepSeconds * 1e6)));
        else
            std::this_thread::sleep_for(
                std::chrono::milliseconds(static_cast<long long>(step.sleepSeconds * 1e3)));
    } else if (step.skip > 0) {
        const int target = forward ? std::min(position_ + step.skip, lastIndex_.load())
                                   : std::max(position_ - step.skip, firstIndex_.load());
        if (target != position_)
            show(target, forDisplay);
    }
}

// Called with the lock held. Shows the first video frame from `from` towards `to` (either direction) that
// decodes: a damaged frame is stepped over so playback does not stall on it. False, with the player where it
// was, when none of them decodes.
bool SequencePlayer::showDecodableFrame(int from, int to, const char* place) {
    const int step = to >= from ? 1 : -1;
    for (int index = from; index != to + step; index += step) {
        const cv::Mat frame = source_.read(index, false);
        if (!frame.empty()) {
            showFrame(frame);
            position_ = index;
            return true;
        }
        source_.logUnreadable(place, index);
    }
    return false;
}

// Called with the lock held. The index moves on even when the file does not read; the picture stays.
void SequencePlayer::showBurstFile(int index, bool forDisplay) {
    position_ = index;
    const cv::Mat frame = source_.read(index, forDisplay);
    if (frame.empty())
        source_.logUnreadable("main", index, kSteppingImagePrefix);
    else
        showFrame(frame);
}

cv::Mat SequencePlayer::nextFrame(bool forDisplay) {
    if (!source_.ready())
        return displayFrame_;
    std::lock_guard<std::mutex> lock(mutex_);
    pace(forDisplay, true);
    if (isLastFrame())
        return displayFrame_;
    const int next = position_ + 1;
    if (source_.kind() == FrameSource::Video)
        showDecodableFrame(
            next, std::min(next + kFramesSteppedOver, std::min(lastIndex_.load(), source_.frameCount() - 1)),
            "nextFrame");
    else
        showBurstFile(next, forDisplay);
    return displayFrame_;
}

cv::Mat SequencePlayer::previousFrame(bool forDisplay) {
    if (!source_.ready() || position_ < 1 || position_ <= firstIndex_)
        return displayFrame_;
    std::lock_guard<std::mutex> lock(mutex_);
    pace(forDisplay, false);
    if (position_ < 1 || position_ <= firstIndex_)
        return displayFrame_; // catching up already reached the trim start
    const int previous = position_ - 1;
    if (source_.kind() == FrameSource::Video)
        showDecodableFrame(previous, std::max(previous - kFramesSteppedOver, std::max(0, firstIndex_.load())),
                           "previousFrame");
    else
        showBurstFile(previous, forDisplay);
    return displayFrame_;
}

void SequencePlayer::rewind(bool forDisplay) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int first = std::clamp(firstIndex_.load(), 0, std::max(0, source_.frameCount() - 1));
    const cv::Mat frame = source_.read(first, forDisplay);
    if (!frame.empty())
        showFrame(frame);
    else if (source_.kind() == FrameSource::Burst && source_.ready())
        source_.logUnreadable("main", first, kSteppingImagePrefix);
    position_ = first;
}

cv::Mat SequencePlayer::displayImage() {
    std::lock_guard<std::mutex> lock(mutex_);
    return displayFrame_;
}

cv::Mat SequencePlayer::currentImageAt(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    return index == position_ ? currentFrame_ : cv::Mat();
}

int SequencePlayer::currentIndex() {
    std::lock_guard<std::mutex> lock(mutex_);
    return position_;
}

bool SequencePlayer::isLastFrame() const {
    return position_ + 1 >= source_.frameCount() || position_ >= lastIndex_;
}

void SequencePlayer::setBrightness(int step) {
    std::lock_guard<std::mutex> lock(mutex_);
    brightness_ = step;
    displayFrame_ = displayed(currentFrame_);
}

void SequencePlayer::setSpeed(int level) {
    frameInterval_ = frameIntervalForSpeed(level, source_.fps());
}

std::string SequencePlayer::positionText(int index) const {
    if (index < 0)
        index = position_;
    if (source_.kind() == FrameSource::Video)
        return videoPositionText(index, source_.frameCount(), source_.duration());
    return burstPositionText(index, source_.frameCount());
}

std::string SequencePlayer::endText(int index) const {
    if (source_.kind() == FrameSource::Video)
        return source_.durationText();
    if (index < 0)
        index = position_;
    const std::vector<std::string>& files = source_.files();
    if (index >= static_cast<int>(files.size()))
        return {};
    const QFileInfo file(QString::fromStdString(files[static_cast<size_t>(index)]));
    return (file.completeBaseName() + QLatin1Char('.') + file.suffix()).toStdString();
}

std::string SequencePlayer::fileName() const {
    return source_.fileOf(position_);
}

} // namespace lumora
