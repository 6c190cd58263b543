#pragma once
// The histogram of a picture as it is shown and exported at 8 bits: counts per level for luminance and the
// three channels, and the share of pixels clipped to black and to white in each. Plain data, no widgets.

#include <opencv2/core.hpp>

#include <array>

namespace lumora {

struct PictureHistogram {
    static constexpr int kLevels = 256;
    enum Channel { Luminance, Red, Green, Blue, kChannels };

    std::array<std::array<int, kLevels>, kChannels> counts{};
    // Shares (0..1) of the pixels at level 0 and at level 255.
    std::array<double, kChannels> clippedBlack{};
    std::array<double, kChannels> clippedWhite{};
    int pixels = 0;
};

// Of an 8-bit BGR or grey picture (anything else gives an empty histogram). Luminance weighs the channels as
// Rec. 709 does (0.2126 R + 0.7152 G + 0.0722 B), rounded to the nearest level.
PictureHistogram computeHistogram(const cv::Mat& picture);

} // namespace lumora
