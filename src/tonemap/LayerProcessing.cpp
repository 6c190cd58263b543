#include "tonemap/LayerProcessing.h"

#include "tonemap/LayerStages.h"
#include "tonemap/OperatorSupport.h"

#include "app/Parallel.h"

#include <cmath>

namespace lumora {

namespace {

float scaleFor(float maxY, float maxLuminance) {
    // An image without light has no scale: every sample takes the floor.
    return maxY > 0.f && std::isfinite(maxY) ? maxLuminance / maxY : 0.f;
}

bool isUniform(const cv::Mat& bgr) {
    const cv::Vec3f first = bgr.at<cv::Vec3f>(0, 0);
    for (int r = 0; r < bgr.rows; ++r) {
        const cv::Vec3f* p = bgr.ptr<cv::Vec3f>(r);
        for (int c = 0; c < bgr.cols; ++c)
            if (p[c] != first)
                return false;
    }
    return true;
}

} // namespace

namespace layerprocessing {

float adaptationFactor(float LA) {
    const float k = 1.f / (5.f * LA + 1.f);
    const float k4 = k * k * k * k;
    return 0.2f * k4 * (5.f * LA) + 0.1f * (1.f - k4) * (1.f - k4) * std::cbrt(5.f * LA);
}

cv::Mat absoluteXYZ(const cv::Mat& bgrIn, float maxLuminance) {
    const cv::Mat bgr = toFloat3(bgrIn);
    if (bgr.empty())
        return {};
    const float scale = scaleFor(largestY(bgr, workerCount(WorkerUse::Waiting)), maxLuminance);
    cv::Mat xyz(bgr.size(), CV_32FC3);
    for (int r = 0; r < bgr.rows; ++r)
        for (int c = 0; c < bgr.cols; ++c)
            xyz.at<cv::Vec3f>(r, c) = absoluteOf(bgr.at<cv::Vec3f>(r, c), scale);
    return xyz;
}

cv::Mat compressToDisplay(const cv::Mat& bgrIn, const LayerParams& params, RunControl& control, int workers,
                          const std::function<void()>& betweenThreads) {
    const cv::Mat bgr = bgrIn.type() == CV_32FC3 ? bgrIn : toFloat3(bgrIn);
    if (bgr.empty())
        return {};
    const int rows = bgr.rows, cols = bgr.cols;
    // A uniform image has no picture to compress; the colour model would only turn it into a tinted grey.
    if (isUniform(bgr))
        return cv::Mat::zeros(rows, cols, CV_32FC3);
    auto stage = [&control](int percent) {
        if (control.shouldEnd())
            return false;
        control.setProgress(percent);
        return true;
    };

    // 1-2. Absolute XYZ (scaled so the largest Y is the maximum luminance, floored) and its log10.
    const float scale = scaleFor(largestY(bgr, workers), params.maxLuminance);
    LogPlanes log = logAbsoluteXyz(bgr, scale, workers);
    // 3. Base layer; 4. the detail layer (log - base) is formed where it is used.
    if (!stage(5))
        return {};
    std::array<cv::Mat, 3> base = baseLayer(log.planes, workers);
    if (base[0].empty())
        return {};
    // 5. The local and adapting whites.
    if (!stage(50))
        return {};
    const Whites whites = lowPassWhites(bgr, scale);
    if (!stage(55) || !stage(60))
        return {};

    // 6. Adaptation and compression of the base beside the enhancement of the detail.
    MiddleStep middle;
    middle.log = &log;
    middle.base = &base;
    middle.whites = &whites;
    middle.responseExponent = params.responseExponent;
    middle.compressed.create(rows, cols, CV_32FC3);
    middle.enhanced.create(rows, cols, CV_32FC3);
    middle.flBase.create(rows, cols, CV_32F);
    // Always two threads, whatever the worker count: the halves take about the same time.
    parallelFor(2, 2, "LayerProcessing::toneMap", [&](int task) {
        if (task == 1) {
            enhanceDetail(middle);
            return;
        }
        compressBase(middle);
        if (betweenThreads)
            betweenThreads();
    });
    for (cv::Mat& p : log.planes)
        p.release();
    for (cv::Mat& p : base)
        p.release();

    // 7. Recombination in IPT, colourfulness and lightness, then display RGB.
    cv::Mat image = middle.compressed;
    middle.compressed.release();
    if (!stage(80))
        return {};
    const float maxI = recombineToIpt(image, middle.enhanced, workers);
    middle.enhanced.release();
    if (!stage(83))
        return {};
    const float maxY = adjustColourfulness(image, middle.flBase, maxI, params.lightnessExponent, workers);
    middle.flBase.release();
    if (!stage(90))
        return {};
    if (!(maxY > 0.f) || !std::isfinite(maxY))
        return cv::Mat::zeros(rows, cols, CV_32FC3);
    control.setProgress(92);
    return toDisplayRgb(image, maxY, workers);
}

} // namespace layerprocessing

LayerProcessing::LayerProcessing()
    : curve_(/*blacks*/ 0.f, /*whites*/ 0.f, /*highlights*/ 0.75f, /*shadows*/ 0.f),
      settings_(colorModSettings(exposureTermsFor(-0.3f), /*contrast*/ 1.2f, /*hue*/ 0.f, /*saturation*/ 1.f,
                                 /*vibrance*/ 0.42f)) {}

cv::Mat& LayerProcessing::toneMap(cv::Mat& output, const cv::Mat& input, const float* params) {
    output = apply(input, layerParams(params));
    return output;
}

cv::Mat LayerProcessing::apply(const cv::Mat& input, const LayerParams& params) {
    control_.setProgress(0);
    cv::Mat display = layerprocessing::compressToDisplay(input, params, control_, workers(), hook_);
    if (display.empty() || control_.shouldEnd())
        return {};
    // Nothing to show stays black rather than the recipe's lifted grey.
    if (cv::countNonZero(display.reshape(1)) != 0)
        display = applyColorModifications(curve_, display, settings_, workers());
    control_.setProgress(100);
    return display;
}

} // namespace lumora
