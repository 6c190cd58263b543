#pragma once
// The colour step of the render: hue, saturation and vibrance in HSV, exposure with a black toe, contrast and
// the tone curve, per pixel of a 32-bit float image, split over threads by rows.

#include "tonemap/ToneCurve.h"
#include "tonemap/ToneMapParams.h"

#include <opencv2/core.hpp>

namespace lumora {

struct ColorModSettings {
    float hue = 0.f; // whole turns
    float saturation = 1.f;
    float vibrance = 0.f;
    float blackLevel = 0.f;
    float toeWidth = 0.f;
    float exposureScale = 1.f;
    float toeSlope = 0.f;
    float contrast = 1.f;
    float exposureHalf = 0.5f; // carried along, not used per pixel
};

// Settings from the exposure terms and the colour values of a parameter record.
ColorModSettings colorModSettings(const ExposureTerms& exposure, float contrast, float hue, float saturation,
                                  float vibrance);

// The contrast curve: sqrtCoef * sqrt(x) + linearCoef * x + offset (sqrt term only in sqrt mode).
struct ContrastTerms {
    bool sqrtMode = true;
    float linearCoef = 1.f;
    float sqrtCoef = 0.f;
    float offset = 0.f;
};
ContrastTerms contrastTermsFor(float contrast);

// Applies the step to a 1- or 3-channel image (converted to 32-bit float) and returns a 3-channel 32-bit
// float image of the same size. The curve is brought up to date first and then only read. threads 0 means the
// interactive worker count.
cv::Mat applyColorModifications(Spline& curve, const cv::Mat& input, const ColorModSettings& settings,
                                int threads = 0);

} // namespace lumora
