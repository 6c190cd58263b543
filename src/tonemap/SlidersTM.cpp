#include "tonemap/SlidersTM.h"

namespace lumora {

SlidersTM::SlidersTM()
    : curve_(/*blacks*/ 0.25f, /*whites*/ 0.f, /*highlights*/ -0.5f, /*shadows*/ 0.5f),
      settings_(colorModSettings(exposureTermsFor(-0.15f), /*contrast*/ 1.2333333f, /*hue*/ 0.f,
                                 /*saturation*/ 1.f, /*vibrance*/ 0.7f)) {}

cv::Mat& SlidersTM::toneMap(cv::Mat& output, const cv::Mat& input, const float* /*params*/) {
    control_.setProgress(0);
    cv::Mat in;
    input.convertTo(in, CV_32F); // a private copy, whatever the input's depth
    output = applyColorModifications(curve_, in, settings_, workers());
    control_.setProgress(100);
    return output;
}

} // namespace lumora
