// Rules of a frame sequence that need no medium: frame rate, durations and labels, speed, brightness, pacing.

#include "media/SequenceTiming.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace lumora;

TEST(SequenceTiming, ImplausibleFrameRatesBecome25) {
    for (double fps : {5.0, 9.99, 150.01, 200.0, 0.0, -30.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FLOAT_EQ(sequenceFps(fps), 25.0f) << fps;
    for (double fps : {10.0, 150.0, 29.97, 60.0}) // the limits themselves and ordinary rates are kept
        EXPECT_FLOAT_EQ(sequenceFps(fps), float(fps)) << fps;
}

TEST(SequenceTiming, LabelsTruncateMinutesAndSeconds) {
    // 751 frames at 25 fps: 750 intervals of 40 ms.
    const float duration = sequenceDuration(751, 25.0f);
    EXPECT_FLOAT_EQ(duration, 30.0f);
    EXPECT_EQ(videoPositionText(375, 751, duration), "00:15");
    EXPECT_EQ(videoPositionText(750, 751, duration), "00:30");
    EXPECT_EQ(videoPositionText(374, 751, duration), "00:14"); // 14.96 s
    const std::pair<float, const char*> clocks[] = {{0.f, "00:00"},
                                                    {59.999f, "00:59"},
                                                    {60.f, "01:00"},
                                                    {61.5f, "01:01"},
                                                    {3599.9f, "59:59"},
                                                    {6000.f, "100:00"},
                                                    {sequenceDuration(216001, 30.0f), "120:00"}};
    for (const auto& [seconds, text] : clocks)
        EXPECT_EQ(clockText(seconds), text) << seconds;
    // Short sequences do not divide by zero.
    EXPECT_FLOAT_EQ(sequenceDuration(1, 25.0f), 0.0f);
    EXPECT_FLOAT_EQ(sequenceDuration(0, 25.0f), 0.0f);
    EXPECT_EQ(videoPositionText(0, 1, 0.0f), "00:00");
    EXPECT_EQ(burstPositionText(0, 1), "1/1");
    EXPECT_EQ(burstPositionText(8, 9), "9/9");
}

TEST(SequenceTiming, ThreeBrightnessStepsDoubleOrHalveAndSaturate) {
    EXPECT_FLOAT_EQ(brightnessGain(0), 1.0f);
    EXPECT_FLOAT_EQ(brightnessGain(3), 2.0f);
    EXPECT_FLOAT_EQ(brightnessGain(-3), 0.5f);
    EXPECT_FLOAT_EQ(brightnessGain(6), 4.0f);
    EXPECT_NEAR(brightnessGain(1), std::cbrt(2.0f), 1e-6);

    cv::Mat frame8(1, 4, CV_8UC3);
    frame8.at<cv::Vec3b>(0, 0) = {0, 1, 2};
    frame8.at<cv::Vec3b>(0, 1) = {100, 127, 128};
    frame8.at<cv::Vec3b>(0, 2) = {200, 250, 255};
    frame8.at<cv::Vec3b>(0, 3) = {10, 20, 30};
    const cv::Mat brighter = applyBrightness(frame8, 3);
    ASSERT_EQ(brighter.type(), CV_8UC3);
    EXPECT_EQ(brighter.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 2, 4));
    EXPECT_EQ(brighter.at<cv::Vec3b>(0, 1), cv::Vec3b(200, 254, 255)); // 256 saturates
    EXPECT_EQ(brighter.at<cv::Vec3b>(0, 2), cv::Vec3b(255, 255, 255));
    const cv::Mat darker = applyBrightness(frame8, -3);
    EXPECT_EQ(darker.at<cv::Vec3b>(0, 3), cv::Vec3b(5, 10, 15));
    EXPECT_EQ(darker.at<cv::Vec3b>(0, 2), cv::Vec3b(100, 125, 128)); // 127.5 rounds to even
    EXPECT_EQ(frame8.at<cv::Vec3b>(0, 1), cv::Vec3b(100, 127, 128)) << "the source is never changed";

    cv::Mat frame16(1, 2, CV_16UC3);
    frame16.at<cv::Vec3w>(0, 0) = {1000, 30000, 40000};
    frame16.at<cv::Vec3w>(0, 1) = {65535, 2, 0};
    const cv::Mat brighter16 = applyBrightness(frame16, 3);
    ASSERT_EQ(brighter16.type(), CV_16UC3);
    EXPECT_EQ(brighter16.at<cv::Vec3w>(0, 0), cv::Vec3w(2000, 60000, 65535));
    EXPECT_EQ(brighter16.at<cv::Vec3w>(0, 1), cv::Vec3w(65535, 4, 0));
    EXPECT_TRUE(applyBrightness(cv::Mat(), 3).empty());
}

TEST(SequenceTiming, PacingWaitsOutTheIntervalAndSkipsOnlyDuringPlayback) {
    struct Case {
        double interval, elapsed, sleep;
        int skip;
    };
    const Case cases[] = {
        {0.066, 0.016, 0.05, 0}, {0.066, 0.0, 0.066, 0}, // early: wait out the rest
        {0.04, 0.095, 0.0, 1},   {0.02, 0.099, 0.0, 3},  // late by whole intervals: skip them
        {0.04, 0.07, 0.0, 0},                            // late by less than an interval
        {0.02, 0.1, 0.0, 0},     {0.02, 5.0, 0.0, 0},    // a click after a pause, not playback running late
    };
    for (const Case& c : cases) {
        const PaceStep step = paceStep(c.interval, c.elapsed);
        EXPECT_NEAR(step.sleepSeconds, c.sleep, 1e-12) << c.interval << " " << c.elapsed;
        EXPECT_EQ(step.skip, c.skip) << c.interval << " " << c.elapsed;
    }
}

} // namespace
