#include "media/FrameSource.h"

#include "app/EventLog.h"
#include "imageio/ImageFile.h"
#include "media/MediaFiles.h"
#include "media/SequenceTiming.h"
#include "media/VideoDecoder.h"

namespace lumora {

namespace {
constexpr float kBurstFps = 25.0f;
// Random access is what workers do; the log names it after the sequence's frame request.
constexpr const char* kAccessPlace = "getCvImageAt";
} // namespace

FrameSource::FrameSource(const std::string& videoPath) : kind_(Video), path_(videoPath) {
    const std::string failure = "The video '" + path_ + "' does not exist or we can not open it.";
    Result<std::unique_ptr<VideoDecoder>> opened = VideoDecoder::open(path_);
    decoder_ = opened.take();
    if (!decoder_) {
        logError("openVideo", "'" + path_ + "': " + opened.reason());
        logError("main", failure);
        return;
    }
    frameCount_ = decoder_->frameCount();
    firstFrame_ = decoder_->frameAt(0);
    if (firstFrame_.empty()) {
        logError("main", failure);
        decoder_.reset();
        return;
    }
    colour_ = decoder_->colour();
    initialise(sequenceFps(decoder_->reportedFps()));
}

FrameSource::FrameSource(const std::vector<std::string>& fileList)
    : kind_(Burst), files_(sortedBurstFiles(fileList)) {
    if (files_.empty()) {
        logError("main", "The image'' does not exist or we can not open it.");
        return;
    }
    firstFrame_ = readImage(files_.front(), false);
    if (firstFrame_.empty()) {
        logUnreadable("main", 0, "The image'");
        return;
    }
    frameCount_ = static_cast<int>(files_.size());
    colour_.bitDepth = firstFrame_.depth() == CV_8U ? 8 : 16;
    colour_.fullRange = true;
    initialise(kBurstFps);
}

FrameSource::~FrameSource() = default;

void FrameSource::initialise(float fps) {
    fps_ = fps;
    width_ = firstFrame_.cols;
    height_ = firstFrame_.rows;
    aspectRatio_ = static_cast<float>(width_) / static_cast<float>(height_);
    duration_ = sequenceDuration(frameCount_, fps_);
    durationText_ = clockText(duration_);
    ready_ = true;
}

std::string FrameSource::fileOf(int index) const {
    if (kind_ == Video)
        return path_;
    return index >= 0 && index < static_cast<int>(files_.size()) ? files_[static_cast<size_t>(index)]
                                                                 : std::string();
}

void FrameSource::logUnreadable(const char* place, int index, const char* imagePrefix) const {
    if (kind_ == Video)
        logError(place,
                 "The frame " + std::to_string(index) + " of the video '" + path_ + "' can not be decoded.");
    else
        logError(place, imagePrefix + files_[static_cast<size_t>(index)] +
                            "' does not exist or we can not open it.");
}

// Called with the lock held. The decoder finds any frame exactly wherever it stands, and a read of the frame
// after the last one it delivered continues its decode without seeking.
cv::Mat FrameSource::readLocked(int index, bool preview, bool logFailure) {
    if (!ready_ || index < 0 || index >= frameCount_)
        return {};
    cv::Mat frame =
        kind_ == Video ? decoder_->frameAt(index) : readImage(files_[static_cast<size_t>(index)], preview);
    if (frame.empty() && logFailure)
        logUnreadable(kAccessPlace, index);
    return frame;
}

cv::Mat FrameSource::read(int index, bool preview) {
    std::lock_guard<std::mutex> lock(mutex_);
    return readLocked(index, preview, false);
}

cv::Mat FrameSource::frameAt(int index, bool preview) {
    std::lock_guard<std::mutex> lock(mutex_);
    return readLocked(index, preview, true);
}

std::vector<cv::Mat> FrameSource::framesInRange(int first, int last) {
    std::vector<cv::Mat> frames;
    if (!ready_ || last < first)
        return frames;
    frames.reserve(static_cast<size_t>(last - first + 1));
    std::lock_guard<std::mutex> lock(mutex_);
    for (int index = first; index <= last; ++index)
        frames.push_back(readLocked(index, false, true));
    return frames;
}

} // namespace lumora
