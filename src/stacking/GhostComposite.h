#pragma once
// The anti-ghosting composite of one frame: where the aligned frame agrees with the chosen frame its own
// pixels are kept; where it does not (a ghost), each block takes its pixels from the place in the aligned
// frame that best matches the chosen frame's neighbourhood, so moving things stay where the chosen frame has
// them.

#include "app/RunControl.h"
#include "app/Status.h"
#include "stacking/FastBlockSearch.h"
#include "stacking/GhostingPower.h"
#include "stacking/StackingParams.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace lumora {

struct CompositeSettings {
    int searchRadius = 17;      // pixels; -1 (or less) = estimate per frame
    float ghostTolerance = 0.f; // 0..100
    int blockSize = 5;          // forced odd and at least 1
    BlockSearch search = BlockSearch::Exhaustive;
    int threadCount = 1; // threads besides the calling one for the inner blocks and the margin
};

// How a composite ended, as every long run reports: the image when Finished, the reason when Failed.
struct CompositeResult {
    RunOutcome outcome = RunOutcome::Failed;
    cv::Mat image;
    std::string reason;
};

class GhostCompositor {
public:
    // Forgets what was kept from the previous run's chosen frame (references, tolerance table, corners).
    void reset();

    // Builds the composite of `aligned` against `chosen` (same size and type, 8-bit, 16-bit or float).
    // A cancel or stop request of `run` interrupts it (Canceled or Stopped: the frame is not merged); its
    // progress follows the inner blocks. Failed: the frames do not fit, or the automatic radius or a worker
    // failed (logged).
    CompositeResult compose(const cv::Mat& chosen, const cv::Mat& aligned, const CompositeSettings& settings,
                            RunControl& run);

    // The cleaned ghost mask of the last frame (0 or 255; 120 where the margin pass propagated a match).
    const cv::Mat& ghostMask() const { return mask_; }
    bool ghostsFound() const { return ghostsFound_; }
    // The radius the last frame used (after estimation).
    int lastSearchRadius() const { return lastRadius_; }
    // Time the last frame's motion estimate took (0 without one).
    double lastEstimateSeconds() const { return lastEstimateSeconds_; }
    // 255 where the last composite took its pixel from a non-zero displacement, else 0.
    const cv::Mat& displacedMask() const { return displaced_; }

private:
    void prepareRun(const cv::Mat& chosen);
    // Writes the composite's pixel (r, c) from the block's match.
    void take(const cv::Mat& aligned, cv::Mat& composite, int r, int c, const BlockMatch& m);
    bool search(const std::vector<MatchQuery>& queries, const cv::Mat& alignedPacked,
                std::vector<BlockMatch>& results, const RunControl& run) const;
    Status composeBlocks(const cv::Mat& aligned, const cv::Mat& alignedRef, cv::Mat& composite, int radius,
                         int block, int threads, RunControl& run);
    void composeMargin(const cv::Mat& aligned, const cv::Mat& alignedRef, const cv::Mat& alignedPacked,
                       cv::Mat& composite, int radius, const RunControl& run);

    cv::Mat chosenKey_; // the chosen frame the cached state belongs to (shares its pixels)
    cv::Mat chosenRef_, chosenSmall_, chosenPacked_;
    std::vector<float> table_;
    float range_ = 0.f;
    float tableTolerance_ = -1.f;
    GhostingPowerEstimator estimator_;
    FastBlockSearch fast_;
    BlockSearch search_ = BlockSearch::Exhaustive;
    cv::Mat mask_;
    cv::Mat displaced_;
    bool ghostsFound_ = false;
    int lastRadius_ = 0;
    double lastEstimateSeconds_ = 0.0;
};

} // namespace lumora
