#pragma once
// Exact frame access to the video stream of a file. Frames are numbered in presentation order, the way a
// decode from the start delivers them, and frameAt(i) returns exactly frame i whatever was read before.

#include "app/Status.h"
#include "media/VideoColour.h"

#include <opencv2/core.hpp>

#include <memory>
#include <string>

namespace lumora {

class VideoDecoder {
public:
    // Fails when the file has no decodable video stream. Opening reads the container's packet list (no
    // decoding) and decodes the first frame and the last GOP to find the frames that really decode.
    static Result<std::unique_ptr<VideoDecoder>> open(const std::string& path);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Number of frames a decode from the start delivers.
    int frameCount() const;
    int width() const;
    int height() const;
    // The frame rate the container states (0 when it states none).
    double reportedFps() const;
    // False when the stream's timestamps cannot identify frames; frames are then found by decoding from the
    // start, and opening decoded the whole stream to count them.
    bool hasTimestampIndex() const;

    // Depth, matrix, range, transfer and primaries of the stream, as its first frame states them.
    const VideoColour& colour() const;

    // Frame `index` as BGR (8-bit, or 16-bit for sources of more than 8 bits), a matrix of its own; empty
    // when out of range or when the frame does not decode. Reading index position() + 1 continues the decode
    // without seeking.
    cv::Mat frameAt(int index);
    // Index of the frame the decoder delivered last; -1 when that is unknown (after a failure or the end).
    int position() const;

private:
    struct Impl;
    explicit VideoDecoder(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace lumora
