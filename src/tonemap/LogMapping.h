#pragma once
// Operator 1: adaptive logarithmic mapping. Luminance is compressed by a logarithm whose base moves from 2 to
// 10 with the pixel's luminance relative to the brightest one, steered by a bias (alpha); chromaticity is
// kept. The result is normalised, gamma-encoded and finished by a fixed colour recipe.

#include "tonemap/ColorModifications.h"
#include "tonemap/ToneCurve.h"
#include "tonemap/ToneMappingBase.h"

namespace lumora {

namespace logmapping {
// The exponent of the base's dependence on Y / Lmax: ln(bias) / ln(0.5).
float biasExponent(float bias);
// One compressed luminance: ln(Y + 1) / ln(2 + 8 (Y / Lmax)^e) / log10(Lmax + 1).
float compressLuminance(float Y, float Lmax, float bias);
// Steps up to the gamma encoding (no colour recipe): a 3-channel float image in [0, 1]. Pixels without light
// (y = 0) and images that are constant after the mapping come out black. Returns an empty image when
// `control` asks to stop.
cv::Mat mapToDisplay(const cv::Mat& bgr, float bias, ToneMapControl* control = nullptr);
} // namespace logmapping

class LogMapping : public ToneMappingBase {
public:
    LogMapping();
    cv::Mat& toneMap(cv::Mat& output, const cv::Mat& input, const float* params) override;

private:
    ToneCurve curve_;
    ColorModSettings settings_;
};

} // namespace lumora
