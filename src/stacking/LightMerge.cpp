#include "stacking/LightMerge.h"

#include "media/HdrLight.h"

#include <cmath>
#include <memory>
#include <vector>

namespace lumora {

namespace {

constexpr float kGamma = 2.2f;
constexpr float kInverseGamma = 0.45454544f;

std::vector<float> buildTable(int size) {
    std::vector<float> t(static_cast<size_t>(size));
    for (int v = 0; v < size; ++v)
        t[static_cast<size_t>(v)] = lightPower(static_cast<float>(v));
    return t;
}

template <typename T> void addTable(const cv::Mat& frame, const float* table, cv::Mat& acc) {
    const int rows = frame.rows;
    const size_t n = static_cast<size_t>(frame.cols) * frame.channels();
    for (int y = 0; y < rows; ++y) {
        const T* src = frame.ptr<T>(y);
        float* dst = acc.ptr<float>(y);
        for (size_t i = 0; i < n; ++i)
            dst[i] += table[src[i]];
    }
}

void addFormula(const cv::Mat& frame, cv::Mat& acc) {
    const size_t n = static_cast<size_t>(frame.cols) * frame.channels();
    for (int y = 0; y < frame.rows; ++y) {
        const float* src = frame.ptr<float>(y);
        float* dst = acc.ptr<float>(y);
        for (size_t i = 0; i < n; ++i)
            dst[i] += lightPower(src[i]);
    }
}

} // namespace

int bitsPerChannel(const cv::Mat& m) {
    if (m.empty())
        return 0;
    switch (m.depth()) {
    case CV_8U:
    case CV_8S:
        return 8;
    case CV_16U:
    case CV_16S:
    case CV_16F:
        return 16;
    case CV_32S:
    case CV_32F:
        return 32;
    default:
        return 64;
    }
}

bool isMergeableDepth(int depth) {
    return depth == CV_8U || depth == CV_16U || depth == CV_32F;
}

float lightPower(float x) {
    return static_cast<float>(std::pow(static_cast<double>(x), static_cast<double>(kGamma)));
}

const float* lightPowerTable8() {
    static const std::vector<float> table = buildTable(256);
    return table.data();
}

const float* lightPowerTable16() {
    static const std::vector<float> table = buildTable(65536);
    return table.data();
}

bool LightAccumulator::init(const cv::Mat& chosen) {
    acc_.release();
    depth_ = -1;
    if (chosen.empty() || !isMergeableDepth(chosen.depth()))
        return false;
    depth_ = chosen.depth();
    merged_ = 1;
    if (colour_.isHdr() && chosen.type() == CV_16UC3)
        acc_ = hdrLinearLight(chosen, colour_);
    else
        chosen.convertTo(acc_, CV_32F); // exact for 8-bit, 16-bit and float values
    return true;
}

bool LightAccumulator::accumulate(const cv::Mat& frame) {
    if (acc_.empty() || frame.size() != acc_.size() || frame.channels() != acc_.channels() ||
        frame.depth() != depth_)
        return false;
    ++merged_;
    if (linear()) {
        cv::add(acc_, hdrLinearLight(frame, colour_), acc_);
        return true;
    }
    switch (depth_) {
    case CV_8U:
        addTable<uchar>(frame, lightPowerTable8(), acc_);
        break;
    case CV_16U:
        addTable<ushort>(frame, lightPowerTable16(), acc_);
        break;
    default:
        addFormula(frame, acc_);
        break;
    }
    return true;
}

bool LightAccumulator::finalize(cv::Mat& lightImage, double* oneMeans) const {
    if (acc_.empty())
        return false;
    double minValue = 0.0, maxValue = 0.0;
    cv::minMaxIdx(acc_.reshape(1), &minValue, &maxValue);
    if (oneMeans)
        *oneMeans = linear() && merged_ > 0 ? maxValue / merged_ : 0.0;
    cv::Mat out(acc_.size(), acc_.type());
    if (!(maxValue > 0.0)) {
        // Nothing but black was merged: there is no brightness to normalise by.
        out.setTo(0);
        lightImage = out;
        return true;
    }
    const float m = static_cast<float>(maxValue);
    const size_t n = static_cast<size_t>(acc_.cols) * acc_.channels();
    for (int y = 0; y < acc_.rows; ++y) {
        const float* src = acc_.ptr<float>(y);
        float* dst = out.ptr<float>(y);
        for (size_t i = 0; i < n; ++i) {
            const float ratio = src[i] / m;
            dst[i] =
                static_cast<float>(std::pow(static_cast<double>(ratio), static_cast<double>(kInverseGamma)));
        }
    }
    lightImage = out;
    return true;
}

} // namespace lumora
