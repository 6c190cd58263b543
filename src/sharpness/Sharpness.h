#pragma once
// How sharp a frame is, and the search for frames near a position that are sharper than the frame there:
// the variance of the Laplacian of the first channel, larger is sharper.

#include "app/RunControl.h"

#include <opencv2/core.hpp>

#include <functional>
#include <set>
#include <string>
#include <utility>

namespace lumora {

// Variance of the 3x3 Laplacian (reflected borders) of the first channel (blue for BGR frames); 0 for an
// empty frame.
float sharpness(const cv::Mat& frame);

// Orders (sharpness, frame index) pairs sharpest first; pairs of equal sharpness count as one.
struct MyPairComp {
    bool operator()(const std::pair<float, int>& a, const std::pair<float, int>& b) const {
        return a.first > b.first;
    }
};
using SharpestCandidates = std::set<std::pair<float, int>, MyPairComp>;

struct SharpestSearchRequest {
    cv::Mat centre; // the centre frame as the caller already has it
    int centreIndex = 0;
    int frameCount = 0; // frames in the sequence
    int radius = 0;     // frames examined on each side
};

// Fills `candidates` with the centre pair and every examined frame strictly sharper than the centre,
// examining indices max(0, centre - radius) .. min(centre + radius, frameCount - 1) - 1 in ascending order
// (the last one is not examined). The progress of `run` goes 0..100. Returns false, with what was found so
// far, when `run` was asked to end (cancel or stop).
bool searchSharpest(const SharpestSearchRequest& request, const std::function<cv::Mat(int)>& readFrame,
                    SharpestCandidates& candidates, RunControl& run);

// A search's result by value: Finished with the candidates, Canceled (when `run` was asked to end; nothing
// kept) or Failed (the reason is in the event log and here).
struct SharpestSearchResult {
    RunOutcome outcome = RunOutcome::Failed;
    SharpestCandidates candidates;
    std::string reason;
};

// searchSharpest as one plain call, for whoever runs it off its own thread. Never throws. A request made on
// `run` before the call is honoured.
SharpestSearchResult findSharpest(const SharpestSearchRequest& request,
                                  const std::function<cv::Mat(int)>& readFrame, RunControl& run);

} // namespace lumora
