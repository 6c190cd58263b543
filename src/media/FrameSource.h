#pragma once
// The frames of one opened video or photo burst by index, for any thread: one frame, or a run of neighbouring
// frames read in one go. Its own lock serialises the decoder; it knows nothing of a player.

#include "media/VideoColour.h"

#include <opencv2/core.hpp>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lumora {

class VideoDecoder;

class FrameSource {
public:
    enum Kind : int { Video = 0, Burst = 1 };

    // Opens a video, or a burst whose frame i is file i of the list in ascending, case-sensitive order.
    // Opening reads the first frame; when that fails the event log says why and ready() is false.
    explicit FrameSource(const std::string& videoPath);
    explicit FrameSource(const std::vector<std::string>& fileList);
    ~FrameSource();
    FrameSource(const FrameSource&) = delete;
    FrameSource& operator=(const FrameSource&) = delete;

    bool ready() const { return ready_; }
    int kind() const { return kind_; }
    int frameCount() const { return frameCount_; }
    float fps() const { return fps_; }
    // Size of the first frame.
    int width() const { return width_; }
    int height() const { return height_; }
    float aspectRatio() const { return aspectRatio_; }
    // Seconds from the first to the last frame, and the same as "mm:ss".
    float duration() const { return duration_; }
    const std::string& durationText() const { return durationText_; }
    // The video's path ("" for a burst) and the burst's files in frame order (empty for a video).
    const std::string& path() const { return path_; }
    const std::vector<std::string>& files() const { return files_; }
    // What the frames' samples mean: a video's tags, or for a burst the first file's depth (8 or 16 bits)
    // and SDR.
    const VideoColour& colour() const { return colour_; }
    // The file frame `index` comes from: the video, or that burst file (empty when out of range).
    std::string fileOf(int index) const;

    // The frame read at opening, handed over once to whoever shows it first; empty afterwards.
    cv::Mat takeFirstFrame() { return std::move(firstFrame_); }

    // Frame `index`, a matrix of its own; empty when out of range or unreadable, the latter logged.
    // `preview`: burst files decode in the image reader's quick preview mode.
    cv::Mat frameAt(int index, bool preview);
    // Frames first..last under one lock, so no other reader moves the decoder between them; element k is
    // what frameAt(first + k, false) returns. Empty when last < first.
    std::vector<cv::Mat> framesInRange(int first, int last);
    // As frameAt, but logs nothing: for callers that report a failure in their own words.
    cv::Mat read(int index, bool preview);
    // Logs that frame `index` could not be read, under `place`. `imagePrefix` starts a burst file's message
    // (opening and stepping write it without a blank after "image").
    void logUnreadable(const char* place, int index, const char* imagePrefix = "The image '") const;

private:
    void initialise(float fps);
    cv::Mat readLocked(int index, bool preview, bool logFailure);

    int kind_;
    std::string path_;
    std::vector<std::string> files_;
    std::unique_ptr<VideoDecoder> decoder_;
    std::mutex mutex_;
    cv::Mat firstFrame_;
    bool ready_ = false;
    int frameCount_ = 0;
    float fps_ = 0.0f;
    int width_ = 0, height_ = 0;
    float aspectRatio_ = 0.0f;
    float duration_ = 0.0f;
    std::string durationText_;
    VideoColour colour_;
};

} // namespace lumora
