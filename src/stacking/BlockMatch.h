#pragma once
// Block matching for the anti-ghosting composite and the motion estimate: where, inside a search window of
// another image, a square neighbourhood of the reference image fits best by the sum of squared differences
// (all channels). Sums are exact integers, and among equal sums the first in row-major order of the search
// window wins, so results do not depend on rounding or on how the work is split.

#include "app/RunControl.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace lumora {

// The template and the displacements one match may take.
struct MatchQuery {
    int x0 = 0, y0 = 0;        // template top-left in the reference image
    int dxMin = 0, dxMax = -1; // allowed displacements, inclusive; empty when max < min
    int dyMin = 0, dyMax = -1;
    bool valid() const { return dxMax >= dxMin && dyMax >= dyMin; }
};

struct BlockMatch {
    int dy = 0, dx = 0;
    std::int64_t ssd = -1; // -1: no position to compare (the search window is smaller than the template)
    // Set by the fast search only: even the best position differs far more than noise explains, so the
    // chosen frame's own pixels are kept there.
    bool keepChosen = false;
    bool found() const { return ssd >= 0; }
};

// Which of several displacements with the same smallest sum wins.
enum class TieRule {
    FirstInScanOrder, // the first in row-major order of the window (lowest dy, then lowest dx)
    NearestToZero,    // the smallest dx² + dy², then the first in scan order: where nothing tells places
                      // apart, nothing is moved
};

// Geometry of a match centred at (row, col): template of side 2h+1 whose top-left is (col-h, row-h) moved
// inside `ref` (never touching its last row or column), search window [col-S, col+S] x [row-S, row+S] clipped
// to `other` without its last row and column.
MatchQuery matchQueryAt(cv::Size ref, cv::Size other, int row, int col, int halfTemplate, int searchRadius);

// One match, scanned directly with early exit. `ref` and `other` are 8-bit images with the same channel
// count.
BlockMatch matchBlock(const cv::Mat& ref, const cv::Mat& other, int row, int col, int halfTemplate,
                      int searchRadius);
BlockMatch matchQuery(const cv::Mat& ref, const cv::Mat& other, const MatchQuery& q, int side,
                      TieRule tie = TieRule::FirstInScanOrder);

// Exactly what matchQuery gives (first minimum in scan order), found faster when a good match is expected
// near `seed`: that displacement is measured first, and a position whose lower bound from block sums per
// channel ((template sum - window sum)² / pixels, summed over channels) already exceeds the best sum is
// skipped. `otherSums` is cv::integral(other) with 32-bit sums.
BlockMatch matchQuerySeeded(const cv::Mat& ref, const cv::Mat& other, const cv::Mat& otherSums,
                            const MatchQuery& q, int side, cv::Point seed);

// The images as matchQueries works on them (1 or 4 bytes per pixel; colour padded with a zero channel).
// Passing them already packed saves the conversion when many calls share the images.
cv::Mat packForMatching(const cv::Mat& image);

// Many matches with a common template side at once, sharing the squared differences of overlapping templates:
// results[i] is exactly what matchQuery gives for queries[i]. Returns false when `run` was asked to end
// (results then incomplete).
bool matchQueries(const cv::Mat& ref, const cv::Mat& other, int side, const std::vector<MatchQuery>& queries,
                  std::vector<BlockMatch>& results, const RunControl* run = nullptr,
                  TieRule tie = TieRule::FirstInScanOrder);

} // namespace lumora
