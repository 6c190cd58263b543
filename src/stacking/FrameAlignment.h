#pragma once
// Global camera-shift correction: the translation that best maps a frame onto the chosen frame, estimated by
// enhanced-correlation-coefficient maximisation on grey images, and the frame resampled with it (areas
// shifted in from outside the frame become black). Local motion is left to the anti-ghosting composite.

#include <opencv2/core.hpp>

namespace lumora {

enum class AlignMethod {
    SingleScale,  // the full-resolution estimate from the identity
    CoarseToFine, // a small pyramid first, then the same full-resolution estimate from there
};

// One channel: colour frames converted BGR to grey, one-channel frames as they are.
cv::Mat greyForAlignment(const cv::Mat& frame);

// 2x3 float warp mapping chosen-frame coordinates to frame coordinates (pure translation). Identity when the
// grey images are not both 8-bit or both float (16-bit frames). A correlation that stops improving keeps the
// warp of the last completed step. Other errors are thrown (cv::Exception).
cv::Mat estimateTranslation(const cv::Mat& chosenGrey, const cv::Mat& frameGrey,
                            AlignMethod method = AlignMethod::CoarseToFine);

// The frame warped with `warp` (bilinear, black outside), same size, depth and channels.
cv::Mat applyTranslation(const cv::Mat& frame, const cv::Mat& warp);

// estimateTranslation + applyTranslation. `warpOut`, when given, receives the warp.
cv::Mat alignFrame(const cv::Mat& chosenGrey, const cv::Mat& frame,
                   AlignMethod method = AlignMethod::CoarseToFine, cv::Mat* warpOut = nullptr);

} // namespace lumora
