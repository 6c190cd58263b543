#pragma once
// The arithmetic of a frame sequence that needs no stream: frame rate rule, duration and time labels,
// playback pacing and the display brightness gain. Kept free of state so every rule can be checked on its
// own.

#include <opencv2/core.hpp>

#include <string>

namespace lumora {

// The container's frame rate, or 25 when it is below 10 or above 150 (missing or implausible rates).
float sequenceFps(double reportedFps);

// Seconds from the first to the last frame: (frameCount - 1) / fps; 0 for fewer than two frames.
float sequenceDuration(int frameCount, float fps);

// "%02d:%02d" of whole minutes and whole seconds (both truncated).
std::string clockText(float seconds);

// Time of frame `index` of a video: index * duration / (frameCount - 1), as clockText.
std::string videoPositionText(int index, int frameCount, float duration);

// "index+1/frameCount" for a burst.
std::string burstPositionText(int index, int frameCount);

// Player step interval in seconds for a speed slider level: 1.65 / fps at level 0, four times slower per
// 4 levels below zero, faster above.
float frameIntervalForSpeed(int level, float fps);

// 2^(step/3): each step is a third of a photographic stop.
float brightnessGain(int step);

// `frame` scaled by brightnessGain(step), saturated to the frame's depth; a new matrix.
cv::Mat applyBrightness(const cv::Mat& frame, int step);

// What a paced step does before showing its frame.
struct PaceStep {
    double sleepSeconds = 0.0; // wait this long first (0: no wait)
    int skip = 0;              // drop this many frames to catch up
};

// The pacing rule: wait out the rest of the interval; when a step comes late by whole intervals but within
// 0.1 s of the previous one (playback, not a click after a pause), skip the frames missed.
PaceStep paceStep(double frameInterval, double elapsedSeconds);

} // namespace lumora
