#pragma once
// Where a frame disagrees with the chosen frame by more than the ghost tolerance: the mask the anti-ghosting
// composite starts from, and the 8-bit copies that block matching compares.

#include <opencv2/core.hpp>

#include <vector>

namespace lumora {

// Value range R of the tolerance table: 255, 65535, or the chosen float frame's largest element.
float ghostValueRange(const cv::Mat& chosen);

// table[0] = tolerance/100, each further entry 0.035/R larger (all float); all zeros when tolerance <= 0.
// A difference |v - a| is a ghost when it exceeds R * table[trunc(v)].
std::vector<float> buildToleranceTable(float ghostTolerance, float range, size_t length);
// Entries needed for a chosen frame of this depth and range: 256, 65536 or trunc(range) + 1.
size_t toleranceTableLength(int depth, float range);

// 255 where any channel of `aligned` differs from `chosen` beyond the tolerance, else 0, before clean-up.
// Returns whether any pixel was marked. Rows are shared among `threads` threads.
bool detectGhosts(const cv::Mat& chosen, const cv::Mat& aligned, const std::vector<float>& table, float range,
                  cv::Mat& mask, int threads = 1);
// Removes isolated marks (3x3 erosion) and grows what is left (9x9 dilation).
void cleanGhostMask(cv::Mat& mask);

// 8-bit copy for block matching: 8-bit frames as they are (shared), 16-bit scaled by 255/65535, float frames
// by 255 / their own largest element; truncated.
cv::Mat matchingCopy(const cv::Mat& frame);

} // namespace lumora
