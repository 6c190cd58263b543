#pragma once
// The local Laplacian filter in its literal form, as a speed baseline: for every coefficient, the window is
// cut out, remapped sample by sample with std::pow, and its own window-tracking pyramid is built down to the
// next level. One thread, no vectors.

#include <opencv2/core.hpp>

namespace lumora::bench {

cv::Mat literalLapFilter(const cv::Mat& image, float alpha, float beta, float sigmaR, float noiseLevel);

} // namespace lumora::bench
