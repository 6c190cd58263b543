#pragma once
// Image sizes read from file headers without decoding, for the formats only DevIL and FreeImage read (GIF,
// PSD/PSB, OpenEXR): those libraries allocate whatever a header declares, so files declaring absurd
// dimensions, and paths that are not regular files, are turned away before they see them. The other readers
// check sizes themselves before allocating: OpenCV (its OPENCV_IO_MAX_IMAGE_* limits), libheif, LibRaw and
// Lumora's Radiance reader.

#include <cstddef>
#include <optional>
#include <string>

namespace lumora {

struct ImageDimensions {
    long long width = 0;
    long long height = 0;
    // Short lower-case name of the container: "gif", "psd", "psb", "exr".
    std::string format;
};

// Size declared by the header in `data`; nullopt when the format is not recognised or the header is cut short
// or malformed. For a GIF it is the largest area a decoder might allocate (screen or first frame). Never
// reads outside [data, data + size) and always terminates.
std::optional<ImageDimensions> probeImageHeader(const unsigned char* data, size_t size);

// The same for a file: reads its beginning, and a bounded amount more where a format places its size
// further on (a GIF's first frame after long extension blocks).
std::optional<ImageDimensions> probeImageFile(const std::string& path);

// False, with a reason naming the file, for a path that is missing or is not a regular file (folder, FIFO,
// device; symbolic links are followed).
bool checkRegularFile(const std::string& path, std::string* reason);

// checkRegularFile, then false for a header declaring an image beyond withinImageLimits(). A file whose
// header is not recognised passes (it is one the readers above check), and so do raw camera files: LibRaw
// parses those, and decodeRaw checks the sizes it reads before anything is decoded.
bool checkImageFileBeforeDecoding(const std::string& path, std::string* reason);

} // namespace lumora
