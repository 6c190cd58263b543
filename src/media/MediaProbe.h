#pragma once
// A quick look at a medium without keeping it open: what it is, its size, frame count and rate. Videos and
// bursts are opened as the window opens them, so the frame count is the number of frames that really decode.

#include "media/VideoColour.h"

#include <optional>
#include <string>
#include <vector>

namespace lumora {

struct MediaInfo {
    enum class Kind { Video, Burst, Photo };
    Kind kind = Kind::Video;
    int width = 0;
    int height = 0;
    int frameCount = 0;
    // Frames per second used for playback (bursts 25; 0 for a photo).
    double fps = 0.0;
    // Time from the first to the last frame.
    double durationSeconds = 0.0;
    // Sample depth, transfer and primaries of the frames (photos and bursts: the file's depth, SDR, the
    // sRGB primaries, which are BT.709's).
    VideoColour colour;
};

const char* kindName(MediaInfo::Kind kind);

// One path: a folder is a burst of the still images in it; a file is a photo or a video, chosen by its
// extension, and a file with another extension is tried as a video, then as a photo. Empty when nothing opens
// (missing file, not a regular file or folder, no decoder accepts it).
std::optional<MediaInfo> probeMedia(const std::string& path);
// Several paths are the files of one burst; a single path is probed as above.
std::optional<MediaInfo> probeMedia(const std::vector<std::string>& paths);

} // namespace lumora
