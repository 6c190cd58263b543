#pragma once
// Automatic reach of the anti-ghosting block matching: how far things moved between the chosen frame and a
// frame, measured on corners of the chosen frame inside the ghost areas (dense optical flow, confirmed by
// block matching) and turned into a search radius with a margin. Works on a copy of at most 1024 pixels per
// side.

#include "app/RunControl.h"

#include <opencv2/core.hpp>

namespace lumora {

class GhostingPowerEstimator {
public:
    // Forgets the corners found so far (a new run, or a new chosen frame).
    void reset() { featureMap_.release(); }

    // Search radius in pixels of the full frame for one frame.
    // chosen: the chosen frame at full resolution and its own depth; chosenSmall: its 8-bit copy scaled to at
    // most 1024 pixels per side; alignedRef: the 8-bit copy of the aligned frame (full size); ghostMask:
    // 8-bit, full size, non-zero where ghosts are. Returns 17 when no corner lies in the ghost areas (the
    // corners are then looked for again next time), and -1 when `run` was asked to end on the way. OpenCV
    // errors propagate as exceptions.
    int estimate(const cv::Mat& chosen, const cv::Mat& chosenSmall, const cv::Mat& alignedRef,
                 const cv::Mat& ghostMask, const RunControl* run = nullptr);

    // 255 at the corners used, 0 elsewhere; empty until corners were found.
    const cv::Mat& featureMap() const { return featureMap_; }

    // The radius rule: median squared displacement (on the small copy) to a radius in full-frame pixels.
    static int radiusFromMedian(float medianSquared, int fullWidth, int smallWidth);
    // The largest radius estimate() can return for a frame of `full` pixels and its small copy of `small`:
    // the confirming search reaches a sixth of the small copy's larger side.
    static int largestRadius(cv::Size full, cv::Size small);
    // Texture threshold of the confirming patches for a frame depth (0.0225 of the value range).
    static double textureThreshold(int depth);

private:
    bool findFeatures(const cv::Mat& chosenSmall, const cv::Mat& smallMask);

    cv::Mat featureMap_;
};

} // namespace lumora
