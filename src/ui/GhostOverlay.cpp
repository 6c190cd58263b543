#include "ui/GhostOverlay.h"

#include <opencv2/imgproc.hpp>

namespace lumora {

namespace {
// At full displacement the pixel keeps this share of itself: the picture stays readable under the mark.
constexpr int kKeptAtFull = 96; // of 256
} // namespace

void markGhosts(cv::Mat& bgr, const cv::Mat& map) {
    if (bgr.empty() || map.empty() || map.type() != CV_8UC1 || bgr.depth() != CV_8U)
        return;
    if (bgr.channels() == 1)
        cv::cvtColor(bgr, bgr, cv::COLOR_GRAY2BGR);
    cv::Mat scaled = map;
    if (map.size() != bgr.size())
        cv::resize(map, scaled, bgr.size(), 0, 0, cv::INTER_NEAREST);
    for (int r = 0; r < bgr.rows; ++r) {
        const uchar* m = scaled.ptr<uchar>(r);
        auto* p = bgr.ptr<cv::Vec3b>(r);
        for (int c = 0; c < bgr.cols; ++c) {
            if (m[c] == 0)
                continue;
            // Weight of the tint in 1/256: 0 where nothing moved, 256 - kKeptAtFull at full displacement.
            const int w = m[c] * (256 - kKeptAtFull) / 255;
            const cv::Vec3b tint(255, 0, 255);
            for (int k = 0; k < 3; ++k)
                p[c][k] = static_cast<uchar>((p[c][k] * (256 - w) + tint[k] * w) >> 8);
        }
    }
}

} // namespace lumora
