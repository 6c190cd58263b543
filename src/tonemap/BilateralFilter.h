#pragma once
// Edge-preserving smoothing of one 32-bit float channel: a spatial Gaussian weighted by a Gaussian of the
// value difference. The filter used by the layer operator runs on a coarse grid (position x value) so that a
// 60-pixel spatial sigma costs about as much as a 1-pixel one; the direct sum is kept for checks.

#include <opencv2/core.hpp>

namespace cv_extend {

// Bilateral filter of a single-channel image (converted to 32-bit float) with the given spatial sigma
// (pixels) and range sigma (value units). A multi-channel input raises cv::Exception ("src.channels() == 1").
// Runs on up to `workers` threads with the same result for any count; false when a worker failed (logged),
// leaving dst incomplete.
bool bilateralFilter(cv::InputArray src, cv::OutputArray dst, double sigmaSpace, double sigmaColor,
                     int workers = 1);

// The exact bilateral sum at one pixel, over a window of radius ceil(3 * sigmaSpace) clipped to the image.
float bilateralFilterDirectAt(const cv::Mat& src, int x, int y, double sigmaSpace, double sigmaColor);

} // namespace cv_extend
