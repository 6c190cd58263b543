#include "media/MediaProbe.h"

#include "imageio/ImageFile.h"
#include "media/ImagesSequence.h"
#include "media/MediaFiles.h"
#include "media/VideoDecoder.h"

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

namespace {

std::optional<MediaInfo> fromSequence(const ImagesSequence& sequence, MediaInfo::Kind kind) {
    if (!sequence.ready())
        return std::nullopt;
    MediaInfo info;
    info.kind = kind;
    info.width = sequence.width();
    info.height = sequence.height();
    info.frameCount = sequence.frameCount();
    info.fps = sequence.fps();
    info.durationSeconds = sequence.duration();
    info.colour = sequence.colour();
    return info;
}

std::optional<MediaInfo> probeVideo(const std::string& path) {
    return fromSequence(ImagesSequence(path), MediaInfo::Kind::Video);
}

std::optional<MediaInfo> probeBurst(const std::vector<std::string>& files) {
    if (files.empty())
        return std::nullopt;
    return fromSequence(ImagesSequence(files), MediaInfo::Kind::Burst);
}

std::optional<MediaInfo> probePhoto(const std::string& path) {
    const cv::Mat image = readImage(path);
    if (image.empty())
        return std::nullopt;
    MediaInfo info;
    info.kind = MediaInfo::Kind::Photo;
    info.width = image.cols;
    info.height = image.rows;
    info.frameCount = 1;
    info.colour.bitDepth = image.depth() == CV_8U ? 8 : image.depth() == CV_16U ? 16 : 32;
    info.colour.fullRange = true;
    return info;
}

} // namespace

std::optional<MediaInfo> probeMedia(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    if (S_ISDIR(st.st_mode))
        return probeBurst(burstFilesInFolder(path));
    // Only regular files: a FIFO or device would block or stream forever.
    if (!S_ISREG(st.st_mode))
        return std::nullopt;
    if (hasStillImageExtension(path))
        return probePhoto(path);
    if (hasVideoExtension(path))
        return probeVideo(path);
    // Unknown extension: a quiet look first, so a photo does not leave a failed video opening in the log.
    if (VideoDecoder::open(path))
        return probeVideo(path);
    return probePhoto(path);
}

std::optional<MediaInfo> probeMedia(const std::vector<std::string>& paths) {
    if (paths.size() == 1)
        return probeMedia(paths.front());
    for (const std::string& path : paths) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
    }
    return probeBurst(paths);
}

} // namespace lumora
