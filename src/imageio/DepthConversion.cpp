// The one depth conversion of the program (display, thumbnails, export). Fractions are dropped rather than
// rounded and results are capped at the target's maximum, so a value never wraps around.

#include "imageio/ImageFile.h"

#include "app/EventLog.h"
#include "app/Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace lumora {
namespace {

// Export and display both wait for the conversion, so a large image is converted in bands on every core.
template <typename Src, typename Dst, typename Fn>
cv::Mat mapElements(const cv::Mat& src, int dstDepth, Fn fn) {
    cv::Mat dst(src.rows, src.cols, CV_MAKETYPE(dstDepth, src.channels()));
    const int perRow = src.cols * src.channels();
    constexpr long kSamplesPerTask = 512 * 1024;
    const int band = std::max(1, static_cast<int>(kSamplesPerTask / std::max(1, perRow)));
    const int bands = (src.rows + band - 1) / band;
    parallelFor(bands, bands > 1 ? workerCount(WorkerUse::Waiting) : 1, "convertDepth", [&](int b) {
        for (int y = b * band; y < std::min(src.rows, (b + 1) * band); ++y) {
            const Src* in = src.ptr<Src>(y);
            Dst* out = dst.ptr<Dst>(y);
            for (int x = 0; x < perRow; ++x)
                out[x] = fn(in[x]);
        }
    });
    return dst;
}

// Truncates a scaled float into [0, max]; NaN becomes 0.
template <typename Dst> Dst truncateScaled(double scaled, double max) {
    if (!(scaled > 0.0))
        return 0;
    if (scaled >= max)
        return static_cast<Dst>(max);
    return static_cast<Dst>(scaled);
}

template <typename Src> cv::Mat floatToInteger(const cv::Mat& src, int bits) {
    if (bits == 16)
        return mapElements<Src, std::uint16_t>(src, CV_16U, [](Src v) {
            return truncateScaled<std::uint16_t>(static_cast<double>(v) * 65535.0, 65535);
        });
    return mapElements<Src, std::uint8_t>(
        src, CV_8U, [](Src v) { return truncateScaled<std::uint8_t>(static_cast<double>(v) * 255.0, 255); });
}

} // namespace

cv::Mat convertDepth(const cv::Mat& image, int bits) {
    if (image.empty())
        return {};
    if (bits != 16 && bits != 32)
        bits = 8;

    switch (image.depth()) {
    case CV_8U:
        if (bits == 8)
            return image.clone();
        if (bits == 16)
            return mapElements<std::uint8_t, std::uint16_t>(
                image, CV_16U, [](std::uint8_t v) { return std::uint16_t(v * 257); });
        return mapElements<std::uint8_t, float>(image, CV_32F, [](std::uint8_t v) { return v / 255.0f; });
    case CV_16U:
        if (bits == 16)
            return image.clone();
        if (bits == 8)
            return mapElements<std::uint16_t, std::uint8_t>(
                image, CV_8U, [](std::uint16_t v) { return std::uint8_t(v / 257); });
        return mapElements<std::uint16_t, float>(image, CV_32F, [](std::uint16_t v) { return v / 65535.0f; });
    case CV_32F:
        if (bits == 32)
            return image.clone();
        return floatToInteger<float>(image, bits);
    case CV_64F:
        // Treated as float data; a 32-bit request narrows it.
        if (bits == 32) {
            cv::Mat narrowed;
            image.convertTo(narrowed, CV_32F);
            return narrowed;
        }
        return floatToInteger<double>(image, bits);
    default:
        logError("convertDepth", "unsupported element depth " + std::to_string(image.depth()));
        return {};
    }
}

} // namespace lumora
