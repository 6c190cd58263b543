#include "SceneRenderer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace lumora::testmedia {

namespace {

constexpr std::array<int, 3> kBlurredFrames{7, 23, 38};

// Camera jitter, rounded to 1/16 px so the values in the sidecar are exact decimals.
double roundSixteenth(double v) {
    return std::round(v * 16.0) / 16.0;
}

// Line kernel of kBlurLength pixels along kBlurAngleDeg, sampled finely and splatted bilinearly so that the
// oblique line has no gaps; normalised to keep the brightness.
cv::Mat motionKernel() {
    const int n = SceneRenderer::kBlurLength;
    cv::Mat k = cv::Mat::zeros(n, n, CV_32F);
    const double a = SceneRenderer::kBlurAngleDeg * CV_PI / 180.0;
    const double c = (n - 1) / 2.0;
    const double half = (n - 1) / 2.0;
    for (double t = -half; t <= half + 1e-9; t += 0.125) {
        const double x = c + t * std::cos(a);
        const double y = c + t * std::sin(a);
        const int x0 = static_cast<int>(std::floor(x));
        const int y0 = static_cast<int>(std::floor(y));
        const double fx = x - x0;
        const double fy = y - y0;
        const std::array<std::array<double, 3>, 4> taps{
            {{0, 0, (1 - fx) * (1 - fy)}, {1, 0, fx * (1 - fy)}, {0, 1, (1 - fx) * fy}, {1, 1, fx * fy}}};
        for (const auto& tap : taps) {
            const int xx = x0 + static_cast<int>(tap[0]);
            const int yy = y0 + static_cast<int>(tap[1]);
            if (xx >= 0 && xx < n && yy >= 0 && yy < n)
                k.at<float>(yy, xx) += static_cast<float>(tap[2]);
        }
    }
    k /= cv::sum(k)[0];
    return k;
}

float clamp01(double v) {
    return static_cast<float>(std::min(1.0, std::max(0.0, v)));
}

// The moving object: a blue disc with a yellow core and a dark cross, so block matching has structure to lock
// on. Coverage is computed from the exact distance, so the disc sits at its sub-pixel position.
void drawObject(cv::Mat& img, double cx, double cy, double r) {
    const cv::Vec3f outer(0.95f, 0.45f, 0.10f);
    const cv::Vec3f inner(0.10f, 0.80f, 0.95f);
    const cv::Vec3f cross(0.04f, 0.04f, 0.05f);
    const double innerR = 0.55 * r;
    const double crossHalf = std::max(1.0, 0.07 * r);
    const int x0 = std::max(0, static_cast<int>(std::floor(cx - r - 1)));
    const int x1 = std::min(img.cols - 1, static_cast<int>(std::ceil(cx + r + 1)));
    const int y0 = std::max(0, static_cast<int>(std::floor(cy - r - 1)));
    const int y1 = std::min(img.rows - 1, static_cast<int>(std::ceil(cy + r + 1)));
    for (int y = y0; y <= y1; ++y) {
        auto* row = img.ptr<cv::Vec3f>(y);
        for (int x = x0; x <= x1; ++x) {
            const double dx = x - cx;
            const double dy = y - cy;
            const double d = std::sqrt(dx * dx + dy * dy);
            const float aOuter = clamp01(r + 0.5 - d);
            if (aOuter <= 0.f)
                continue;
            const float aInner = clamp01(innerR + 0.5 - d);
            const float aCross = aInner * clamp01(crossHalf + 0.5 - std::min(std::abs(dx), std::abs(dy)));
            cv::Vec3f c = outer * (1.f - aInner) + inner * aInner;
            c = c * (1.f - aCross) + cross * aCross;
            row[x] = row[x] * (1.f - aOuter) + c * aOuter;
        }
    }
}

} // namespace

SceneRenderer::SceneRenderer(cv::Size frameSize)
    : size_(frameSize), canvas_(buildSceneCanvas(frameSize, kMargin)) {}

SceneRenderer::SceneRenderer(cv::Size frameSize, const SceneMotion& motion)
    : size_(frameSize), canvas_(buildSceneCanvas(frameSize, kMargin)), motion_(motion) {}

bool SceneRenderer::isBlurred(int index) {
    return std::find(kBlurredFrames.begin(), kBlurredFrames.end(), index) != kBlurredFrames.end();
}

std::vector<int> SceneRenderer::blurredFrames(int frameCount) {
    std::vector<int> out;
    for (int i : kBlurredFrames)
        if (i < frameCount)
            out.push_back(i);
    return out;
}

SceneFrameInfo SceneRenderer::frameInfo(int index) const {
    SceneFrameInfo info;
    info.index = index;
    // Hand-held jitter: two incommensurate sines, so consecutive frames move differently, within +-3 px.
    info.shiftX = roundSixteenth(2.6 * std::sin(0.9 * index + 0.4));
    info.shiftY = roundSixteenth(2.2 * std::sin(1.3 * index + 1.1));
    info.objectRadius = size_.height / 12.0;
    if (motion_) {
        const int t = (motion_->still ? motion_->centreFrame : index) - motion_->centreFrame;
        info.objectX = size_.width / 2.0 + velocityX() * t + info.shiftX;
        info.objectY = size_.height * 5.0 / 8.0 + velocityY() * t + info.shiftY;
    } else {
        info.objectX = size_.width / 5.0 + velocityX() * index + info.shiftX;
        info.objectY = size_.height * 5.0 / 8.0 + velocityY() * index + info.shiftY;
    }
    info.blurred = isBlurredFrame(index);
    return info;
}

cv::Mat SceneRenderer::renderFloat(int index) const {
    const SceneFrameInfo info = frameInfo(index);
    // Blurred frames are rendered with a border of real content so the filter never sees a synthetic edge.
    const int border = info.blurred ? kBlurLength : 0;
    const cv::Size ext(size_.width + 2 * border, size_.height + 2 * border);

    // frame(x, y) = scene(x - shift) = canvas(x - shift + margin); bicubic keeps sub-pixel shifts sharp.
    const cv::Matx23d toCanvas(1, 0, kMargin - border - info.shiftX, 0, 1, kMargin - border - info.shiftY);
    cv::Mat frame;
    cv::warpAffine(canvas_, frame, toCanvas, ext, cv::INTER_CUBIC | cv::WARP_INVERSE_MAP, cv::BORDER_REFLECT);
    drawObject(frame, info.objectX + border, info.objectY + border, info.objectRadius);

    if (info.blurred) {
        cv::Mat blurred;
        cv::filter2D(frame, blurred, -1, motionKernel(), cv::Point(-1, -1), 0, cv::BORDER_REFLECT);
        frame = blurred(cv::Rect(border, border, size_.width, size_.height)).clone();
    }

    // Noise comes last, as in a sensor: blurred frames are as noisy as sharp ones.
    if (noiseSigma8() > 0.0) {
        cv::Mat noise(frame.size(), CV_32FC3);
        cv::RNG rng(kNoiseSeed + static_cast<unsigned>(index));
        rng.fill(noise, cv::RNG::NORMAL, 0.0, noiseSigma8() / 255.0);
        frame += noise;
    }
    cv::max(frame, 0.0, frame);
    cv::min(frame, 1.0, frame);
    return frame;
}

cv::Mat toBgr8(const cv::Mat& bgrFloat) {
    cv::Mat out;
    bgrFloat.convertTo(out, CV_8U, 255.0);
    return out;
}

cv::Mat toBgr16(const cv::Mat& bgrFloat) {
    cv::Mat out;
    bgrFloat.convertTo(out, CV_16U, 65535.0);
    return out;
}

} // namespace lumora::testmedia
