#pragma once
// Synthetic images for the stacking tests: textures with corners at known places, and shifted copies.

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace lumora::test {

// Smoothed noise stretched to the full 8-bit range: plenty of corners and texture, deterministic.
inline cv::Mat texture(int rows, int cols, unsigned seed, int type = CV_8UC3, double sigma = 1.2) {
    cv::Mat noise(rows, cols, CV_32FC(CV_MAT_CN(type)));
    cv::RNG rng(seed);
    rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
    cv::GaussianBlur(noise, noise, cv::Size(0, 0), sigma);
    cv::normalize(noise.reshape(1), noise.reshape(1), 0.0, 1.0, cv::NORM_MINMAX);
    cv::Mat out;
    const double scale = CV_MAT_DEPTH(type) == CV_8U ? 255.0 : CV_MAT_DEPTH(type) == CV_16U ? 65535.0 : 1.0;
    noise.convertTo(out, type, scale);
    return out;
}

// out(y + dy, x + dx) = in(y, x): content moved by (dx, dy); uncovered pixels keep `fill`.
inline cv::Mat shifted(const cv::Mat& in, int dx, int dy, const cv::Mat& fill) {
    cv::Mat out = fill.clone();
    const cv::Rect src(std::max(0, -dx), std::max(0, -dy), in.cols - std::abs(dx), in.rows - std::abs(dy));
    in(src).copyTo(out(src + cv::Point(dx, dy)));
    return out;
}

} // namespace lumora::test
