// The light image arithmetic: plain chosen values, pow(x, 2.2) for further frames, normalisation by the
// largest element and the 1/2.2 power; the 8- and 16-bit tables against the formula, bit for bit.

#include "stacking/LightMerge.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace {

using lumora::LightAccumulator;

// The formula as written down: power in double from the float value and the float exponent, rounded to float.
float reference(float x) {
    return static_cast<float>(std::pow(static_cast<double>(x), static_cast<double>(2.2f)));
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(LightMergeTables, EightBitTableIsBitIdenticalToTheFormula) {
    const float* table = lumora::lightPowerTable8();
    for (int v = 0; v < 256; ++v)
        ASSERT_TRUE(sameBits(table[v], reference(static_cast<float>(v)))) << v;
}

TEST(LightMergeTables, SixteenBitTableIsBitIdenticalToTheFormula) {
    const float* table = lumora::lightPowerTable16();
    for (int v = 0; v < 65536; ++v)
        ASSERT_TRUE(sameBits(table[v], reference(static_cast<float>(v)))) << v;
}

TEST(LightMergeTables, AccumulatingEveryValueAddsExactlyTheFormula) {
    // A black chosen frame, then one frame holding every 16-bit value: each element must be 0 + formula.
    cv::Mat all(256, 256, CV_16UC1);
    for (int i = 0; i < 65536; ++i)
        all.at<ushort>(i / 256, i % 256) = static_cast<ushort>(i);
    LightAccumulator acc;
    ASSERT_TRUE(acc.init(cv::Mat::zeros(all.size(), all.type())));
    ASSERT_TRUE(acc.accumulate(all));
    for (int i = 0; i < 65536; ++i)
        ASSERT_TRUE(sameBits(acc.accumulator().at<float>(i / 256, i % 256), reference(static_cast<float>(i))))
            << i;
}

TEST(LightMerge, ChosenFrameAloneIsNormalisedAndRaisedToOneOverTwoPointTwo) {
    cv::Mat chosen(2, 2, CV_8UC1);
    chosen.at<uchar>(0, 0) = 255;
    chosen.at<uchar>(0, 1) = 64;
    chosen.at<uchar>(1, 0) = 0;
    chosen.at<uchar>(1, 1) = 128;
    LightAccumulator acc;
    ASSERT_TRUE(acc.init(chosen));
    cv::Mat light;
    ASSERT_TRUE(acc.finalize(light));
    ASSERT_EQ(light.type(), CV_32FC1);
    EXPECT_EQ(light.at<float>(0, 0), 1.0f);
    EXPECT_NEAR(light.at<float>(0, 1), 0.5335, 1e-4); // (64/255)^(1/2.2)
    EXPECT_EQ(light.at<float>(1, 0), 0.0f);
    EXPECT_NEAR(light.at<float>(1, 1), std::pow(128.0 / 255.0, 1 / 2.2), 1e-6);
}

TEST(LightMerge, TwoEqualFramesGiveOneEverywhere) {
    const cv::Mat frame(4, 5, CV_8UC3, cv::Scalar::all(100));
    LightAccumulator acc;
    ASSERT_TRUE(acc.init(frame));
    ASSERT_TRUE(acc.accumulate(frame));
    EXPECT_NEAR(acc.accumulator().at<cv::Vec3f>(0, 0)[0], 100.0 + std::pow(100.0, 2.2), 0.01); // ~25,218.9
    cv::Mat light;
    ASSERT_TRUE(acc.finalize(light));
    EXPECT_EQ(cv::countNonZero(light.reshape(1) != 1.0f), 0);
}

TEST(LightMerge, MaximumIsTakenOverAllChannels) {
    const cv::Mat blue(3, 3, CV_8UC3, cv::Scalar(200, 0, 0));
    LightAccumulator acc;
    ASSERT_TRUE(acc.init(blue));
    ASSERT_TRUE(acc.accumulate(blue));
    cv::Mat light;
    ASSERT_TRUE(acc.finalize(light));
    std::vector<cv::Mat> ch;
    cv::split(light, ch);
    EXPECT_EQ(cv::countNonZero(ch[0] != 1.0f), 0);
    EXPECT_EQ(cv::countNonZero(ch[1]), 0);
    EXPECT_EQ(cv::countNonZero(ch[2]), 0);
}

TEST(LightMerge, MixedValuesFollowTheClosedForm) {
    // chosen c, frames f1, f2: ((c + f1^2.2 + f2^2.2) / max)^(1/2.2), max over the image.
    cv::Mat c(1, 3, CV_16UC1), f1(1, 3, CV_16UC1), f2(1, 3, CV_16UC1);
    const ushort cv_[3] = {1000, 65535, 0}, f1v[3] = {30000, 2, 65535}, f2v[3] = {7, 40000, 1};
    for (int i = 0; i < 3; ++i) {
        c.at<ushort>(0, i) = cv_[i];
        f1.at<ushort>(0, i) = f1v[i];
        f2.at<ushort>(0, i) = f2v[i];
    }
    LightAccumulator acc;
    ASSERT_TRUE(acc.init(c));
    ASSERT_TRUE(acc.accumulate(f1));
    ASSERT_TRUE(acc.accumulate(f2));
    cv::Mat light;
    ASSERT_TRUE(acc.finalize(light));
    double sums[3], m = 0;
    for (int i = 0; i < 3; ++i) {
        sums[i] = cv_[i] + std::pow(f1v[i], 2.2) + std::pow(f2v[i], 2.2);
        m = std::max(m, sums[i]);
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(light.at<float>(0, i), std::pow(sums[i] / m, 1 / 2.2), 2e-6) << i;
    double lo, hi;
    cv::minMaxIdx(light, &lo, &hi);
    EXPECT_EQ(hi, 1.0);
    EXPECT_GE(lo, 0.0);
}

TEST(LightMerge, FloatFramesUseTheFormulaDirectly) {
    cv::Mat c(1, 2, CV_32FC1), f(1, 2, CV_32FC1);
    c.at<float>(0, 0) = 0.25f;
    c.at<float>(0, 1) = 0.5f;
    f.at<float>(0, 0) = 0.75f;
    f.at<float>(0, 1) = 0.125f;
    LightAccumulator acc;
    ASSERT_TRUE(acc.init(c));
    ASSERT_TRUE(acc.accumulate(f));
    EXPECT_TRUE(sameBits(acc.accumulator().at<float>(0, 0), 0.25f + reference(0.75f)));
    EXPECT_TRUE(sameBits(acc.accumulator().at<float>(0, 1), 0.5f + reference(0.125f)));
}

TEST(LightMerge, AllBlackGivesAnAllZeroImageNotNaN) {
    const cv::Mat black = cv::Mat::zeros(5, 5, CV_8UC3);
    LightAccumulator acc;
    ASSERT_TRUE(acc.init(black));
    ASSERT_TRUE(acc.accumulate(black));
    cv::Mat light;
    ASSERT_TRUE(acc.finalize(light));
    ASSERT_EQ(light.size(), black.size());
    EXPECT_EQ(cv::countNonZero(light.reshape(1)), 0);
    EXPECT_TRUE(cv::checkRange(light));
}

TEST(LightMerge, RefusesFramesThatDoNotMatchTheChosenOne) {
    LightAccumulator acc;
    EXPECT_FALSE(acc.init(cv::Mat(4, 4, CV_64FC1, cv::Scalar(1)))); // depth not merged
    cv::Mat light;
    EXPECT_FALSE(acc.finalize(light));
    EXPECT_TRUE(light.empty());
    ASSERT_TRUE(acc.init(cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(10))));
    EXPECT_FALSE(acc.accumulate(cv::Mat(4, 5, CV_8UC3, cv::Scalar::all(10))));
    EXPECT_FALSE(acc.accumulate(cv::Mat(4, 4, CV_16UC3, cv::Scalar::all(10))));
    EXPECT_FALSE(acc.accumulate(cv::Mat(4, 4, CV_8UC1, cv::Scalar::all(10))));
    EXPECT_EQ(acc.accumulator().at<cv::Vec3f>(0, 0)[0], 10.0f); // nothing was added
}

} // namespace
