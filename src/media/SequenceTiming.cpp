#include "media/SequenceTiming.h"

#include <cmath>
#include <cstdio>

namespace lumora {

namespace {
constexpr float kDefaultFps = 25.0f;
constexpr double kMinFps = 10.0;
constexpr double kMaxFps = 150.0;
// The player's nominal rate is fps / 1.65: frames are shown a little slower than recorded.
constexpr float kPaceFactor = 1.65f;
constexpr double kCatchUpWindow = 0.1;
} // namespace

float sequenceFps(double reportedFps) {
    if (!(reportedFps >= kMinFps) || reportedFps > kMaxFps)
        return kDefaultFps;
    return static_cast<float>(reportedFps);
}

float sequenceDuration(int frameCount, float fps) {
    if (frameCount < 2 || fps <= 0.0f)
        return 0.0f;
    return static_cast<float>(frameCount - 1) / fps;
}

std::string clockText(float seconds) {
    if (!(seconds > 0.0f))
        seconds = 0.0f;
    const int minutes = static_cast<int>(std::floor(seconds / 60.0f));
    const int rest = static_cast<int>(std::floor(seconds - 60.0f * static_cast<float>(minutes)));
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes, rest);
    return text;
}

std::string videoPositionText(int index, int frameCount, float duration) {
    const float t =
        frameCount > 1 ? static_cast<float>(index) * duration / static_cast<float>(frameCount - 1) : 0.0f;
    return clockText(t);
}

std::string burstPositionText(int index, int frameCount) {
    return std::to_string(index + 1) + "/" + std::to_string(frameCount);
}

float frameIntervalForSpeed(int level, float fps) {
    if (level < 0)
        return static_cast<float>(4 - level) * kPaceFactor * 0.25f / fps;
    if (level == 0)
        return kPaceFactor / fps;
    return 4.0f * kPaceFactor / (static_cast<float>(level + 4) * fps);
}

float brightnessGain(int step) {
    return std::pow(2.0f, static_cast<float>(step) / 3.0f);
}

cv::Mat applyBrightness(const cv::Mat& frame, int step) {
    cv::Mat out;
    if (!frame.empty())
        frame.convertTo(out, -1, brightnessGain(step));
    return out;
}

PaceStep paceStep(double frameInterval, double elapsedSeconds) {
    PaceStep step;
    const double wait = frameInterval - elapsedSeconds;
    if (wait > 0.0)
        step.sleepSeconds = wait;
    else if (elapsedSeconds < kCatchUpWindow && frameInterval > 0.0)
        step.skip = static_cast<int>(-wait / frameInterval);
    return step;
}

} // namespace lumora
