#include "media/MediaProbe.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <sys/stat.h>

namespace lumora {

const char* kindName(MediaInfo::Kind kind) {
    switch (kind) {
    case MediaInfo::Kind::Video:
        return "video";
    case MediaInfo::Kind::Burst:
        return "burst";
    case MediaInfo::Kind::Photo:
        return "photo";
    }
    return "unknown";
}

std::optional<MediaInfo> probeMedia(const std::string& path) {
    struct stat st {};
    // Only regular files: a FIFO or device would block or stream forever.
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;

    cv::VideoCapture capture;
    if (capture.open(path, cv::CAP_FFMPEG) && capture.isOpened()) {
        MediaInfo info;
        info.width = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_WIDTH));
        info.height = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_HEIGHT));
        info.frameCount = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_COUNT));
        info.fps = capture.get(cv::CAP_PROP_FPS);
        if (info.width > 0 && info.height > 0 && info.frameCount > 1) {
            info.durationSeconds = info.fps > 0 ? info.frameCount / info.fps : 0.0;
            return info;
        }
    }
    if (cv::haveImageReader(path)) {
        const cv::Mat image = cv::imread(path, cv::IMREAD_UNCHANGED);
        if (!image.empty()) {
            MediaInfo info;
            info.kind = MediaInfo::Kind::Photo;
            info.width = image.cols;
            info.height = image.rows;
            info.frameCount = 1;
            return info;
        }
    }
    return std::nullopt;
}

} // namespace lumora
