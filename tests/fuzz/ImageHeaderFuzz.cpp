#include "FuzzTargets.h"

#include "imageio/ImageHeader.h"
#include "imageio/ImageLimits.h"

#include <algorithm>
#include <array>
#include <string>

namespace lumora::fuzz {

int fuzzImageHeader(const std::uint8_t* data, std::size_t size) {
    static const std::array<const char*, 12> kFormats = {"jpeg", "png", "gif", "bmp", "tiff", "psd",
                                                         "psb",  "hdr", "pnm", "pam", "pfm",  "exr"};
    const std::optional<ImageDimensions> first = probeImageHeader(data, size);
    if (!first)
        return 0;
    if (std::none_of(kFormats.begin(), kFormats.end(), [&](const char* f) { return first->format == f; }))
        return failed("a header probed as an unknown format");
    // Sides are reported as declared, damage included (an inverted EXR window, a negative BMP width); such a
    // size must never pass the limits, which is what keeps it away from the decoders.
    if ((first->width <= 0 || first->height <= 0) && withinImageLimits(first->width, first->height))
        return failed("a size without pixels passes the limits");
    // The probe depends on the bytes alone.
    const std::optional<ImageDimensions> second = probeImageHeader(data, size);
    if (!second || second->width != first->width || second->height != first->height ||
        second->format != first->format)
        return failed("the same header probed twice gives different sizes");
    return 0;
}

} // namespace lumora::fuzz
