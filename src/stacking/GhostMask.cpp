#include "stacking/GhostMask.h"

#include "app/Parallel.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace lumora {

namespace {

// For integer frames the test |v - a| > R * table[v] becomes |v - a| > limit[v] with an integer limit.
std::vector<int> integerLimits(const std::vector<float>& table, float range) {
    std::vector<int> limits(table.size());
    for (size_t v = 0; v < table.size(); ++v) {
        const float t = range * table[v];
        if (std::isnan(t))
            limits[v] = std::numeric_limits<int>::max(); // a NaN threshold never compares smaller
        else if (t < 0.0f)
            limits[v] = -1;
        else
            limits[v] = static_cast<int>(std::min(std::floor(t), 1.0e9f));
    }
    return limits;
}

template <typename T>
bool detectInteger(const cv::Mat& chosen, const cv::Mat& aligned, const std::vector<int>& limits,
                   cv::Mat& mask, int y0, int y1) {
    const int cn = chosen.channels();
    bool any = false;
    for (int y = y0; y < y1; ++y) {
        const T* v = chosen.ptr<T>(y);
        const T* a = aligned.ptr<T>(y);
        uchar* m = mask.ptr<uchar>(y);
        for (int x = 0; x < chosen.cols; ++x, v += cn, a += cn) {
            for (int c = 0; c < cn; ++c) {
                if (std::abs(static_cast<int>(v[c]) - static_cast<int>(a[c])) > limits[v[c]]) {
                    m[x] = 255;
                    any = true;
                    break;
                }
            }
        }
    }
    return any;
}

bool detectFloat(const cv::Mat& chosen, const cv::Mat& aligned, const std::vector<float>& table, float range,
                 cv::Mat& mask, int y0, int y1) {
    const int cn = chosen.channels();
    const long last = static_cast<long>(table.size()) - 1;
    bool any = false;
    for (int y = y0; y < y1; ++y) {
        const float* v = chosen.ptr<float>(y);
        const float* a = aligned.ptr<float>(y);
        uchar* m = mask.ptr<uchar>(y);
        for (int x = 0; x < chosen.cols; ++x, v += cn, a += cn) {
            for (int c = 0; c < cn; ++c) {
                const float t = std::trunc(v[c]);
                const long idx = t > 0.0f ? std::min(static_cast<long>(std::min(t, 2.0e9f)), last) : 0;
                if (std::fabs(v[c] - a[c]) > range * table[static_cast<size_t>(idx)]) {
                    m[x] = 255;
                    any = true;
                    break;
                }
            }
        }
    }
    return any;
}

} // namespace

float ghostValueRange(const cv::Mat& chosen) {
    switch (chosen.depth()) {
    case CV_8U:
        return 255.0f;
    case CV_16U:
        return 65535.0f;
    default: {
        double lo = 0.0, hi = 0.0;
        cv::minMaxIdx(chosen.reshape(1), &lo, &hi);
        return static_cast<float>(hi);
    }
    }
}

size_t toleranceTableLength(int depth, float range) {
    if (depth == CV_8U)
        return 256;
    if (depth == CV_16U)
        return 65536;
    // Bounded so that a frame with huge values cannot ask for an absurd table; larger values use the last
    // entry.
    const float r = std::max(0.0f, std::min(range, 16777215.0f));
    return static_cast<size_t>(r) + 1;
}

std::vector<float> buildToleranceTable(float ghostTolerance, float range, size_t length) {
    std::vector<float> table(std::max<size_t>(length, 1), 0.0f);
    if (ghostTolerance > 0.0f) {
        const float t0 = ghostTolerance / 100.0f;
        const float step = (t0 - (t0 + 0.035f)) / range;
        table[0] = t0;
        for (size_t i = 1; i < table.size(); ++i)
            table[i] = table[i - 1] - step;
    }
    return table;
}

bool detectGhosts(const cv::Mat& chosen, const cv::Mat& aligned, const std::vector<float>& table, float range,
                  cv::Mat& mask, int threads) {
    mask = cv::Mat::zeros(chosen.size(), CV_8UC1);
    const int depth = chosen.depth();
    if (depth != CV_8U && depth != CV_16U && depth != CV_32F)
        return false;
    const std::vector<int> limits = depth == CV_32F ? std::vector<int>() : integerLimits(table, range);
    // Bands of rows, each pixel tested on its own: the threads write disjoint rows of the mask.
    constexpr int kBandRows = 32;
    std::atomic<bool> any{false};
    parallelFor((chosen.rows + kBandRows - 1) / kBandRows, threads, "detectGhosts", [&](int band) {
        const int y0 = band * kBandRows, y1 = std::min(chosen.rows, y0 + kBandRows);
        const bool found = depth == CV_8U    ? detectInteger<uchar>(chosen, aligned, limits, mask, y0, y1)
                           : depth == CV_16U ? detectInteger<ushort>(chosen, aligned, limits, mask, y0, y1)
                                             : detectFloat(chosen, aligned, table, range, mask, y0, y1);
        if (found)
            any.store(true, std::memory_order_relaxed);
    });
    return any.load();
}

void cleanGhostMask(cv::Mat& mask) {
    cv::Mat eroded;
    cv::erode(mask, eroded, cv::Mat::ones(3, 3, CV_8U));
    cv::dilate(eroded, mask, cv::Mat::ones(9, 9, CV_8U));
}

cv::Mat matchingCopy(const cv::Mat& frame) {
    if (frame.depth() == CV_8U)
        return frame;
    cv::Mat out(frame.size(), CV_MAKETYPE(CV_8U, frame.channels()));
    const int n = frame.cols * frame.channels();
    if (frame.depth() == CV_16U) {
        for (int y = 0; y < frame.rows; ++y) {
            const ushort* s = frame.ptr<ushort>(y);
            uchar* d = out.ptr<uchar>(y);
            for (int i = 0; i < n; ++i)
                d[i] = static_cast<uchar>(static_cast<int>(s[i] * 0.0038910506));
        }
        return out;
    }
    cv::Mat f;
    frame.convertTo(f, CV_32F);
    double lo = 0.0, hi = 0.0;
    cv::minMaxIdx(f.reshape(1), &lo, &hi);
    const double scale = hi > 0.0 ? 255.0 / hi : 0.0;
    for (int y = 0; y < f.rows; ++y) {
        const float* s = f.ptr<float>(y);
        uchar* d = out.ptr<uchar>(y);
        for (int i = 0; i < n; ++i) {
            const double v = std::trunc(s[i] * scale);
            d[i] = static_cast<uchar>(std::max(0.0, std::min(255.0, v)));
        }
    }
    return out;
}

} // namespace lumora
