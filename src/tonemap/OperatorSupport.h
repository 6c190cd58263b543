#pragma once
// Small helpers shared by the operators of indices 1, 2 and 4.

#include <opencv2/core.hpp>

namespace lumora {

// The image as 3-channel 32-bit float (grey images repeated over the channels, a fourth channel dropped);
// empty for an empty input or an unsupported channel count. Always a fresh matrix.
cv::Mat toFloat3(const cv::Mat& image);

} // namespace lumora
