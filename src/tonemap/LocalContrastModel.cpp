#include "tonemap/LocalContrastModel.h"

#include "app/EventLog.h"
#include "tonemap/OperatorSupport.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace lumora {

cv::Mat scaleImage(const cv::Mat& img, float lo, float hi) {
    double m = 0, top = 0;
    cv::minMaxLoc(img.reshape(1), &m, &top);
    const double M = top - m;
    if (!(M != 0.0)) {
        logError("scaleImage", "ERROR in scaleImage.m : divide by zero");
        return cv::Mat::zeros(img.size(), img.type());
    }
    // Subtract first so that the minimum lands exactly on lo.
    cv::Mat out;
    cv::subtract(img, cv::Scalar::all(m), out, cv::noArray(), CV_32F);
    out.convertTo(out, CV_32F, (hi - lo) / M, lo);
    return out;
}

cv::Mat sigmFac(const cv::Mat& lum, int slope, int mid) {
    double lo = 0, hi = 0;
    cv::minMaxLoc(lum.reshape(1), &lo, &hi);
    if (lo < 0.0 || hi > 255.0)
        logError("sigmFac", "ERROR: sigmFac: lum must be between 0 and 255");
    cv::Mat e;
    // exp(-(x - mid) * slope) with x = lum / 255
    lum.convertTo(e, CV_32F, -double(slope) / 255.0, double(mid) * slope);
    cv::exp(e, e);
    cv::Mat f(e.size(), CV_32F);
    f.forEach<float>([&e](float& v, const int* pos) {
        const float s = 1.f / (1.f + e.at<float>(pos[0], pos[1]));
        v = std::fabs(1.f - s);
    });
    return scaleImage(f, 0.f, 1.f);
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

    // 1. Value and colour ratios. A pixel without light keeps ratios 0 and so ends black.
    cv::Mat V(bgr.size(), CV_32F), ratios(bgr.size(), CV_32FC3);
    for (int r = 0; r < bgr.rows; ++r) {
        const cv::Vec3f* p = bgr.ptr<cv::Vec3f>(r);
        float* v = V.ptr<float>(r);
        cv::Vec3f* q = ratios.ptr<cv::Vec3f>(r);
        for (int c = 0; c < bgr.cols; ++c) {
            const float m = std::max({p[c][0], p[c][1], p[c][2]});
            v[c] = m;
            q[c] = m > 0.f ? p[c] / m : cv::Vec3f(0.f, 0.f, 0.f);
        }
    }

    // 2. Global adaptation: V^k with k from the mean log brightness.
    control_.setProgress(10);
    cv::max(V, 0.001f, V);
    cv::Mat logV;
    cv::log(V * 100.f, logV);
    const double k = cv::mean(logV)[0] / std::log(10.0) / 6.0 + 2.0 / 3.0;
    cv::pow(V, k, V);
    control_.setProgress(30);

    // 3. Local contrast in the log domain.
    if (control_.shouldEnd())
        return {};
    control_.setProgress(60);
    cv::Mat lv;
    cv::max(V * 100.f, params.logFloor, lv);
    cv::log(lv, lv);
    lv *= 1.0 / std::log(10.0) / 4.6051702;
    const cv::Mat lum = cv::min(cv::max(lv, 0.f), 1.f) * 255.f;
    const cv::Mat w = sigmFac(lum, params.sigmoidSlope, params.sigmoidMidpoint);
    cv::Mat rr = lv - w.mul(lv); // the local mean over a radius-0 window is the pixel itself
    const cv::Mat R = scaleImage(rr, 0.f, 1.f);

    // 4. Recombination.
    if (control_.shouldEnd())
        return {};
    control_.setProgress(80);
    cv::Mat R3;
    cv::cvtColor(R, R3, cv::COLOR_GRAY2BGR);
    const cv::Mat out = ratios.mul(R3);
    control_.setProgress(100);
    return out;
}

} // namespace lumora
