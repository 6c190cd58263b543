#pragma once
// The tone-mapping parameter record, and the conversion of every control position (slider, check box, combo
// box) into the value the engine renders with. Presets and undo keep positions; the engine keeps values.

#include "tonemap/ToneCurve.h"

#include <opencv2/core/types.hpp>

#include <array>

namespace lumora {

inline constexpr int kOperatorCount = 5;

// Values that follow from the exposure and feed the colour step.
struct ExposureTerms {
    float exposureGain = 1.f;
    float exposureHalf = 0.5f;
    float exposureHalfInverse = 2.f;
    float exposureInverse = 1.f;
    float blackLevel = 0.f;
    float exposureScale = 1.f;
    float toeWidth = 0.0025f;
    float toeSlope = 100.f;
};

// Exposure terms for an exposure in stops.
ExposureTerms exposureTermsFor(float exposureStops);

struct ToneMapParams {
    float rotation = 0.f; // radians
    cv::Rect cropRect{-1, -1, -1, -1};
    float exposure = 0.f;
    float contrast = 1.f;
    float hue = 0.f;
    float saturation = 1.f;
    float vibrance = 0.f;
    float blackClip = 0.f;
    float whiteClip = 0.f;
    bool applyToneMapping = true;
    float strength = 0.5f;
    ToneCurve toneCurve;
    bool applySharpening = true;
    float sharpeningAmount = 0.1f;
    int sharpeningRadius = 3;
    float sharpeningThreshold = 0.f;
    int operatorIndex = 0;
    std::array<std::array<float, 3>, kOperatorCount> operatorParams{}; // alpha, beta, gamma per operator
    ExposureTerms exposureTerms = exposureTermsFor(0.f);
};

// A crop rectangle is used only when x, y >= 0 and width, height >= 1.
bool isValidCrop(const cv::Rect& crop);
// Operator indices above 4 mean 4; below 0 (only from damaged files) mean the default operator 0.
int clampOperatorIndex(int index);

// Control position -> value, one function per control.
namespace position {
float rotation(int v);
float exposure(int v);
float contrast(int v);
float hue(int v);
float saturation(int v);
float vibrance(int v);
float blackClip(int v);
float whiteClip(int v);
float strength(int v);
float curveValue(int v); // whites, blacks, highlights, shadows
float sharpeningAmount(int v);
int sharpeningRadius(int v);
float sharpeningThreshold(int v);
} // namespace position

// Which triple elements an operator reads: 0 alpha and beta, 1 alpha, 2 and 4 all three, 3 none.
int operatorParamCount(int operatorIndex);

// The triple of `operatorIndex` from the positions of the sliders that the operator shows (elements the
// operator does not read are 0).
std::array<float, 3> operatorTripleFromPositions(int operatorIndex, int alphaPos, int betaPos, int gammaPos);

// A whole set of control positions, as presets store them. A new set holds the window's designed positions
// (the table of tone controls, ToneControls.h).
struct ControlPositions {
    bool applyTM;
    int TMAlgo;
    int alpha, beta, gamma;
    int blackClip, whiteClip;
    int strength;
    int exposure, contrast, highlights, shadows, whites, blacks;
    int hue, saturation, vibrance;
    bool applySharpening;
    int sharpeningAmount, sharpeningRadius, sharpeningThreshold;

    ControlPositions();
    bool operator==(const ControlPositions& o) const;
    bool operator!=(const ControlPositions& o) const { return !(*this == o); }
    // Every position brought into its control's range.
    ControlPositions bounded() const;
};

} // namespace lumora
