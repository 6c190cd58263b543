#pragma once
// Global camera-shift correction: the translation that best maps a frame onto the chosen frame, estimated on
// grey images, and the frame resampled with it (areas shifted in from outside the frame become black). Local
// motion is left to the anti-ghosting composite.

#include <opencv2/core.hpp>

#include <memory>

namespace lumora {

enum class AlignMethod {
    // Enhanced-correlation-coefficient maximisation at full resolution (70 steps, 1e-6): the reference.
    SingleScale,  // from the identity
    CoarseToFine, // from a small pyramid's estimate
    // Phase correlation on a small copy, then Gauss-Newton steps on the chosen frame's most textured pixels
    // at every scale up to full resolution, with moving things weighted out and brightness changes allowed.
    // What depends on the chosen frame alone is prepared once per run: a few milliseconds per frame.
    Fast,
};

// One channel: colour frames converted BGR to grey, one-channel frames as they are.
cv::Mat greyForAlignment(const cv::Mat& frame);

// Estimates the translations of the frames of one run onto its chosen frame.
class FrameAligner {
public:
    FrameAligner(const cv::Mat& chosenGrey, AlignMethod method);
    ~FrameAligner();
    FrameAligner(const FrameAligner&) = delete;
    FrameAligner& operator=(const FrameAligner&) = delete;

    // 2x3 float warp mapping chosen-frame coordinates to frame coordinates (pure translation). 16-bit grey
    // images are estimated on an 8-bit copy; identity when the two are of different kinds (8-bit against
    // 16-bit or float). An estimate that stops improving
    // keeps the last completed step. Other errors are thrown (cv::Exception). May run on any one thread at
    // a time.
    cv::Mat estimate(const cv::Mat& frameGrey) const;
    // estimate() and applyTranslation(); `warpOut`, when given, receives the warp.
    cv::Mat align(const cv::Mat& frame, cv::Mat* warpOut = nullptr) const;

private:
    cv::Mat fastEstimate(const cv::Mat& frameGrey) const;

    struct Prepared;
    cv::Mat chosenGrey_;
    AlignMethod method_;
    std::unique_ptr<Prepared> prepared_; // Fast only
};

// One estimate with a one-off FrameAligner.
cv::Mat estimateTranslation(const cv::Mat& chosenGrey, const cv::Mat& frameGrey,
                            AlignMethod method = AlignMethod::Fast);

// The frame warped with `warp` (bilinear, black outside), same size, depth and channels.
cv::Mat applyTranslation(const cv::Mat& frame, const cv::Mat& warp);

// estimateTranslation + applyTranslation. `warpOut`, when given, receives the warp.
cv::Mat alignFrame(const cv::Mat& chosenGrey, const cv::Mat& frame, AlignMethod method = AlignMethod::Fast,
                   cv::Mat* warpOut = nullptr);

} // namespace lumora
