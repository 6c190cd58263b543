#pragma once
// The local Laplacian filter of a one-channel float image: every coefficient of the output's Laplacian
// pyramid comes from the input's neighbourhood remapped around that coefficient's Gaussian-pyramid value.
// Exact per-coefficient form, spread over threads by interleaved coefficient rows.

#include "app/RunControl.h"

#include <opencv2/core.hpp>

namespace lumora {

struct LapFilterParams {
    float alpha = 1.f;  // detail exponent (< 1 enhances details)
    float beta = 1.f;   // edge compression (< 1 compresses)
    float sigmaR = 1.f; // detail/edge threshold, in the units of the image
    float noiseLevel = 0.01f;
};

struct LapFilterOptions {
    int threads = 0;       // 0: the interactive worker count
    bool allowSimd = true; // false forces the portable inner loop
    bool allowWide = true; // false keeps the vector loop to 8 lanes
};

// Filters `image` (CV_32FC1). Returns an empty matrix when `control` asks to end (or a thread's share failed,
// which the event log records). Advances the progress from 0 to 100 with the work done.
cv::Mat lapfilterCore(const cv::Mat& image, const LapFilterParams& params, RunControl& control,
                      const LapFilterOptions& options = {});

} // namespace lumora
