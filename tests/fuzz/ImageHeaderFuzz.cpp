#include "FuzzTargets.h"

#include "imageio/ImageHeader.h"
#include "imageio/ImageLimits.h"
#include "imageio/LibraryAdapters.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <array>
#include <string>

namespace lumora::fuzz {

namespace {

// Lumora's own Radiance reader on the same bytes: it reads or refuses with a reason, and what it reads is
// within the limits (it checks them itself, no header probe stands before it) and has no negative or
// non-finite light.
int checkRadianceReader(const std::uint8_t* data, std::size_t size) {
    namespace radiance = imageio::radiance;
    cv::Mat image;
    std::string error;
    const radiance::Outcome outcome = radiance::decode(data, size, &image, &error);
    if (outcome == radiance::Outcome::NotMine)
        return radiance::looksLikeRadiance(data, size) ? failed("a Radiance file passed on to other readers")
                                                       : 0;
    if (outcome == radiance::Outcome::Refused)
        return error.empty() ? failed("a Radiance file refused without a reason") : 0;
    if (!withinImageLimits(image.cols, image.rows))
        return failed("the Radiance reader read an image beyond the limits");
    if (image.type() != CV_32FC3 || !cv::checkRange(image, true, nullptr, 0.0, 1e39))
        return failed("the Radiance reader gave pixels outside the format's range");
    return 0;
}

} // namespace

int fuzzImageHeader(const std::uint8_t* data, std::size_t size) {
    static const std::array<const char*, 4> kFormats = {"gif", "psd", "psb", "exr"};
    if (checkRadianceReader(data, size) != 0)
        return 0;
    const std::optional<ImageDimensions> first = probeImageHeader(data, size);
    if (!first)
        return 0;
    if (std::none_of(kFormats.begin(), kFormats.end(), [&](const char* f) { return first->format == f; }))
        return failed("a header probed as an unknown format");
    // Sides are reported as declared, damage included (an inverted EXR window); such a
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
