// The motion module (stacking/MotionModule.h): OpenCV's video functions the stacking engine uses, behind the
// entry points the engine loads on demand. OpenCV's exceptions pass through as they would from OpenCV.

#include "stacking/MotionModule.h"

#include <opencv2/video/tracking.hpp>

namespace {

using lumora::motion::Api;

double findTransformECC(const cv::Mat& templ, const cv::Mat& input, cv::Mat& warp, int motionType,
                        cv::TermCriteria criteria, int gaussFiltSize) {
    return cv::findTransformECC(templ, input, warp, motionType, criteria, cv::noArray(), gaussFiltSize);
}

void calcOpticalFlowFarneback(const cv::Mat& prev, const cv::Mat& next, cv::Mat& flow, double pyrScale,
                              int levels, int winsize, int iterations, int polyN, double polySigma,
                              int flags) {
    cv::calcOpticalFlowFarneback(prev, next, flow, pyrScale, levels, winsize, iterations, polyN, polySigma,
                                 flags);
}

const Api kApi{lumora::motion::kApiVersion, findTransformECC, calcOpticalFlowFarneback};

} // namespace

extern "C" __attribute__((visibility("default"))) const Api* lumora_motion_api() {
    return &kApi;
}
