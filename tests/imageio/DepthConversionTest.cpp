// convertDepth: every cell of the conversion table, truncation instead of rounding, caps, and the shape
// rules.

#include "imageio/ImageFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using lumora::convertDepth;

template <typename T> cv::Mat row(std::initializer_list<T> values, int depth) {
    cv::Mat m(1, static_cast<int>(values.size()), CV_MAKETYPE(depth, 1));
    int i = 0;
    for (T v : values)
        m.at<T>(0, i++) = v;
    return m;
}

TEST(ConvertDepthFrom8Bits, To16BitsMultipliesBy257) {
    const cv::Mat out = convertDepth(row<uchar>({0, 1, 128, 255}, CV_8U), 16);
    ASSERT_EQ(out.type(), CV_16UC1);
    EXPECT_EQ(out.at<ushort>(0, 0), 0);
    EXPECT_EQ(out.at<ushort>(0, 1), 257);
    EXPECT_EQ(out.at<ushort>(0, 2), 128 * 257);
    EXPECT_EQ(out.at<ushort>(0, 3), 65535);
}

TEST(ConvertDepthFrom8Bits, ToFloatDividesBy255) {
    const cv::Mat out = convertDepth(row<uchar>({0, 51, 255}, CV_8U), 32);
    ASSERT_EQ(out.type(), CV_32FC1);
    EXPECT_FLOAT_EQ(out.at<float>(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(out.at<float>(0, 1), 0.2f);
    EXPECT_FLOAT_EQ(out.at<float>(0, 2), 1.0f);
}

TEST(ConvertDepthFrom16Bits, To8BitsTruncatesTheQuotient) {
    // 513 / 257 = 1.996: the fraction is dropped, not rounded.
    const cv::Mat out = convertDepth(row<ushort>({0, 256, 257, 513, 514, 65534, 65535}, CV_16U), 8);
    ASSERT_EQ(out.type(), CV_8UC1);
    const int expected[] = {0, 0, 1, 1, 2, 254, 255};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(out.at<uchar>(0, i), expected[i]) << "element " << i;
}

TEST(ConvertDepthFrom16Bits, ToFloatDividesBy65535) {
    const cv::Mat out = convertDepth(row<ushort>({0, 13107, 65535}, CV_16U), 32);
    ASSERT_EQ(out.type(), CV_32FC1);
    EXPECT_FLOAT_EQ(out.at<float>(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(out.at<float>(0, 1), 0.2f);
    EXPECT_FLOAT_EQ(out.at<float>(0, 2), 1.0f);
}

TEST(ConvertDepthFromFloat, To8BitsTruncatesAndCaps) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const cv::Mat out = convertDepth(row<float>({0.5f, 1.0f, 1.2f, 0.999f, -0.3f, nan, 1e9f}, CV_32F), 8);
    ASSERT_EQ(out.type(), CV_8UC1);
    EXPECT_EQ(out.at<uchar>(0, 0), 127); // 127.5
    EXPECT_EQ(out.at<uchar>(0, 1), 255);
    EXPECT_EQ(out.at<uchar>(0, 2), 255); // above the maximum: capped, not wrapped
    EXPECT_EQ(out.at<uchar>(0, 3), 254); // 254.745
    EXPECT_EQ(out.at<uchar>(0, 4), 0);   // below zero: floor of the range
    EXPECT_EQ(out.at<uchar>(0, 5), 0);
    EXPECT_EQ(out.at<uchar>(0, 6), 255);
}

TEST(ConvertDepthFromFloat, To16BitsTruncatesAndCaps) {
    const cv::Mat out = convertDepth(row<float>({0.5f, 1.0f, 2.0f, 0.25f}, CV_32F), 16);
    ASSERT_EQ(out.type(), CV_16UC1);
    EXPECT_EQ(out.at<ushort>(0, 0), 32767); // 32767.5
    EXPECT_EQ(out.at<ushort>(0, 1), 65535);
    EXPECT_EQ(out.at<ushort>(0, 2), 65535);
    EXPECT_EQ(out.at<ushort>(0, 3), 16383); // 16383.75
}

TEST(ConvertDepthSameDepth, ReturnsAnIndependentEqualCopy) {
    cv::Mat in(4, 5, CV_16UC3, cv::Scalar(1, 2, 3));
    const cv::Mat out = convertDepth(in, 16);
    ASSERT_EQ(out.type(), in.type());
    EXPECT_EQ(cv::norm(in, out, cv::NORM_INF), 0.0);
    in.setTo(cv::Scalar(9, 9, 9));
    EXPECT_EQ(out.at<cv::Vec3w>(0, 0), cv::Vec3w(1, 2, 3)) << "result shares pixels with its input";
}

TEST(ConvertDepthShape, KeepsSizeAndChannelsAndReadsEveryElement) {
    // A sub-matrix view (non-continuous rows) with three channels: each element lands in its own place, also
    // in an image large enough to be converted in bands on several threads.
    for (const cv::Size size : {cv::Size(8, 6), cv::Size(1200, 900)}) {
        cv::Mat big(size, CV_8UC3);
        cv::randu(big, 0, 256);
        const cv::Mat view = big(cv::Rect(1, 2, size.width - 3, size.height - 3));
        const cv::Mat out = convertDepth(view, 16);
        ASSERT_EQ(out.size(), view.size());
        ASSERT_EQ(out.type(), CV_16UC3);
        for (int y = 0; y < view.rows; ++y)
            for (int x = 0; x < view.cols; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(out.at<cv::Vec3w>(y, x)[c], view.at<cv::Vec3b>(y, x)[c] * 257);
    }
}

TEST(ConvertDepthShape, UnknownBitCountsGive8Bits) {
    const cv::Mat in = row<ushort>({65535, 257}, CV_16U);
    for (int bits : {0, 1, 12, 24, 64}) {
        const cv::Mat out = convertDepth(in, bits);
        ASSERT_EQ(out.type(), CV_8UC1) << bits;
        EXPECT_EQ(out.at<uchar>(0, 0), 255);
        EXPECT_EQ(out.at<uchar>(0, 1), 1);
    }
}

TEST(ConvertDepthShape, EmptyStaysEmpty) {
    EXPECT_TRUE(convertDepth(cv::Mat(), 16).empty());
}

TEST(ConvertDepthRoundTrips, EightBitsSurviveEveryWiderDepthAndBack) {
    cv::Mat all(1, 256, CV_8U);
    for (int v = 0; v < 256; ++v)
        all.at<uchar>(0, v) = static_cast<uchar>(v);
    EXPECT_EQ(cv::norm(convertDepth(convertDepth(all, 16), 8), all, cv::NORM_INF), 0.0);
    // Through float the truncation may cost at most one step, never more, and never raises a value.
    const cv::Mat viaFloat = convertDepth(convertDepth(all, 32), 8);
    for (int v = 0; v < 256; ++v) {
        const int back = viaFloat.at<uchar>(0, v);
        EXPECT_TRUE(back == v || back == v - 1) << v << " came back as " << back;
    }
}

} // namespace
