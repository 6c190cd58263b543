#include "tonemap/Laplacian.h"

#include "tonemap/LaplacianFilter.h"
#include "tonemap/Percentile.h"
#include "tonemap/RowBands.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumora {

namespace {

constexpr float kEpsilon = std::numeric_limits<float>::epsilon(); // 1.1920929e-07
constexpr float kDisplayPower = 0.45454544f;                      // 1 / 2.2

constexpr const char* kPlace = "Laplacian::toneMap";

// The per-pixel loops below take the channel count as a template argument where it is the usual 3 or 4, so
// that they vectorise; kCn = 0 reads it from `cn`. The arithmetic is the same either way.

// Luminance of one row of BGR(A...) pixels.
template <int kCn> void rowLuminance(const float* p, float* dst, int cols, int cn) {
    const int step = kCn > 0 ? kCn : cn;
    for (int x = 0; x < cols; ++x, p += step)
        dst[x] = (20.f * p[2] + 40.f * p[1] + p[0]) / 61.f;
}

// Each colour channel keeps its ratio to the luminance l, now carried by r (black where l is 0).
template <int kCn>
void rowColour(const float* src, const float* lrow, const float* rrow, float* dst, int cols, int cn) {
    const int step = kCn > 0 ? kCn : cn;
    for (int x = 0; x < cols; ++x) {
        const float l = lrow[x];
        for (int c = 0; c < 3; ++c)
            dst[3 * x + c] = l != 0.f ? src[x * step + c] / l * rrow[x] : 0.f;
    }
}

// Maps the 0.5th..99.5th percentiles of r onto a 100:1 range: r / hi raised to ln 100 / ln(hi / lo).
void fitRange(cv::Mat& r, int workers) {
    const std::optional<std::pair<double, double>> range = imagePercentileRange(r, 0.5, 99.5);
    if (!range || !(range->second > 0.0)) {
        r.setTo(0.f); // nothing lit: the image stays black rather than dividing by a non-positive peak
        return;
    }
    const double hi = range->second;
    // A result at or below the log domain's floor counts as the floor, so black areas do not turn the
    // exponent into 0 (all white) or NaN.
    const double lo = std::max(range->first, static_cast<double>(kEpsilon));
    const double exponent = hi > lo ? std::log(100.0) / std::log(hi / lo) : 1.0;
    forRowBands(r.rows, r.cols, workers, kPlace, [&](int first, int end) {
        cv::Mat band = r.rowRange(first, end);
        cv::Mat scaled = band * (1.0 / hi);
        scaled = cv::max(scaled, 0.f);
        cv::pow(scaled, exponent, band);
    });
}

} // namespace

cv::Mat Laplacian::luminance(const cv::Mat& image, int workers) {
    if (image.channels() == 1)
        return image;
    cv::Mat l(image.size(), CV_32F);
    const int cn = image.channels();
    forRowBands(image.rows, image.cols, workers, kPlace, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const float* p = image.ptr<float>(y);
            float* dst = l.ptr<float>(y);
            if (cn == 3)
                rowLuminance<3>(p, dst, image.cols, cn);
            else if (cn == 4)
                rowLuminance<4>(p, dst, image.cols, cn);
            else
                rowLuminance<0>(p, dst, image.cols, cn);
        }
    });
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

    const int workers = this->workers();
    const cv::Mat lum = luminance(in, workers);
    cv::Mat r;
    if (alpha_ == 1.f && beta_ == 1.f) {
        r = lum.clone(); // nothing to remap
    } else {
        cv::Mat domain = lum;
        if (logDomain) {
            domain = cv::Mat(lum.size(), CV_32F); // its own pixels: the colour step reads lum afterwards
            forRowBands(lum.rows, lum.cols, workers, kPlace, [&](int first, int end) {
                // A negative luminance would have no logarithm.
                cv::Mat band = cv::max(lum.rowRange(first, end), 0.f) + kEpsilon;
                cv::log(band, domain.rowRange(first, end));
            });
        }
        r = lapfilterCore(domain, {alpha_, beta_, sigma, noiseLevel_}, control_, {workers, true});
        if (r.empty())
            return {}; // asked to end
        if (logDomain)
            forRowBands(r.rows, r.cols, workers, kPlace, [&](int first, int end) {
                cv::Mat band = r.rowRange(first, end);
                cv::exp(band, band);
                cv::subtract(band, kEpsilon, band);
            });
    }
    const bool displayReferred = logDomain && beta_ <= 1.f;
    if (displayReferred)
        fitRange(r, workers);
    if (control_.shouldEnd())
        return {};

    // Colour: each channel keeps its ratio to the luminance (black where the luminance is 0).
    cv::Mat out(in.size(), CV_MAKETYPE(CV_32F, in.channels() == 1 ? 1 : 3));
    const int cn = in.channels();
    forRowBands(in.rows, in.cols * out.channels(), workers, kPlace, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            const float* src = in.ptr<float>(y);
            const float* lrow = lum.ptr<float>(y);
            const float* rrow = r.ptr<float>(y);
            float* dst = out.ptr<float>(y);
            if (cn == 1)
                std::copy(rrow, rrow + in.cols, dst);
            else if (cn == 3)
                rowColour<3>(src, lrow, rrow, dst, in.cols, cn);
            else if (cn == 4)
                rowColour<4>(src, lrow, rrow, dst, in.cols, cn);
            else
                rowColour<0>(src, lrow, rrow, dst, in.cols, cn);
        }
        // In place: the band is a view of `out` (expanding edges may go past 1, kept for the later steps).
        cv::Mat band = out.rowRange(first, end);
        cv::max(band, 0.f, band);
        if (beta_ <= 1.f)
            cv::min(band, 1.f, band);
        if (displayReferred)
            cv::pow(band, kDisplayPower, band);
    });
    control_.setProgress(100);
    return out;
}

} // namespace lumora
