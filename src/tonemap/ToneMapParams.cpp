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

OperatorParamTarget operatorParamFromControl(OperatorControl control, int v) {
    const float p = static_cast<float>(v);
    switch (control) {
    case OperatorControl::LaplacianDetail:
        return {0, 0, (p - 100.f) * -0.01f};
    case OperatorControl::LaplacianEdges:
        return {0, 1, p * -0.01f};
    case OperatorControl::LogBias:
        return {1, 0, p * 0.0025f + 0.75f};
    case OperatorControl::LayerResponse:
        return {4, 0, (p + 100.f) * 0.005f};
    case OperatorControl::LayerLightness:
        return {4, 1, (p + 100.f) * 0.01f};
    case OperatorControl::LayerMaxLuminance:
        return {4, 2, (p + 101.f) * 25.f};
    case OperatorControl::ContrastFloor:
        return {2, 0, (p + 100.f) * 0.05f};
    case OperatorControl::ContrastSlope:
        return {2, 1, (p + 100.f) * 0.1f};
    case OperatorControl::ContrastMidpoint:
        return {2, 2, (p + 100.f) * 0.05f};
    }
    return {};
}

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

std::array<float, 3> operatorTripleFromPositions(int operatorIndex, int alphaPos, int betaPos, int gammaPos) {
    // The sliders each operator shows, in alpha, beta, gamma order.
    static const OperatorControl kControls[kOperatorCount][3] = {
        {OperatorControl::LaplacianDetail, OperatorControl::LaplacianEdges, OperatorControl::LaplacianEdges},
        {OperatorControl::LogBias, OperatorControl::LogBias, OperatorControl::LogBias},
        {OperatorControl::ContrastFloor, OperatorControl::ContrastSlope, OperatorControl::ContrastMidpoint},
        {OperatorControl::LaplacianDetail, OperatorControl::LaplacianDetail,
         OperatorControl::LaplacianDetail},
        {OperatorControl::LayerResponse, OperatorControl::LayerLightness, OperatorControl::LayerMaxLuminance},
    };
    const int op = clampOperatorIndex(operatorIndex);
    const int positions[3] = {alphaPos, betaPos, gammaPos};
    std::array<float, 3> triple{0.f, 0.f, 0.f};
    for (int e = 0; e < operatorParamCount(op); ++e)
        triple[static_cast<size_t>(e)] = operatorParamFromControl(kControls[op][e], positions[e]).value;
    return triple;
}

ControlPositions ControlPositions::bounded() const {
    ControlPositions p = *this;
    const auto slider = [](int& v) { v = std::clamp(v, -100, 100); };
    const auto percent = [](int& v) { v = std::clamp(v, 0, 100); };
    p.TMAlgo = clampOperatorIndex(p.TMAlgo);
    for (int* v : {&p.alpha, &p.beta, &p.gamma, &p.strength, &p.exposure, &p.contrast, &p.highlights,
                   &p.shadows, &p.whites, &p.blacks, &p.hue, &p.saturation, &p.vibrance})
        slider(*v);
    for (int* v : {&p.blackClip, &p.whiteClip, &p.sharpeningAmount, &p.sharpeningThreshold})
        percent(*v);
    p.sharpeningRadius = std::clamp(p.sharpeningRadius, 0, 20);
    return p;
}

} // namespace lumora
