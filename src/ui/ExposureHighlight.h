#pragma once
// Marks over- and under-exposed pixels of a displayed 8-bit image: a pixel whose mean of B, G and R (integer
// division) reaches the over limit turns light red (B 150, G 150, R 255); otherwise one at or below the under
// limit turns dark red (B 0, G 0, R 110). Limits are percentages of 255.

#include <opencv2/core.hpp>

namespace lumora {

// `image` is 8-bit with 1 or 3 channels; the result always has 3 channels. Without a flag set, `image` itself
// is returned.
cv::Mat highlightExposure(const cv::Mat& image, bool over, bool under, int overLimitPercent,
                          int underLimitPercent);
// The same on an 8-bit 3-channel image of the caller's, in place (the display's own copy).
void markExposure(cv::Mat& bgr, bool over, bool under, int overLimitPercent, int underLimitPercent);

} // namespace lumora
