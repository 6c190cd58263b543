#include "tonemap/LocalContrastModel.h"

#include "app/EventLog.h"
#include "tonemap/OperatorSupport.h"
#include "tonemap/RowBands.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace lumora {

namespace {
constexpr const char* kPlace = "LC_Model::toneMap";
} // namespace

cv::Mat scaleImage(const cv::Mat& img, float lo, float hi, int workers) {
    double m = 0, top = 0;
    cv::minMaxLoc(img.reshape(1), &m, &top);
    const double M = top - m;
    if (!(M != 0.0)) {
        logError("scaleImage", "ERROR in scaleImage.m : divide by zero");
        return cv::Mat::zeros(img.size(), img.type());
    }
    // Subtract first so that the minimum lands exactly on lo.
    cv::Mat out(img.size(), CV_MAKETYPE(CV_32F, img.channels()));
    forRowBands(img.rows, img.cols * img.channels(), workers, kPlace, [&](int first, int end) {
        cv::Mat band = out.rowRange(first, end);
        cv::subtract(img.rowRange(first, end), cv::Scalar::all(m), band, cv::noArray(), CV_32F);
        band.convertTo(band, CV_32F, (hi - lo) / M, lo);
    });
    return out;
}

cv::Mat sigmFac(const cv::Mat& lum, int slope, int mid, int workers) {
    double lo = 0, hi = 0;
    cv::minMaxLoc(lum.reshape(1), &lo, &hi);
    if (lo < 0.0 || hi > 255.0)
        logError("sigmFac", "ERROR: sigmFac: lum must be between 0 and 255");
    cv::Mat f(lum.size(), CV_32F);
    forRowBands(lum.rows, lum.cols, workers, kPlace, [&](int first, int end) {
        cv::Mat e;
        // exp(-(x - mid) * slope) with x = lum / 255
        lum.rowRange(first, end).convertTo(e, CV_32F, -double(slope) / 255.0, double(mid) * slope);
        cv::exp(e, e);
        for (int r = first; r < end; ++r) {
            const float* ep = e.ptr<float>(r - first);
            float* fp = f.ptr<float>(r);
            for (int c = 0; c < f.cols; ++c)
                fp[c] = std::fabs(1.f - 1.f / (1.f + ep[c]));
        }
    });
    return scaleImage(f, 0.f, 1.f, workers);
}

cv::Mat& LC_Model::toneMap(cv::Mat& output, const cv::Mat& input, const float* params) {
    output = apply(input, localContrastParams(params));
    return output;
}

cv::Mat LC_Model::apply(const cv::Mat& input, const LocalContrastParams& params) {
    control_.setProgress(0);
    const cv::Mat bgr = toFloat3(input);
    if (bgr.empty())
        return {};
    const int workers = this->workers(), rows = bgr.rows, cols = bgr.cols;

    // 1. Value and colour ratios. A pixel without light keeps ratios 0 and so ends black.
    cv::Mat V(bgr.size(), CV_32F), ratios(bgr.size(), CV_32FC3), logV(bgr.size(), CV_32F);
    forRowBands(rows, cols, workers, kPlace, [&](int first, int end) {
        for (int r = first; r < end; ++r) {
            const cv::Vec3f* p = bgr.ptr<cv::Vec3f>(r);
            float* v = V.ptr<float>(r);
            cv::Vec3f* q = ratios.ptr<cv::Vec3f>(r);
            for (int c = 0; c < cols; ++c) {
                const float m = std::max({p[c][0], p[c][1], p[c][2]});
                v[c] = m;
                q[c] = m > 0.f ? p[c] / m : cv::Vec3f(0.f, 0.f, 0.f);
            }
        }
        // 2. (first half) The brightness floor and its logarithm.
        cv::Mat band = V.rowRange(first, end);
        cv::max(band, 0.001f, band);
        const cv::Mat scaled = band * 100.f;
        cv::Mat logBand = logV.rowRange(first, end);
        cv::log(scaled, logBand);
    });

    // 2. Global adaptation: V^k with k from the mean log brightness.
    control_.setProgress(10);
    const double k = cv::mean(logV)[0] / std::log(10.0) / 6.0 + 2.0 / 3.0;
    logV.release();
    cv::Mat lv(bgr.size(), CV_32F), lum(bgr.size(), CV_32F);
    forRowBands(rows, cols, workers, kPlace, [&](int first, int end) {
        cv::Mat band = V.rowRange(first, end);
        cv::pow(band, k, band);
        // 3. (first half) The log of the adapted brightness and its 0..255 version.
        cv::Mat lvBand = lv.rowRange(first, end);
        cv::max(band * 100.f, params.logFloor, lvBand);
        cv::log(lvBand, lvBand);
        lvBand.convertTo(lvBand, -1, 1.0 / std::log(10.0) / 4.6051702);
        cv::Mat clamped;
        cv::max(lvBand, 0.f, clamped);
        cv::min(clamped, 1.f, clamped);
        clamped.convertTo(lum.rowRange(first, end), -1, 255.f);
    });
    V.release();
    control_.setProgress(30);

    // 3. Local contrast in the log domain.
    if (control_.shouldEnd())
        return {};
    control_.setProgress(60);
    const cv::Mat w = sigmFac(lum, params.sigmoidSlope, params.sigmoidMidpoint, workers);
    lum.release();
    cv::Mat rr(bgr.size(), CV_32F);
    forRowBands(rows, cols, workers, kPlace, [&](int first, int end) {
        // The local mean over a radius-0 window is the pixel itself.
        const cv::Mat lvBand = lv.rowRange(first, end);
        const cv::Mat band = lvBand - w.rowRange(first, end).mul(lvBand);
        band.copyTo(rr.rowRange(first, end));
    });
    lv.release();
    const cv::Mat R = scaleImage(rr, 0.f, 1.f, workers);
    rr.release();

    // 4. Recombination.
    if (control_.shouldEnd())
        return {};
    control_.setProgress(80);
    cv::Mat out(bgr.size(), CV_32FC3);
    forRowBands(rows, cols * 3, workers, kPlace, [&](int first, int end) {
        cv::Mat R3;
        cv::cvtColor(R.rowRange(first, end), R3, cv::COLOR_GRAY2BGR);
        cv::multiply(ratios.rowRange(first, end), R3, out.rowRange(first, end));
    });
    control_.setProgress(100);
    return out;
}

} // namespace lumora
