#pragma once
// Synthetic high-dynamic-range room scene for the stacking, alignment and sharpness tests: a static
// background (a bright window with detail near saturation, a darker textured room) seen by a camera that
// moves by known sub-pixel amounts, a disc crossing at constant velocity, sensor noise from fixed seeds and a
// few motion-blurred frames. Everything is deterministic, so tests can compare against the recorded ground
// truth.

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace lumora::testmedia {

// Ground truth of one frame, in pixels of the output frame. A scene point at p appears in the frame at
// p + (shiftX, shiftY); objectX/objectY is the disc centre as it appears in the frame (shift included).
struct SceneFrameInfo {
    int index = 0;
    double shiftX = 0.0;
    double shiftY = 0.0;
    double objectX = 0.0;
    double objectY = 0.0;
    double objectRadius = 0.0;
    bool blurred = false;
};

// A variant of the scene for the anti-ghosting quality checks: the disc crosses at a chosen speed, centred
// on one frame, or stays where it is in that frame; the noise may be stronger or absent. No frame is blurred.
struct SceneMotion {
    double velocityX = 0.0, velocityY = 0.0; // pixels per frame
    int centreFrame = 0;                     // the disc is at the middle of the frame's width here
    bool still = false;                      // the disc stays where it is at centreFrame
    double noiseSigma8 = 0.0;                // in 8-bit code values; 0 = no noise
};

class SceneRenderer {
public:
    static constexpr int kMargin = 16;    // extra canvas around the frame, so shifts show real content
    static constexpr int kBlurLength = 9; // motion-blur kernel length in pixels
    static constexpr double kBlurAngleDeg = 30.0; // blur direction, clockwise from the x axis (y down)
    static constexpr double kNoiseSigma8 = 1.5;   // sensor noise standard deviation in 8-bit code values
    static constexpr unsigned kNoiseSeed = 0x4c554d30u;

    explicit SceneRenderer(cv::Size frameSize);
    SceneRenderer(cv::Size frameSize, const SceneMotion& motion);

    cv::Size frameSize() const { return size_; }
    SceneFrameInfo frameInfo(int index) const;
    // Frame `index` as 32-bit float BGR, display-referred values clipped to [0, 1].
    cv::Mat renderFloat(int index) const;

    // Constant object velocity in pixels per frame (scene coordinates).
    double velocityX() const { return motion_ ? motion_->velocityX : size_.width / 128.0; }
    double velocityY() const { return motion_ ? motion_->velocityY : size_.height / 360.0; }
    double noiseSigma8() const { return motion_ ? motion_->noiseSigma8 : kNoiseSigma8; }
    bool isBlurredFrame(int index) const { return !motion_ && isBlurred(index); }
    static bool isBlurred(int index);
    static std::vector<int> blurredFrames(int frameCount);

private:
    cv::Size size_;
    cv::Mat canvas_; // static scene, frame size plus kMargin on every side
    std::optional<SceneMotion> motion_;
};

// Static background of the scene for a frame of `frameSize`, with `margin` extra pixels on each side.
cv::Mat buildSceneCanvas(cv::Size frameSize, int margin);

// Quantisation of a rendered float frame: rounded, saturated.
cv::Mat toBgr8(const cv::Mat& bgrFloat);
cv::Mat toBgr16(const cv::Mat& bgrFloat);

} // namespace lumora::testmedia
