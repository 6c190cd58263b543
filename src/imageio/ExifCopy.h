#pragma once
// Copies the EXIF data of a source photo or video into a written image with the external exiftool program,
// adding keywords and the firmware tag. The image itself is never at risk: exiftool works on the file in
// place, and a failure only means the tags are missing.

#include <string>

namespace lumora {

struct ExifCopyOptions {
    // The image's pixels were turned upright when read, so the source's Orientation tag must not be copied.
    bool pixelsAlreadyOriented = false;
    int timeoutMs = 60 * 1000;
};

struct ExifCopyResult {
    bool ok = false;
    std::string error; // why the tags could not be copied (no exiftool, unsupported format, exit status)
};

// Runs exiftool (beside our executable, else on PATH): copies the source's tags into `destination`, adds the
// keyword `keywords` (none when empty) and sets the firmware tag to "Lumora". Leaves no "_original" backup.
// Goes through the calling thread's ExifToolSession when there is one.
ExifCopyResult copyExif(const std::string& source, const std::string& destination,
                        const std::string& keywords, const ExifCopyOptions& options = {});

// True for the video containers the program opens; their GPS position needs its hemisphere restored.
bool isVideoFile(const std::string& path);

} // namespace lumora
