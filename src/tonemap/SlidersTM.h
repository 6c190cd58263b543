#pragma once
// Operator 3: no tone compression of its own, a fixed recipe of the colour step (slight underexposure, more
// contrast and vibrance, an S-shaped tone curve). Ignores alpha, beta and gamma.

#include "tonemap/ColorModifications.h"
#include "tonemap/ToneCurve.h"
#include "tonemap/ToneMappingBase.h"

namespace lumora {

class SlidersTM : public ToneMappingBase {
public:
    SlidersTM();
    cv::Mat& toneMap(cv::Mat& output, const cv::Mat& input, const float* params) override;

    const ColorModSettings& settings() const { return settings_; }
    const ToneCurve& curve() const { return curve_; }

private:
    ToneCurve curve_;
    ColorModSettings settings_;
};

} // namespace lumora
