#pragma once
// Synthetic images for the engine tests (textures with corners at known places, shifted copies) and the light
// image's closed form, computed independently in double.

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

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

// ((chosen + sum of others^2.2) / max)^(1/2.2), the max taken over every element; all zero when max is 0.
inline cv::Mat expectedLight(const cv::Mat& chosen, const std::vector<cv::Mat>& others) {
    cv::Mat acc;
    chosen.convertTo(acc, CV_64F);
    for (const cv::Mat& f : others) {
        cv::Mat d;
        f.convertTo(d, CV_64F);
        cv::pow(d, 2.2, d);
        acc += d;
    }
    double maxValue = 0;
    cv::minMaxIdx(acc.reshape(1), nullptr, &maxValue);
    cv::Mat out;
    cv::pow(maxValue > 0 ? cv::Mat(acc / maxValue) : acc, 1 / 2.2, out);
    return out;
}

// Largest absolute difference between a float light image and a double expectation.
inline double maxError(const cv::Mat& light, const cv::Mat& expected) {
    cv::Mat l;
    light.convertTo(l, CV_64F);
    return cv::norm(l, expected, cv::NORM_INF);
}

} // namespace lumora::test
