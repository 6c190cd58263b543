#pragma once
// Operator 2 (LC_Model): brightness (the largest channel) is compressed globally by a power adapted to the
// image's mean log brightness, then in the log domain by a sigmoid weight of itself; colour ratios are put
// back.

#include "tonemap/OperatorParams.h"
#include "tonemap/ToneMappingBase.h"

namespace lumora {

// Weight of each brightness value lum (0..255): 1 - sigmoid((lum / 255 - mid) * slope), rescaled to [0, 1].
// Values outside 0..255 are reported in the event log and used anyway.
cv::Mat sigmFac(const cv::Mat& lum, int slope, int mid, int workers = 1);

// (img - min) * (hi - lo) / max(img - min) + lo. A flat image is reported in the event log and gives all
// zeros.
cv::Mat scaleImage(const cv::Mat& img, float lo, float hi, int workers = 1);

class LC_Model : public ToneMappingBase {
public:
    LC_Model() = default;
    // params: alpha (floor of 100 V' in the log step), beta (sigmoid slope), gamma (sigmoid midpoint); beta
    // and gamma are truncated to integers.
    cv::Mat& toneMap(cv::Mat& output, const cv::Mat& input, const float* params) override;
    // The tone-mapped image; empty when the run was asked to end.
    cv::Mat apply(const cv::Mat& input, const LocalContrastParams& params);
};

} // namespace lumora
