#pragma once
// The quality of every frame of a clip, for the strip under the timeline: how sharp each frame is (the
// program's own measure) and how much it moves against the frame before it. Computed on small copies, from a
// decoder of its own, so that it can run beside the player without waiting for the player's reads.
//
// Motion of frame k, from grey copies of frames k-1 and k scaled to `motionWidth` pixels wide:
//   shift    = length of the translation that phase correlation finds between the two copies, in percent of
//              the frame's width (camera shake and pans);
//   residual = mean absolute grey difference (0..255) left between frame k and frame k-1 moved by that
//              translation, over the part both cover (things moving in the scene, and blur changes).
// Frame 0 has no frame before it and takes the figures of frame 1.

#include "app/RunControl.h"

#include <opencv2/core.hpp>

#include <functional>
#include <string>
#include <vector>

namespace lumora {

struct FrameQuality {
    float sharpness = 0.f; // sharpness() of the frame scaled to analysisWidth; larger is sharper
    float shift = 0.f;     // percent of the frame's width
    float residual = 0.f;  // grey levels
    bool read = false;     // false when the frame could not be decoded (its figures are 0)
};

struct FrameQualityOptions {
    int analysisWidth = 640; // frames wider than this are scaled down before the sharpness measure
    int motionWidth = 160;   // width of the grey copies compared for motion
    int workers = 1;         // threads for the per-frame work (decoding stays on one)
    int batch = 8;           // frames decoded at a time between progress and cancel checks
};

struct FrameQualityStrip {
    std::vector<FrameQuality> frames; // one per frame of the clip, in order
    RunOutcome outcome = RunOutcome::Failed;
    std::string error; // why it failed
};

// The figures of `frameCount` frames read by `readFrames(first, last)` (inclusive, in order; empty matrices
// for frames that cannot be read). Ends early, with outcome Canceled or Stopped and the frames done so far,
// when `run` asks.
FrameQualityStrip computeFrameQuality(int frameCount,
                                      const std::function<std::vector<cv::Mat>(int, int)>& readFrames,
                                      const FrameQualityOptions& options, RunControl& run);

// The same for a video (one path) or a burst (its photos), opened here with a decoder of its own.
FrameQualityStrip computeFrameQuality(const std::vector<std::string>& media,
                                      const FrameQualityOptions& options, RunControl& run);

// Frames sharper than every other readable frame within `radius` frames on each side (the first of equal
// ones): the sharpest moments, in increasing order.
std::vector<int> sharpestMoments(const std::vector<FrameQuality>& frames, int radius);

// The sharpest readable frame within `radius` frames of `index` (the nearest of equal ones); `index` when
// none is readable.
int sharpestNear(const std::vector<FrameQuality>& frames, int index, int radius);

} // namespace lumora
