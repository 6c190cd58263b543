#pragma once
// OpenCV's video module (the ECC alignment and the dense optical flow the stacking engine uses), reached
// through a module loaded on first use (src/motion): linked, it and the libraries it needs (OpenCV's neural
// networks, calibration, features, protobuf) would be loaded at every start of lumora-cli and the window,
// about 10 ms each time, though most runs stack nothing.

#include <opencv2/core.hpp>

namespace lumora::motion {

// The module's entry points: OpenCV's functions of the same names, with OpenCV's exceptions.
struct Api {
    int version;
    double (*findTransformECC)(const cv::Mat& templ, const cv::Mat& input, cv::Mat& warp, int motionType,
                               cv::TermCriteria criteria, int gaussFiltSize);
    void (*calcOpticalFlowFarneback)(const cv::Mat& prev, const cv::Mat& next, cv::Mat& flow, double pyrScale,
                                     int levels, int winsize, int iterations, int polyN, double polySigma,
                                     int flags);
};

// Raised when the module and the program disagree about the entry points above.
constexpr int kApiVersion = 1;
// The file name of the module, looked for beside the program and in the helper directory.
constexpr const char* kModuleFile = "liblumora_motion.so";
// The symbol the module exports: extern "C" const Api* lumora_motion_api().
constexpr const char* kEntryPoint = "lumora_motion_api";

// cv::findTransformECC without a mask. Throws what it throws, and std::runtime_error (the reason logged)
// when the module cannot be loaded.
double findTransformECC(const cv::Mat& templ, const cv::Mat& input, cv::Mat& warp, int motionType,
                        cv::TermCriteria criteria, int gaussFiltSize);
// cv::calcOpticalFlowFarneback; throws as findTransformECC does.
void calcOpticalFlowFarneback(const cv::Mat& prev, const cv::Mat& next, cv::Mat& flow, double pyrScale,
                              int levels, int winsize, int iterations, int polyN, double polySigma,
                              int flags);

} // namespace lumora::motion
