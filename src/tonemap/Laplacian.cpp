#include "tonemap/Laplacian.h"

#include "tonemap/LaplacianFilter.h"
#include "tonemap/Percentile.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <limits>

namespace lumora {

namespace {

constexpr float kEpsilon = std::numeric_limits<float>::epsilon(); // 1.1920929e-07
constexpr float kDisplayPower = 0.45454544f;                      // 1 / 2.2

// Maps the 0.5th..99.5th percentiles of r onto a 100:1 range: r / hi raised to ln 100 / ln(hi / lo).
void fitRange(cv::Mat& r) {
    const std::optional<double> hiP = imagePercentile(r, 99.5);
    const std::optional<double> loP = imagePercentile(r, 0.5);
    if (!hiP || !(*hiP > 0.0)) {
        r.setTo(0.f); // nothing lit: the image stays black rather than dividing by a non-positive peak
        return;
    }
    const double hi = *hiP;
    // A result at or below the log domain's floor counts as the floor, so black areas do not turn the
    // exponent into 0 (all white) or NaN.
    const double lo = std::max(*loP, static_cast<double>(kEpsilon));
    const double exponent = hi > lo ? std::log(100.0) / std::log(hi / lo) : 1.0;
    cv::Mat scaled = r * (1.0 / hi);
    scaled = cv::max(scaled, 0.f);
    cv::pow(scaled, exponent, r);
}

} // namespace

cv::Mat Laplacian::luminance(const cv::Mat& image) {
    if (image.channels() == 1)
        return image;
    cv::Mat l(image.size(), CV_32F);
    const int cn = image.channels();
    for (int y = 0; y < image.rows; ++y) {
        const float* p = image.ptr<float>(y);
        float* dst = l.ptr<float>(y);
        for (int x = 0; x < image.cols; ++x, p += cn)
            dst[x] = (20.f * p[2] + 40.f * p[1] + p[0]) / 61.f;
    }
    return l;
}

cv::Mat& Laplacian::toneMap(cv::Mat& output, const cv::Mat& input, const float* params) {
    output = apply(input, laplacianParams(params));
    return output;
}

cv::Mat Laplacian::apply(const cv::Mat& input, const LaplacianParams& params) {
    control_.setProgress(0);
    cv::Mat in;
    if (input.depth() == CV_32F)
        in = input;
    else
        input.convertTo(in, CV_32F);
    if (in.empty() || (in.channels() != 1 && in.channels() < 3))
        return {};
    alpha_ = params.detailExponent;
    beta_ = params.edgeCompression;
    const bool logDomain = logDomain_ != 0;
    const float sigma = logDomain ? std::log(sigmaR_) : sigmaR_;

    const cv::Mat lum = luminance(in);
    cv::Mat r;
    if (alpha_ == 1.f && beta_ == 1.f) {
        r = lum.clone(); // nothing to remap
    } else {
        cv::Mat domain;
        if (logDomain) {
            domain = cv::max(lum, 0.f) + kEpsilon; // a negative luminance would have no logarithm
            cv::log(domain, domain);
        } else {
            domain = lum;
        }
        r = lapfilterCore(domain, {alpha_, beta_, sigma, noiseLevel_}, control_, {workers(), true});
        if (r.empty())
            return {}; // asked to end
        if (logDomain) {
            cv::exp(r, r);
            r -= kEpsilon;
        }
    }
    const bool displayReferred = logDomain && beta_ <= 1.f;
    if (displayReferred)
        fitRange(r);
    if (control_.shouldEnd())
        return {};

    // Colour: each channel keeps its ratio to the luminance (black where the luminance is 0).
    cv::Mat out(in.size(), CV_MAKETYPE(CV_32F, in.channels() == 1 ? 1 : 3));
    const int cn = in.channels();
    for (int y = 0; y < in.rows; ++y) {
        const float* src = in.ptr<float>(y);
        const float* lrow = lum.ptr<float>(y);
        const float* rrow = r.ptr<float>(y);
        float* dst = out.ptr<float>(y);
        for (int x = 0; x < in.cols; ++x) {
            if (cn == 1) {
                dst[x] = rrow[x];
                continue;
            }
            const float l = lrow[x];
            for (int c = 0; c < 3; ++c)
                dst[3 * x + c] = l != 0.f ? src[x * cn + c] / l * rrow[x] : 0.f;
        }
    }
    if (beta_ > 1.f)
        out = cv::max(out, 0.f); // expanding edges may go past 1: keep it for the later steps
    else
        out = cv::min(cv::max(out, 0.f), 1.f);
    if (displayReferred)
        cv::pow(out, kDisplayPower, out);
    control_.setProgress(100);
    return out;
}

} // namespace lumora
