// The light image arithmetic against its closed form, the power tables bit for bit against the formula, and
// frames that do not match the chosen one.

#include "stacking/LightMerge.h"
#include "TestImages.h"

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

template <typename T> cv::Mat row(std::initializer_list<T> values, int type) {
    cv::Mat m(1, static_cast<int>(values.size()), type);
    int i = 0;
    for (T v : values)
        m.at<T>(0, i++) = v;
    return m;
}

TEST(LightMerge, TablesAndAccumulationAreTheFormulaBitForBit) {
    const float* t8 = lumora::lightPowerTable8();
    const float* t16 = lumora::lightPowerTable16();
    for (int v = 0; v < 65536; ++v) {
        if (v < 256) {
            ASSERT_TRUE(sameBits(t8[v], reference(static_cast<float>(v)))) << v;
        }
        ASSERT_TRUE(sameBits(t16[v], reference(static_cast<float>(v)))) << v;
    }
    // A black chosen frame, then one frame holding every 16-bit value: each element is 0 + formula.
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

TEST(LightMerge, FollowsTheClosedFormForEveryDepth) {
    struct Case {
        const char* name;
        cv::Mat chosen;
        std::vector<cv::Mat> others;
    };
    const cv::Mat grey100(4, 5, CV_8UC3, cv::Scalar::all(100)), blue(3, 3, CV_8UC3, cv::Scalar(200, 0, 0));
    const Case cases[] = {
        {"chosen frame alone", row<uchar>({255, 64, 0, 128}, CV_8UC1), {}},
        {"two equal frames", grey100, {grey100}},
        {"one channel lit", blue, {blue}}, // the maximum is taken over all channels
        {"16-bit mix",
         row<ushort>({1000, 65535, 0}, CV_16UC1),
         {row<ushort>({30000, 2, 65535}, CV_16UC1), row<ushort>({7, 40000, 1}, CV_16UC1)}},
        {"float frames", row<float>({0.25f, 0.5f}, CV_32FC1), {row<float>({0.75f, 0.125f}, CV_32FC1)}},
        {"all black", cv::Mat::zeros(5, 5, CV_8UC3), {cv::Mat::zeros(5, 5, CV_8UC3)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LightAccumulator acc;
        ASSERT_TRUE(acc.init(c.chosen));
        for (const cv::Mat& f : c.others)
            ASSERT_TRUE(acc.accumulate(f));
        cv::Mat light;
        ASSERT_TRUE(acc.finalize(light));
        ASSERT_EQ(light.type(), CV_MAKETYPE(CV_32F, c.chosen.channels()));
        ASSERT_EQ(light.size(), c.chosen.size());
        EXPECT_LE(lumora::test::maxError(light, lumora::test::expectedLight(c.chosen, c.others)), 2e-6);
        double lo = 0, hi = 0;
        cv::minMaxIdx(light.reshape(1), &lo, &hi);
        EXPECT_EQ(hi, std::string(c.name) == "all black" ? 0.0 : 1.0) << "largest element exactly 1, no NaN";
        EXPECT_GE(lo, 0.0);
    }
}

TEST(LightMerge, RefusesFramesThatDoNotMatchTheChosenOne) {
    LightAccumulator acc;
    EXPECT_FALSE(acc.init(cv::Mat(4, 4, CV_64FC1, cv::Scalar(1)))); // depth not merged
    cv::Mat light;
    EXPECT_FALSE(acc.finalize(light));
    EXPECT_TRUE(light.empty());
    ASSERT_TRUE(acc.init(cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(10))));
    for (const cv::Mat& other : {cv::Mat(4, 5, CV_8UC3), cv::Mat(4, 4, CV_16UC3), cv::Mat(4, 4, CV_8UC1)})
        EXPECT_FALSE(acc.accumulate(other)) << other.size() << " type " << other.type();
    EXPECT_EQ(acc.accumulator().at<cv::Vec3f>(0, 0)[0], 10.0f); // nothing was added
}

} // namespace
