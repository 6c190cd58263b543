#pragma once
// Image sizes read from file headers without decoding, so that files declaring absurd dimensions, and paths
// that are not regular files, are turned away before any image library sees them.

#include <cstddef>
#include <optional>
#include <string>

namespace lumora {

struct ImageDimensions {
    long long width = 0;
    long long height = 0;
    // Short lower-case name of the container: "jpeg", "png", "gif", "bmp", "tiff", "psd", "psb", "hdr",
    // "pnm", "pam", "pfm", "exr".
    std::string format;
};

// Size declared by the header in `data`; nullopt when the format is not recognised or the header is cut short
// or malformed. For files holding several images (TIFF pages, GIF frames) it is the largest one a decoder
// might allocate. Never reads outside [data, data + size) and always terminates.
std::optional<ImageDimensions> probeImageHeader(const unsigned char* data, size_t size);

// The same for a file: reads its beginning, and a bounded amount more where a format places its size
// further on (JPEG frames after large metadata segments, TIFF directories anywhere in the file).
std::optional<ImageDimensions> probeImageFile(const std::string& path);

// False, with a reason naming the file, for a path that is missing or is not a regular file (folder, FIFO,
// device; symbolic links are followed).
bool checkRegularFile(const std::string& path, std::string* reason);

// checkRegularFile, then false for a header declaring an image beyond withinImageLimits(). A file whose
// header is not recognised passes, and so do raw camera files: LibRaw parses those, and decodeRaw checks
// the sizes it reads before anything is decoded (HEIF photos likewise in their reader).
bool checkImageFileBeforeDecoding(const std::string& path, std::string* reason);

} // namespace lumora
