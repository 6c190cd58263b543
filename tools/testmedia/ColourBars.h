#pragma once
// The colour-bar picture of the tagged-colour clips, header-only so that tests can rebuild the truth a decode
// must give back: eight 75% bars over the top two thirds, full-strength primaries and a grey ramp below.

#include <opencv2/core.hpp>

#include <array>

namespace lumora::testmedia {

// Bars: white, yellow, cyan, green, magenta, red, blue, black (BGR, 75%), then primaries and secondaries at
// full strength, then a ramp from black to white.
inline cv::Mat renderColourBars(cv::Size size) {
    static const std::array<cv::Vec3b, 8> bars{{{191, 191, 191},
                                                {0, 191, 191},
                                                {191, 191, 0},
                                                {0, 191, 0},
                                                {191, 0, 191},
                                                {0, 0, 191},
                                                {191, 0, 0},
                                                {16, 16, 16}}};
    static const std::array<cv::Vec3b, 6> strong{
        {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 255, 255}, {255, 255, 0}, {96, 128, 224}}};
    cv::Mat out(size, CV_8UC3);
    const int barRows = size.height * 2 / 3, strongRows = size.height * 5 / 6;
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            cv::Vec3b& p = out.at<cv::Vec3b>(y, x);
            if (y < barRows)
                p = bars[static_cast<size_t>(x * 8 / size.width)];
            else if (y < strongRows)
                p = strong[static_cast<size_t>(x * 6 / size.width)];
            else
                p = cv::Vec3b::all(static_cast<uchar>(x * 255 / (size.width - 1)));
        }
    return out;
}

// True inside a patch of the picture above, `margin` pixels away from its edges (chroma subsampling blurs
// the edges); the ramp counts as one patch.
inline bool insideColourPatch(cv::Size size, int x, int y, int margin) {
    const int barRows = size.height * 2 / 3, strongRows = size.height * 5 / 6;
    const int top = y < barRows ? 0 : y < strongRows ? barRows : strongRows;
    const int bottom = y < barRows ? barRows : y < strongRows ? strongRows : size.height;
    if (y < top + margin || y >= bottom - margin)
        return false;
    if (y >= strongRows)
        return x >= margin && x < size.width - margin;
    const int n = y < barRows ? 8 : 6;
    const int k = x * n / size.width;
    const int left = (k * size.width + n - 1) / n, right = ((k + 1) * size.width + n - 1) / n;
    return x >= left + margin && x < right - margin;
}

} // namespace lumora::testmedia
