#pragma once
// One stacking job as a plain call, for whoever runs it off its own thread: how it ended, the light image and
// the frames visited come back by value, with the reason when it failed.

#include "app/RunControl.h"
#include "stacking/StackingEngine.h"
#include "stacking/StackingParams.h"

#include <opencv2/core.hpp>

#include <string>

namespace lumora {

struct StackingResult {
    RunOutcome outcome = RunOutcome::Failed;
    cv::Mat light;      // Finished or Stopped: the light image (empty if it could not be made)
    int frameCount = 0; // Finished or Stopped: the positions visited
    std::string reason; // Failed: why
};

// Runs `engine` on the calling thread under `run` (requests, progress); the sequence in `params` must
// outlive the call. Never throws: an exception becomes a failure with its text.
StackingResult runStacking(StackingEngine& engine, StackingParams params, RunControl& run);

} // namespace lumora
