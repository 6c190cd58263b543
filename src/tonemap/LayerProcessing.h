#pragma once
// Operator 4 ("tone compress & detail enhance"): an image-appearance model. The image is taken to absolute
// XYZ, split in the log domain into a bilateral base layer and a detail layer; the base is adapted to the
// local white and compressed by cone and rod responses, the detail enhanced, colourfulness adjusted in IPT,
// and the result brought to display RGB and finished by a fixed colour recipe. Reached through presets only.

#include "tonemap/ColorModifications.h"
#include "tonemap/ToneCurve.h"
#include "tonemap/ToneMappingBase.h"

#include <functional>

namespace lumora {

namespace layerprocessing {
// Absolute XYZ of a BGR float image (step 1): RGB->XYZ, scaled so that the largest Y equals maxLuminance,
// floored at 1e-8. Returned in X, Y, Z channel order.
cv::Mat absoluteXYZ(const cv::Mat& bgr, float maxLuminance);
// The luminance-level adaptation factor F_L for an adapting luminance L_A.
float adaptationFactor(float LA);
// Low-pass copy of an XYZ image (the local white for d = 2, the adapting white for d = 3), at full size.
cv::Mat blurImage(const cv::Mat& xyz, int d);
// Everything before the fixed colour recipe: display RGB in [0, 1], BGR order. Empty when canceled.
// `betweenThreads` (tests only) runs on the calling thread while the two threads of the middle step work.
cv::Mat compressToDisplay(const cv::Mat& bgr, float alpha, float beta, float gamma, ToneMapControl& control,
                          const std::function<void()>& betweenThreads = {});
} // namespace layerprocessing

class LayerProcessing : public ToneMappingBase {
public:
    LayerProcessing();
    // params: alpha (cone/rod response exponent), beta (lightness exponent in IPT), gamma (maximum
    // luminance).
    cv::Mat& toneMap(cv::Mat& output, const cv::Mat& input, const float* params) override;

    // Test hook: runs on the render thread while the two threads of the compression step are running.
    void setBetweenThreadsHook(std::function<void()> hook) { hook_ = std::move(hook); }

private:
    ToneCurve curve_;
    ColorModSettings settings_;
    std::function<void()> hook_;
};

} // namespace lumora
