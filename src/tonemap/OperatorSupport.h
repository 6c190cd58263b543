#pragma once
// Small helpers shared by the operators of indices 1, 2 and 4.

#include <opencv2/core.hpp>

namespace lumora {

// The image as 3-channel 32-bit float (grey images repeated over the channels, a fourth channel dropped);
// empty for an empty input or an unsupported channel count. A 3-channel float input comes back itself, not
// copied: callers only read the result.
cv::Mat toFloat3(const cv::Mat& image);

} // namespace lumora
