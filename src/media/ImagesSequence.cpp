#include "media/ImagesSequence.h"

#include "app/EventLog.h"
#include "imageio/ImageFile.h"
#include "media/MediaFiles.h"
#include "media/SequenceTiming.h"

#include <QFileInfo>

#include <algorithm>
#include <thread>

namespace lumora {

namespace {
constexpr float kBurstFps = 25.0f;
constexpr int kFramesSteppedOver = 2;
} // namespace

ImagesSequence::ImagesSequence(const std::string& videoPath) : kind_(Video), path_(videoPath) {
    const std::string failure = "The video '" + path_ + "' does not exist or we can not open it.";
    std::string why;
    decoder_ = VideoDecoder::open(path_, &why);
    if (!decoder_) {
        logError("openVideo", "'" + path_ + "': " + why);
        logError("main", failure);
        return;
    }
    frameCount_ = decoder_->frameCount();
    rewind(false);
    if (currentFrame_.empty()) {
        logError("main", failure);
        decoder_.reset();
        return;
    }
    fps_ = sequenceFps(decoder_->reportedFps());
    initialise();
}

ImagesSequence::ImagesSequence(const std::vector<std::string>& fileList)
    : kind_(Burst), files_(sortedBurstFiles(fileList)) {
    if (files_.empty()) {
        logError("main", "The image'' does not exist or we can not open it.");
        return;
    }
    currentFrame_ = readBurstFile(0, false);
    if (currentFrame_.empty()) {
        logUnreadableBurstFile("main", "The image'", 0);
        return;
    }
    fps_ = kBurstFps;
    frameCount_ = static_cast<int>(files_.size());
    initialise();
}

ImagesSequence::~ImagesSequence() = default;

void ImagesSequence::initialise() {
    displayFrame_ = applyBrightness(currentFrame_, brightness_);
    frameInterval_ = frameIntervalForSpeed(0, fps_);
    lastTick_ = Clock::now();
    width_ = currentFrame_.cols;
    height_ = currentFrame_.rows;
    firstIndex_ = 0;
    lastIndex_ = frameCount_ - 1;
    aspectRatio_ = static_cast<float>(width_) / static_cast<float>(height_);
    duration_ = sequenceDuration(frameCount_, fps_);
    durationText_ = clockText(duration_);
    ready_ = true;
}

cv::Mat ImagesSequence::readBurstFile(int index, bool preview) const {
    return readImage(files_[static_cast<size_t>(index)], preview);
}

// The opening and stepping messages have no blank after "image"; the random-access one has.
void ImagesSequence::logUnreadableBurstFile(const char* place, const char* prefix, int index) const {
    logError(place, prefix + files_[static_cast<size_t>(index)] + "' does not exist or we can not open it.");
}

void ImagesSequence::showFrame(const cv::Mat& frame) {
    currentFrame_ = frame;
    displayFrame_ = applyBrightness(currentFrame_, brightness_);
}

cv::Mat ImagesSequence::getCvImageAt(int index, bool forDisplay) {
    return getCvImageAt(index, forDisplay, true, false);
}

cv::Mat ImagesSequence::getCvImageAt(int index, bool forDisplay, bool restorePosition, bool alreadyLocked) {
    if (!ready_)
        return {};
    if (forDisplay && index == position_)
        return currentFrame_;
    if (index < 0 || index >= frameCount_)
        return {};
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    if (!alreadyLocked)
        lock.lock();
    cv::Mat frame;
    if (kind_ == Video) {
        // The decoder finds any frame exactly wherever it stands. A read that keeps the player's position
        // leaves the decoder where it is: the player's next step seeks back, and a worker reading
        // neighbouring frames one by one decodes them in one sequential run instead of two seeks per frame.
        frame = decoder_->frameAt(index);
        if (frame.empty())
            logError("getCvImageAt", "The frame " + std::to_string(index) + " of the video '" + path_ +
                                         "' can not be decoded.");
    } else {
        frame = readBurstFile(index, forDisplay);
        if (frame.empty())
            logUnreadableBurstFile("getCvImageAt", "The image '", index);
    }
    if (!restorePosition)
        position_ = index;
    return frame;
}

std::vector<cv::Mat> ImagesSequence::getCvImagesInRange(int first, int last) {
    std::vector<cv::Mat> frames;
    if (!ready_ || last < first)
        return frames;
    frames.reserve(static_cast<size_t>(last - first + 1));
    // One lock for the whole window: the player cannot move the decoder between two of its frames.
    std::lock_guard<std::mutex> lock(mutex_);
    for (int index = first; index <= last; ++index)
        frames.push_back(getCvImageAt(index, false, true, true));
    return frames;
}

cv::Mat ImagesSequence::setCurrentFrame(int index, bool forDisplay, bool alreadyLocked) {
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    if (!alreadyLocked)
        lock.lock();
    if (ready_ && index >= 0 && index < frameCount_) {
        const cv::Mat frame = getCvImageAt(index, forDisplay, false, true);
        if (!frame.empty())
            currentFrame_ = frame;
        displayFrame_ = forDisplay ? applyBrightness(currentFrame_, brightness_) : currentFrame_;
    }
    return displayFrame_;
}

// Called with the mutex held. Sleeps out the rest of the frame interval, or skips frames when playback runs
// late; the skip stops at the trim range's ends.
void ImagesSequence::pace(bool forDisplay, bool forward) {
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
            setCurrentFrame(target, forDisplay, true);
    }
}

// Called with the mutex held. Shows the first video frame from `from` towards `to` (either direction) that
// decodes: a damaged frame is stepped over so playback does not stall on it. False, with the player where it
// was, when none of them decodes.
bool ImagesSequence::showDecodableFrame(int from, int to, const char* place) {
    const int step = to >= from ? 1 : -1;
    for (int index = from; index != to + step; index += step) {
        const cv::Mat frame = decoder_->frameAt(index);
        if (!frame.empty()) {
            showFrame(frame);
            position_ = index;
            return true;
        }
        logError(place,
                 "The frame " + std::to_string(index) + " of the video '" + path_ + "' can not be decoded.");
    }
    return false;
}

cv::Mat ImagesSequence::nextFrame(bool forDisplay) {
    if (!ready_)
        return displayFrame_;
    std::lock_guard<std::mutex> lock(mutex_);
    pace(forDisplay, true);
    if (isLastFrame())
        return displayFrame_;
    const int next = position_ + 1;
    if (kind_ == Video) {
        showDecodableFrame(next,
                           std::min(next + kFramesSteppedOver, std::min(lastIndex_.load(), frameCount_ - 1)),
                           "nextFrame");
    } else {
        position_ = next;
        const cv::Mat frame = readBurstFile(next, forDisplay);
        if (frame.empty())
            logUnreadableBurstFile("main", "The image'", next);
        else
            showFrame(frame);
    }
    return displayFrame_;
}

cv::Mat ImagesSequence::previousFrame(bool forDisplay) {
    if (!ready_ || position_ < 1 || position_ <= firstIndex_)
        return displayFrame_;
    std::lock_guard<std::mutex> lock(mutex_);
    pace(forDisplay, false);
    if (position_ < 1 || position_ <= firstIndex_)
        return displayFrame_; // catching up already reached the trim start
    const int previous = position_ - 1;
    if (kind_ == Video) {
        showDecodableFrame(previous, std::max(previous - kFramesSteppedOver, std::max(0, firstIndex_.load())),
                           "previousFrame");
    } else {
        position_ = previous;
        const cv::Mat frame = readBurstFile(previous, forDisplay);
        if (frame.empty())
            logUnreadableBurstFile("main", "The image'", previous);
        else
            showFrame(frame);
    }
    return displayFrame_;
}

void ImagesSequence::rewind(bool forDisplay) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int first = std::clamp(firstIndex_.load(), 0, std::max(0, frameCount_ - 1));
    if (kind_ == Video) {
        const cv::Mat frame = decoder_ ? decoder_->frameAt(first) : cv::Mat();
        if (!frame.empty())
            showFrame(frame);
    } else if (!files_.empty()) {
        const cv::Mat frame = readBurstFile(first, forDisplay);
        if (frame.empty())
            logUnreadableBurstFile("main", "The image'", first);
        else
            showFrame(frame);
    }
    position_ = first;
}

cv::Mat ImagesSequence::currentImage() const {
    return currentFrame_;
}

cv::Mat ImagesSequence::displayImage() {
    std::lock_guard<std::mutex> lock(mutex_);
    return displayFrame_;
}

int ImagesSequence::currentIndex() {
    std::lock_guard<std::mutex> lock(mutex_);
    return position_;
}

bool ImagesSequence::isLastFrame() {
    return position_ + 1 >= frameCount_ || position_ >= lastIndex_;
}

void ImagesSequence::setBrightness(int step) {
    std::lock_guard<std::mutex> lock(mutex_);
    brightness_ = step;
    displayFrame_ = applyBrightness(currentFrame_, brightness_);
}

void ImagesSequence::setSpeed(int level) {
    frameInterval_ = frameIntervalForSpeed(level, fps_);
}

std::string ImagesSequence::positionText(int index) const {
    if (index < 0)
        index = position_;
    if (kind_ == Video)
        return videoPositionText(index, frameCount_, duration_);
    return burstPositionText(index, frameCount_);
}

std::string ImagesSequence::endText(int index) const {
    if (kind_ == Video)
        return durationText_;
    if (index < 0)
        index = position_;
    if (index >= static_cast<int>(files_.size()))
        return {};
    const QFileInfo file(QString::fromStdString(files_[static_cast<size_t>(index)]));
    return (file.completeBaseName() + QLatin1Char('.') + file.suffix()).toStdString();
}

std::string ImagesSequence::fileName() const {
    return sourceFileOf(position_);
}

std::string ImagesSequence::sourceFileOf(int index) const {
    if (kind_ == Video)
        return path_;
    return index >= 0 && index < static_cast<int>(files_.size()) ? files_[static_cast<size_t>(index)]
                                                                 : std::string();
}

} // namespace lumora
