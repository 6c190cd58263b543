#pragma once
// A quick look at a medium without keeping it open: what it is, its size, frame count and rate.

#include <optional>
#include <string>

namespace lumora {

struct MediaInfo {
    enum class Kind { Video, Burst, Photo };
    Kind kind = Kind::Video;
    int width = 0;
    int height = 0;
    int frameCount = 0;
    double fps = 0.0;
    double durationSeconds = 0.0;
};

const char* kindName(MediaInfo::Kind kind);

// Empty when the file is missing, not a regular file, or no decoder accepts it.
std::optional<MediaInfo> probeMedia(const std::string& path);

} // namespace lumora
