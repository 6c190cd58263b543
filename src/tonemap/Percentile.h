#pragma once
// Percentiles of a set of samples: of n sorted values, value i sits at 100 * (i + 0.5) / n; between two such
// positions the percentile is interpolated linearly, beyond the ends it is the first or last value.

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace lumora {

// Percentile p (0..100) of `values`; no result for p outside [0, 100] or no values. Reorders `values`.
std::optional<double> percentile(std::vector<float>& values, double p);

// Percentile p of the finite samples of a one-channel float image.
std::optional<double> imagePercentile(const cv::Mat& image, double p);

} // namespace lumora
