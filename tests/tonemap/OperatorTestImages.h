#pragma once
// Images for the operator tests and benchmarks: a light image made the way stacking makes one (a 16-bit frame
// of the generated burst, linearised with the power 2.2 and scaled so its largest sample is 1), and small
// synthetic pictures with known values.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace lumora::test {

// The light image of a 16-bit frame file, resized to `rows` rows when rows > 0. Empty when unreadable.
cv::Mat lightImageFromFrame(const std::string& path, int rows = 0);

// A grey 3-channel float image whose pixels cycle through `levels` row by row.
cv::Mat greyLevels(const std::vector<float>& levels, int rows, int cols);

} // namespace lumora::test
