#include "tonemap/ToneMapParams.h"

#include <algorithm>
#include <cmath>

namespace lumora {

namespace {
// Shape of the black toe of the exposure step.
constexpr float kToeScale = 0.005f;
constexpr float kToeFactor = 0.5f;
constexpr float kToeLimit = 0.0625f;
} // namespace

ExposureTerms exposureTermsFor(float exposureStops) {
    ExposureTerms t;
    const float e = std::pow(2.f, exposureStops);
    t.exposureGain = std::max(e, 1.f);
    t.exposureHalf = t.exposureGain * 0.5f;
    t.exposureHalfInverse = 1.f / t.exposureHalf;
    t.exposureInverse = 1.f / e;
    t.blackLevel = 0.f;
    t.exposureScale = 1.f / (t.exposureInverse - t.blackLevel);
    t.toeWidth = std::min(kToeFactor * kToeScale, kToeLimit / t.exposureScale);
    t.toeSlope = t.toeWidth > 0.f ? t.exposureScale / (t.toeWidth * 4.f) : 0.f;
    return t;
}

bool isValidCrop(const cv::Rect& crop) {
    return crop.x >= 0 && crop.y >= 0 && crop.width >= 1 && crop.height >= 1;
}

int clampOperatorIndex(int index) {
    return std::clamp(index, 0, kOperatorCount - 1);
}

namespace position {
float rotation(int v) {
    return -static_cast<float>(v) * 3.1415927f / 180.f;
}
float exposure(int v) {
    return static_cast<float>(v) * 0.01f;
}
float contrast(int v) {
    return static_cast<float>(v + 150) * 0.0066666668f;
}
float hue(int v) {
    return static_cast<float>(v) * 0.005f;
}
float saturation(int v) {
    return v < 0 ? static_cast<float>(v + 100) * 0.01f : 1.f + static_cast<float>(v) * 0.04f;
}
float vibrance(int v) {
    return v < 0 ? static_cast<float>(v) * 0.005f : static_cast<float>(v) * 0.07f;
}
float blackClip(int v) {
    return static_cast<float>(v) * 0.0015f;
}
float whiteClip(int v) {
    return static_cast<float>(v) * 0.0015f;
}
float strength(int v) {
    return static_cast<float>(v + 100) * 0.005f;
}
float curveValue(int v) {
    return static_cast<float>(v) * 0.01f;
}
float sharpeningAmount(int v) {
    return static_cast<float>(v) * 0.01f;
}
int sharpeningRadius(int v) {
    return 2 * v + 1;
}
float sharpeningThreshold(int v) {
    return static_cast<float>(v) * 0.01f;
}
} // namespace position

int operatorParamCount(int operatorIndex) {
    switch (clampOperatorIndex(operatorIndex)) {
    case 0:
        return 2;
    case 1:
        return 1;
    case 3:
        return 0;
    default:
        return 3;
    }
}

} // namespace lumora
