#pragma once
// The block search that scales: templates whose difference from the chosen frame is what the frame's own
// noise explains keep their place without a search; the others are searched coarse to fine, over the whole
// window on small copies of both images, then a few pixels around the answer at each finer scale.
//
// What it does, where it differs from the exhaustive search:
// - Flat or merely noisy areas are not moved: they pass the noise gate, and among equal sums the displacement
//   nearest to zero wins (then the first in row-major order), where the exhaustive search takes the first in
//   row-major order, generally far from zero.
// - Borders: every displacement lies in the window the exhaustive search scans (matchQueryAt), so a block is
//   never taken from outside that window or from outside the frame.
// - A window reaching at most 8 pixels is searched whole at full resolution: the exhaustive answer but for
//   the tie rule. Wider windows start on a copy of a half to a sixteenth of the size and may end in a local
//   minimum; the zero displacement always competes at full resolution. Things that moved are followed when
//   they have structure at the coarse scale (tens of pixels); fine texture alone is followed 8 pixels far.
// - Where even the best position differs far more than noise explains (the thing moved out of reach, or the
//   frame hides what the chosen frame shows), the match says so (keepChosen) and the composite keeps the
//   chosen frame's pixels instead of the best of bad matches.

#include "app/RunControl.h"
#include "stacking/BlockMatch.h"
#include "stacking/StackingParams.h"

#include <opencv2/core.hpp>

#include <vector>

namespace lumora {

class FastBlockSearch {
public:
    // Images as packForMatching gives them (8-bit, 1 or 4 channels), `channels` of them real (1 or 3).
    // The chosen frame's scales are kept for every frame of the run.
    void setChosen(const cv::Mat& chosenPacked, int channels);
    // The frame searched next, and whether blocks within the noise are left in place (the gate).
    void setFrame(const cv::Mat& alignedPacked, bool gate = true);

    // Same contract as matchQueries for templates of side 2·8 + 1 = 17 (results[i] answers queries[i]),
    // except that a block the gate leaves in place reports a sum of 0: it was not measured at full
    // resolution. May run on several threads at once for the same frame. False when `run` was asked to end.
    bool match(const std::vector<MatchQuery>& queries, std::vector<BlockMatch>& results,
               const RunControl* run = nullptr) const;

    // Whether the gate leaves the query's template in place: at the zero displacement it differs from the
    // frame no more than the frame's noise explains.
    bool isStill(const MatchQuery& q) const;

private:
    // A match that differs far more than the frame's noise explains and by a large share of the template's
    // own variation: the frame has nothing like the chosen frame's neighbourhood within reach.
    bool unmatched(const BlockMatch& m, const MatchQuery& q) const;
    int gateSide() const;
    // Squared deviation from its mean of the chosen frame's gate-scale template at (x, y), all channels.
    double structure(int x, int y) const;

    std::vector<cv::Mat> chosen_, aligned_; // [0] full resolution, then halved
    int channels_ = 3;
    int gateLevel_ = 0;                 // the scale the gate measures at
    cv::Mat difference_;                // integral of the squared difference at the zero displacement there
    cv::Mat chosenSum_, chosenSquares_; // integrals of the chosen frame and of its squares there
    double staticLimit_ = -1.0;
    double unmatchedLimit_ = -1.0;
};

} // namespace lumora
