#include "ui/PictureHistogram.h"

namespace lumora {

PictureHistogram computeHistogram(const cv::Mat& picture) {
    PictureHistogram h;
    if (picture.empty() || picture.depth() != CV_8U || (picture.channels() != 3 && picture.channels() != 1))
        return h;
    auto& lum = h.counts[PictureHistogram::Luminance];
    auto& red = h.counts[PictureHistogram::Red];
    auto& green = h.counts[PictureHistogram::Green];
    auto& blue = h.counts[PictureHistogram::Blue];
    const int channels = picture.channels();
    for (int y = 0; y < picture.rows; ++y) {
        const uchar* p = picture.ptr<uchar>(y);
        if (channels == 1) {
            for (int x = 0; x < picture.cols; ++x)
                ++lum[p[x]];
            continue;
        }
        for (int x = 0; x < picture.cols; ++x, p += 3) {
            ++blue[p[0]];
            ++green[p[1]];
            ++red[p[2]];
            // Integer weights summing to 10000: exact for grey, where all three channels agree.
            ++lum[(2126 * p[2] + 7152 * p[1] + 722 * p[0] + 5000) / 10000];
        }
    }
    if (channels == 1)
        red = green = blue = lum;
    h.pixels = picture.rows * picture.cols;
    for (int c = 0; c < PictureHistogram::kChannels; ++c) {
        h.clippedBlack[c] = double(h.counts[c].front()) / h.pixels;
        h.clippedWhite[c] = double(h.counts[c].back()) / h.pixels;
    }
    return h;
}

} // namespace lumora
