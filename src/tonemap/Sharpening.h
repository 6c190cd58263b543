#pragma once
// The unsharp mask of the render, and the rule that keeps negative and NaN samples out of the later steps.

#include <opencv2/core.hpp>

namespace lumora {

// Sets every negative or NaN sample of a 32-bit float image to 0, in place, on up to `workers` threads.
void zeroNegatives(cv::Mat& image, int workers = 1);

// Returns image * (1 + amount) - gaussian(image, radius x radius) * amount with negatives and NaN cut to 0
// before and after; with `apply` false only the cut. A radius of 1 or an amount of 0 leaves the samples as
// they are. The result never shares data with `image`. `scale` < 1 sharpens a copy of the picture shrunk by
// that factor (a preview) as the full-size picture is sharpened: the Gaussian's width shrinks with it.
cv::Mat sharpenImage(const cv::Mat& image, bool apply, float amount, int radius, int workers = 1,
                     double scale = 1.0);

} // namespace lumora
