#include "tonemap/Percentile.h"

#include "app/OrderStatistics.h"

#include <algorithm>
#include <cmath>

namespace lumora {

std::optional<double> percentile(std::vector<float>& values, double p) {
    if (!(p >= 0.0 && p <= 100.0) || values.empty())
        return std::nullopt;
    const size_t n = values.size();
    const double pos = p * static_cast<double>(n) / 100.0 - 0.5; // index whose position is p
    if (pos <= 0.0)
        return static_cast<double>(*std::min_element(values.begin(), values.end()));
    if (pos >= static_cast<double>(n - 1))
        return static_cast<double>(*std::max_element(values.begin(), values.end()));
    const size_t i = static_cast<size_t>(std::floor(pos));
    const double f = pos - static_cast<double>(i);
    // Only the two order statistics around pos are needed, not a full sort.
    const double a = kthSmallest(values, i);
    const double b = *std::min_element(values.begin() + static_cast<std::ptrdiff_t>(i) + 1, values.end());
    return a + (b - a) * f;
}

std::optional<double> imagePercentile(const cv::Mat& image, double p) {
    CV_Assert(image.type() == CV_32FC1);
    std::vector<float> values;
    values.reserve(image.total());
    for (int y = 0; y < image.rows; ++y) {
        const float* row = image.ptr<float>(y);
        for (int x = 0; x < image.cols; ++x)
            if (std::isfinite(row[x]))
                values.push_back(row[x]);
    }
    return percentile(values, p);
}

} // namespace lumora
