#pragma once
// Percentiles of a set of samples: of n sorted values, value i sits at 100 * (i + 0.5) / n; between two such
// positions the percentile is interpolated linearly, beyond the ends it is the first or last value.

#include <opencv2/core.hpp>

#include <optional>
#include <utility>
#include <vector>

namespace lumora {

// Percentile p (0..100) of `values`; no result for p outside [0, 100] or no values. Reorders `values`.
std::optional<double> percentile(std::vector<float>& values, double p);

// Percentile p of the finite samples of a one-channel float image.
std::optional<double> imagePercentile(const cv::Mat& image, double p);

// Percentiles `low` and `high` (low <= high) of the finite samples of a one-channel float image, each the
// value imagePercentile gives, from one copy of the samples: the low one is looked for only among those
// below the high one.
std::optional<std::pair<double, double>> imagePercentileRange(const cv::Mat& image, double low, double high);

} // namespace lumora
