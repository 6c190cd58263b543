#pragma once
// Operators for pipeline tests: one with a known, cheap result that counts its runs, and one that is
// cancelled while it runs, as when the user presses cancel in the middle of a render; and random images.

#include "tonemap/ToneMappingBase.h"

#include <atomic>
#include <stdexcept>

namespace lumora::test {

// Uniform random samples in [lo, hi) on three channels.
inline cv::Mat randomImage(int rows, int cols, int seed, double lo = 0.0, double hi = 1.0) {
    cv::Mat m(rows, cols, CV_32FC3);
    cv::RNG(static_cast<uint64_t>(seed)).fill(m, cv::RNG::UNIFORM, lo, hi);
    return m;
}

// output = 0.5 * input + 0.1 on every sample.
class HalfPlusTenth : public ToneMappingBase {
public:
    cv::Mat& toneMap(cv::Mat& output, const cv::Mat& input, const float* params) override {
        ++calls;
        lastAlpha = params[0];
        input.convertTo(output, CV_32F, 0.5, 0.1);
        control_.setProgress(100);
        return output;
    }
    std::atomic<int> calls{0};
    float lastAlpha = 0.f;
};

class CancelledWhileRunning : public ToneMappingBase {
public:
    cv::Mat& toneMap(cv::Mat& output, const cv::Mat& input, const float*) override {
        control_.setProgress(40);
        cancel();
        output = cv::Mat(input.size(), CV_32FC3, cv::Scalar::all(0.77)); // half-done work, to be discarded
        return output;
    }
};

// An operator that fails half-way (out of memory on a huge image, say).
class FailsWhileRunning : public ToneMappingBase {
public:
    cv::Mat& toneMap(cv::Mat&, const cv::Mat&, const float*) override {
        control_.setProgress(30);
        throw std::runtime_error("no memory left for the pyramid");
    }
};

} // namespace lumora::test
