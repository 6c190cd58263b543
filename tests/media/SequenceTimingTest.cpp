// Rules of a frame sequence that need no medium: frame rate, durations and labels, speed, brightness, pacing.

#include "media/SequenceTiming.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace lumora;

TEST(FrameRate, ImplausibleRatesBecome25) {
    EXPECT_FLOAT_EQ(sequenceFps(5.0), 25.0f);
    EXPECT_FLOAT_EQ(sequenceFps(9.99), 25.0f);
    EXPECT_FLOAT_EQ(sequenceFps(150.01), 25.0f);
    EXPECT_FLOAT_EQ(sequenceFps(200.0), 25.0f);
    EXPECT_FLOAT_EQ(sequenceFps(0.0), 25.0f);
    EXPECT_FLOAT_EQ(sequenceFps(-30.0), 25.0f);
    EXPECT_FLOAT_EQ(sequenceFps(std::numeric_limits<double>::quiet_NaN()), 25.0f);
    // The limits themselves and ordinary rates are kept.
    EXPECT_FLOAT_EQ(sequenceFps(10.0), 10.0f);
    EXPECT_FLOAT_EQ(sequenceFps(150.0), 150.0f);
    EXPECT_FLOAT_EQ(sequenceFps(29.97), 29.97f);
    EXPECT_FLOAT_EQ(sequenceFps(60.0), 60.0f);
}

TEST(TimeLabels, DurationAndPositionOfAVideo) {
    // 751 frames at 25 fps: 750 intervals of 40 ms.
    const float duration = sequenceDuration(751, 25.0f);
    EXPECT_FLOAT_EQ(duration, 30.0f);
    EXPECT_EQ(clockText(duration), "00:30");
    EXPECT_EQ(videoPositionText(375, 751, duration), "00:15");
    EXPECT_EQ(videoPositionText(0, 751, duration), "00:00");
    EXPECT_EQ(videoPositionText(750, 751, duration), "00:30");
    // Seconds are truncated, not rounded: frame 374 is at 14.96 s.
    EXPECT_EQ(videoPositionText(374, 751, duration), "00:14");
}

TEST(TimeLabels, MinutesAndSecondsAreTruncated) {
    EXPECT_EQ(clockText(59.999f), "00:59");
    EXPECT_EQ(clockText(60.0f), "01:00");
    EXPECT_EQ(clockText(61.5f), "01:01");
    EXPECT_EQ(clockText(3599.9f), "59:59");
    EXPECT_EQ(clockText(6000.0f), "100:00");
    EXPECT_EQ(clockText(0.0f), "00:00");
    // A duration of 2 hours at 30 fps: 216001 frames.
    EXPECT_EQ(clockText(sequenceDuration(216001, 30.0f)), "120:00");
}

TEST(TimeLabels, ShortSequencesDoNotDivideByZero) {
    EXPECT_FLOAT_EQ(sequenceDuration(1, 25.0f), 0.0f);
    EXPECT_FLOAT_EQ(sequenceDuration(0, 25.0f), 0.0f);
    EXPECT_EQ(videoPositionText(0, 1, 0.0f), "00:00");
    EXPECT_EQ(burstPositionText(0, 1), "1/1");
    EXPECT_EQ(burstPositionText(8, 9), "9/9");
}

TEST(Speed, LevelsScaleTheNominalInterval) {
    const float fps = 25.0f;
    const float nominal = frameIntervalForSpeed(0, fps);
    EXPECT_FLOAT_EQ(nominal, 1.65f / 25.0f);
    EXPECT_FLOAT_EQ(frameIntervalForSpeed(4, fps), nominal / 2.0f);
    EXPECT_FLOAT_EQ(frameIntervalForSpeed(-4, fps), nominal * 2.0f);
    EXPECT_FLOAT_EQ(frameIntervalForSpeed(-12, fps), nominal * 4.0f);
    EXPECT_FLOAT_EQ(frameIntervalForSpeed(12, fps), nominal / 4.0f);
    // Each level above zero adds a quarter of the nominal rate; below, a quarter of the nominal interval.
    for (int level = 1; level <= 12; ++level)
        EXPECT_FLOAT_EQ(1.0f / frameIntervalForSpeed(level, fps), (1.0f / nominal) * (4.0f + level) / 4.0f);
    for (int level = -1; level >= -12; --level)
        EXPECT_FLOAT_EQ(frameIntervalForSpeed(level, fps), nominal * (4.0f - level) / 4.0f);
}

TEST(Brightness, ThreeStepsDoubleOrHalveTheValues) {
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

    cv::Mat frame16(1, 2, CV_16UC3);
    frame16.at<cv::Vec3w>(0, 0) = {1000, 30000, 40000};
    frame16.at<cv::Vec3w>(0, 1) = {65535, 2, 0};
    const cv::Mat brighter16 = applyBrightness(frame16, 3);
    ASSERT_EQ(brighter16.type(), CV_16UC3);
    EXPECT_EQ(brighter16.at<cv::Vec3w>(0, 0), cv::Vec3w(2000, 60000, 65535));
    EXPECT_EQ(brighter16.at<cv::Vec3w>(0, 1), cv::Vec3w(65535, 4, 0));

    // The source is never changed.
    EXPECT_EQ(frame8.at<cv::Vec3b>(0, 1), cv::Vec3b(100, 127, 128));
    EXPECT_TRUE(applyBrightness(cv::Mat(), 3).empty());
}

TEST(Pacing, EarlyStepsWaitOutTheInterval) {
    const PaceStep step = paceStep(0.066, 0.016);
    EXPECT_NEAR(step.sleepSeconds, 0.05, 1e-12);
    EXPECT_EQ(step.skip, 0);
    EXPECT_NEAR(paceStep(0.066, 0.0).sleepSeconds, 0.066, 1e-12);
}

TEST(Pacing, LateStepsDuringPlaybackSkipWholeIntervals) {
    // 40 ms interval, step 95 ms after the previous one: 55 ms late, one whole interval missed.
    PaceStep step = paceStep(0.04, 0.095);
    EXPECT_EQ(step.sleepSeconds, 0.0);
    EXPECT_EQ(step.skip, 1);
    step = paceStep(0.02, 0.099); // 79 ms late: three intervals
    EXPECT_EQ(step.skip, 3);
    EXPECT_EQ(paceStep(0.04, 0.07).skip, 0); // late by less than an interval
}

TEST(Pacing, StepsAfterAPauseNeitherWaitNorSkip) {
    // More than 0.1 s since the previous step: a click after a pause, not playback running late.
    const PaceStep step = paceStep(0.02, 0.1);
    EXPECT_EQ(step.sleepSeconds, 0.0);
    EXPECT_EQ(step.skip, 0);
    EXPECT_EQ(paceStep(0.02, 5.0).skip, 0);
}

} // namespace
