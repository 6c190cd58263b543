#include "stacking/FrameAlignment.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <vector>

namespace lumora {

namespace {

constexpr int kIterations = 70;
constexpr double kEpsilon = 1e-6;
constexpr int kGaussFilter = 5;
constexpr int kCoarsestSide = 160; // pyramid levels stop above this size
constexpr int kCoarseIterations = 20;
constexpr double kCoarseEpsilon = 1e-4;

// One ECC estimate; a correlation whose illumination term collapses ends early with the warp reached so far.
void runEcc(const cv::Mat& templ, const cv::Mat& input, cv::Mat& warp, int iterations, double eps) {
    try {
        cv::findTransformECC(
            templ, input, warp, cv::MOTION_TRANSLATION,
            cv::TermCriteria(cv::TermCriteria::COUNT + cv::TermCriteria::EPS, iterations, eps), cv::noArray(),
            kGaussFilter);
    } catch (const cv::Exception& e) {
        if (e.code != cv::Error::StsNoConv)
            throw;
    }
}

} // namespace

cv::Mat greyForAlignment(const cv::Mat& frame) {
    if (frame.channels() == 1)
        return frame;
    cv::Mat grey;
    cv::cvtColor(frame, grey, frame.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
    return grey;
}

cv::Mat estimateTranslation(const cv::Mat& chosenGrey, const cv::Mat& frameGrey, AlignMethod method) {
    cv::Mat warp = cv::Mat::eye(2, 3, CV_32F);
    const bool bothByte = chosenGrey.depth() == CV_8U && frameGrey.depth() == CV_8U;
    const bool bothFloat = chosenGrey.depth() == CV_32F && frameGrey.depth() == CV_32F;
    if (!bothByte && !bothFloat)
        return warp; // 16-bit frames are merged as they are
    if (chosenGrey.empty() || frameGrey.empty() || chosenGrey.size() != frameGrey.size())
        CV_Error(cv::Error::StsBadSize, "alignment needs two non-empty images of the same size");

    if (method == AlignMethod::CoarseToFine) {
        // Halve until the next level would be small; estimate from the coarsest level up, each level's result
        // (doubled) starting the next, so the full-resolution run starts close to its answer.
        std::vector<cv::Mat> templ{chosenGrey}, input{frameGrey};
        while (std::min(templ.back().rows, templ.back().cols) / 2 >= kCoarsestSide) {
            cv::Mat a, b;
            cv::pyrDown(templ.back(), a);
            cv::pyrDown(input.back(), b);
            templ.push_back(a);
            input.push_back(b);
        }
        if (templ.size() > 1) {
            cv::Mat coarse = cv::Mat::eye(2, 3, CV_32F);
            for (size_t level = templ.size() - 1; level >= 1; --level) {
                runEcc(templ[level], input[level], coarse, kCoarseIterations, kCoarseEpsilon);
                coarse.at<float>(0, 2) *= 2.0f;
                coarse.at<float>(1, 2) *= 2.0f;
            }
            warp = coarse;
        }
    }
    runEcc(chosenGrey, frameGrey, warp, kIterations, kEpsilon);
    return warp;
}

cv::Mat applyTranslation(const cv::Mat& frame, const cv::Mat& warp) {
    if (cv::countNonZero(warp != cv::Mat::eye(2, 3, warp.type())) == 0)
        return frame; // nothing to move: resampling would give the frame back
    cv::Mat out;
    cv::warpAffine(frame, out, warp, frame.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                   cv::BORDER_CONSTANT, cv::Scalar::all(0));
    return out;
}

cv::Mat alignFrame(const cv::Mat& chosenGrey, const cv::Mat& frame, AlignMethod method, cv::Mat* warpOut) {
    if (frame.empty())
        CV_Error(cv::Error::StsBadArg, "alignment of an empty frame");
    const cv::Mat warp = estimateTranslation(chosenGrey, greyForAlignment(frame), method);
    if (warpOut)
        *warpOut = warp;
    return applyTranslation(frame, warp);
}

} // namespace lumora
