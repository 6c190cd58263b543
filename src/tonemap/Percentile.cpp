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

namespace {

std::vector<float> finiteSamples(const cv::Mat& image) {
    CV_Assert(image.type() == CV_32FC1);
    std::vector<float> values;
    values.reserve(image.total());
    for (int y = 0; y < image.rows; ++y) {
        const float* row = image.ptr<float>(y);
        for (int x = 0; x < image.cols; ++x)
            if (std::isfinite(row[x]))
                values.push_back(row[x]);
    }
    return values;
}

} // namespace

std::optional<double> imagePercentile(const cv::Mat& image, double p) {
    std::vector<float> values = finiteSamples(image);
    return percentile(values, p);
}

std::optional<std::pair<double, double>> imagePercentileRange(const cv::Mat& image, double low, double high) {
    std::vector<float> values = finiteSamples(image);
    const double n = static_cast<double>(values.size());
    const double lowPos = low * n / 100.0 - 0.5, highPos = high * n / 100.0 - 0.5;
    // The shortcut needs both order statistics of the low percentile strictly below the high one's, which
    // percentile() leaves in front of it; otherwise (tiny images, the ends of the range) each on its own.
    if (!(low >= 0.0 && low <= high && lowPos > 0.0 && highPos < n - 1.0) ||
        std::floor(lowPos) + 1.0 > std::floor(highPos)) {
        std::vector<float> copy = values;
        const std::optional<double> lo = percentile(copy, low), hi = percentile(values, high);
        if (!lo || !hi)
            return std::nullopt;
        return std::pair{*lo, *hi};
    }
    const std::optional<double> hi = percentile(values, high);
    if (!hi)
        return std::nullopt;
    // values[0 .. i] now holds the i + 1 smallest samples, i being the high percentile's lower rank.
    const auto last = values.begin() + static_cast<std::ptrdiff_t>(std::floor(highPos)) + 1;
    const auto i = static_cast<std::ptrdiff_t>(std::floor(lowPos));
    std::nth_element(values.begin(), values.begin() + i, last);
    const double a = values[static_cast<std::size_t>(i)];
    const double b = *std::min_element(values.begin() + i + 1, last);
    return std::pair{a + (b - a) * (lowPos - std::floor(lowPos)), *hi};
}

} // namespace lumora
