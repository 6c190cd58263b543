// Rules of a frame sequence that need no medium: one-frame durations and brightness.

#include "media/SequenceTiming.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace lumora;

TEST(SequenceTiming, OneFrameOrNoneHasNoDurationAndNoDivisionByZero) {
    EXPECT_FLOAT_EQ(sequenceDuration(1, 25.0f), 0.0f);
    EXPECT_FLOAT_EQ(sequenceDuration(0, 25.0f), 0.0f);
    EXPECT_EQ(videoPositionText(0, 1, 0.0f), "00:00");
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

} // namespace
