#include "tonemap/LogMapping.h"

#include "app/Parallel.h"
#include "tonemap/OperatorSupport.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumora {

namespace logmapping {

float biasExponent(float bias) {
    return std::log(std::max(bias, 1e-6f)) / -0.693147f;
}

float compressLuminance(float Y, float Lmax, float bias) {
    const float e = biasExponent(bias);
    const float divider = std::log10(Lmax + 1.f);
    return std::log(Y + 1.f) / std::log(2.f + 8.f * std::pow(Y / Lmax, e)) / divider;
}

cv::Mat mapToDisplay(const cv::Mat& bgrIn, float bias, RunControl* control, int workers) {
    auto canceled = [control] { return control && control->shouldEnd(); };
    auto progress = [control](int p) {
        if (control)
            control->setProgress(p);
    };
    if (canceled())
        return {};
    progress(5);
    const cv::Mat bgr = toFloat3(bgrIn);
    if (bgr.empty())
        return {};
    cv::Mat xyz;
    cv::cvtColor(bgr, xyz, cv::COLOR_BGR2XYZ);
    const int rows = xyz.rows, cols = xyz.cols;
    const int threads = workers > 0 ? workers : workerCount(WorkerUse::Interactive);

    // Yxy in place: (Y, x, y) per pixel.
    std::vector<float> maxes(static_cast<size_t>(threads), 1e-6f);
    parallelInterleaved(threads, "LogMapping::toneMap", [&](int first, int step) {
        float m = 1e-6f;
        for (int r = first; r < rows; r += step) {
            float* p = xyz.ptr<float>(r);
            for (int c = 0; c < cols; ++c, p += 3) {
                const float X = p[0], Y = p[1], Z = p[2];
                const float sum = X + Y + Z;
                const bool lit = sum > 0.f && Y > 0.f;
                p[0] = lit ? Y : 0.f;
                p[1] = lit ? X / sum : 0.f;
                p[2] = lit ? Y / sum : 0.f;
                m = std::max(m, p[0]);
            }
        }
        maxes[static_cast<size_t>(first)] = m;
    });
    const float Lmax = *std::max_element(maxes.begin(), maxes.end()); // adaptation luminance exp(0) = 1

    if (canceled())
        return {};
    progress(20);
    const float e = biasExponent(bias);
    const float invDivider = 1.f / std::log10(Lmax + 1.f);
    const float invLmax = 1.f / Lmax;
    if (canceled())
        return {};
    progress(60);
    // Compression of Y and back to XYZ. X + Y + Z = Y / y, so Z follows without dividing by x (which is 0 for
    // light without an X component); y = 0 means no light and gives black. The logarithms and powers of a
    // row are taken at once by OpenCV's vector routines, several times faster than one call per sample.
    parallelInterleaved(threads, "LogMapping::toneMap", [&](int first, int step) {
        cv::Mat num(1, cols, CV_32F), den(1, cols, CV_32F);
        float* n = num.ptr<float>();
        float* d = den.ptr<float>();
        for (int r = first; r < rows; r += step) {
            float* p = xyz.ptr<float>(r);
            for (int c = 0; c < cols; ++c) {
                n[c] = p[3 * c] + 1.f;
                d[c] = p[3 * c] * invLmax;
            }
            cv::log(num, num);
            cv::pow(den, e, den);
            for (int c = 0; c < cols; ++c)
                d[c] = 2.f + 8.f * d[c];
            cv::log(den, den);
            for (int c = 0; c < cols; ++c, p += 3) {
                const float y = p[2];
                if (!(y > 0.f)) {
                    p[0] = p[1] = p[2] = 0.f;
                    continue;
                }
                const float Yd = n[c] / d[c] * invDivider;
                const float total = Yd / y;
                const float X = p[1] * total;
                p[0] = X;
                p[1] = Yd;
                p[2] = total - X - Yd;
            }
        }
    });
    cv::Mat out;
    cv::cvtColor(xyz, out, cv::COLOR_XYZ2BGR);
    xyz.release();

    double lo = 0, hi = 0;
    cv::minMaxLoc(out.reshape(1), &lo, &hi);
    hi = std::max(hi, 1e-6);
    lo = std::min(lo, 1e10);
    // A constant picture carries nothing to show. Its channels differ only by the rounding of the two colour
    // conversions, which the normalisation would blow up to the full range.
    if (!(hi - lo > 1e-5 * std::max(std::fabs(hi), std::fabs(lo))) || !std::isfinite(hi - lo))
        return cv::Mat::zeros(out.size(), CV_32FC3);

    if (canceled())
        return {};
    progress(80);
    const float offset = static_cast<float>(lo), scale = static_cast<float>(1.0 / (hi - lo));
    parallelInterleaved(threads, "LogMapping::toneMap", [&](int first, int step) {
        cv::Mat powered(1, cols * 3, CV_32F);
        float* g = powered.ptr<float>();
        for (int r = first; r < rows; r += step) {
            float* p = out.ptr<float>(r);
            for (int c = 0; c < cols * 3; ++c)
                p[c] = (p[c] - offset) * scale;
            cv::pow(cv::Mat(1, cols * 3, CV_32F, p), 0.40909091, powered);
            for (int c = 0; c < cols * 3; ++c)
                p[c] = p[c] > 0.012f ? 1.099f * g[c] - 0.099f : 6.75f * p[c];
        }
    });
    return out;
}

} // namespace logmapping

LogMapping::LogMapping()
    : curve_(0.f, 0.f, 0.f, 0.f),
      settings_(colorModSettings(exposureTermsFor(-0.2f), /*contrast*/ 1.3333334f, /*hue*/ 0.f,
                                 /*saturation*/ 1.f, /*vibrance*/ 0.42f)) {}

cv::Mat& LogMapping::toneMap(cv::Mat& output, const cv::Mat& input, const float* params) {
    output = apply(input, logMappingParams(params));
    return output;
}

cv::Mat LogMapping::apply(const cv::Mat& input, const LogMappingParams& params) {
    control_.setProgress(0);
    cv::Mat mapped = logmapping::mapToDisplay(input, params.bias, &control_, workers());
    if (mapped.empty() || control_.shouldEnd())
        return {};
    // Nothing to show stays black: the recipe's contrast curve would lift it to a grey.
    if (cv::countNonZero(mapped.reshape(1)) != 0)
        mapped = applyColorModifications(curve_, mapped, settings_, workers());
    control_.setProgress(100);
    return mapped;
}

} // namespace lumora
