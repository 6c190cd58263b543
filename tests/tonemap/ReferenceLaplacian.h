#pragma once
// A deliberately plain local Laplacian filter for checking the engine's: whole-image pyramids written from
// the definition, and for every coefficient the whole image remapped around it and its full pyramid built.
// Double precision throughout; only for tiny images.

#include <opencv2/core.hpp>

#include <vector>

namespace lumora::test {

using Plane = cv::Mat_<double>;

struct ReferenceParams {
    double alpha = 1.0, beta = 1.0, sigmaR = 1.0, noiseLevel = 0.01;
};

double referenceRemap(double value, double g0, const ReferenceParams& p);

std::vector<Plane> referenceGaussian(const Plane& image);
std::vector<Plane> referenceLaplacian(const Plane& image);
Plane referenceCollapse(const std::vector<Plane>& laplacian);

// The filter on a one-channel image (log-domain values in, filtered values out).
Plane referenceLapFilter(const Plane& image, const ReferenceParams& p);

// The whole operator on a BGR (or one-channel) image: luminance, ratios, log domain, filter, range fitting,
// clamping and the display power.
cv::Mat referenceToneMap(const cv::Mat& bgr, double alpha, double beta);

// Percentile by the textbook rule: fully sorted, value i at 100 (i + 0.5) / n.
double referencePercentile(std::vector<double> values, double p);

} // namespace lumora::test
