// convertDepth: every pair of depths against the scaling rule, truncation instead of rounding, caps, and the
// shape rules.

#include "imageio/ImageFile.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using lumora::convertDepth;

TEST(ConvertDepth, ScalesByTheRangesTruncatesAndCaps) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        int fromDepth, bits;
        std::vector<double> in, out;
    };
    const Case cases[] = {
        {CV_8U, 16, {0, 1, 128, 255}, {0, 257, 128 * 257, 65535}},
        {CV_8U, 32, {0, 51, 255}, {0, 0.2, 1}},
        // 513 / 257 = 1.996: the fraction is dropped, not rounded.
        {CV_16U, 8, {0, 256, 257, 513, 514, 65534, 65535}, {0, 0, 1, 1, 2, 254, 255}},
        {CV_16U, 32, {0, 13107, 65535}, {0, 0.2, 1}},
        // Above the maximum capped, not wrapped; below zero and NaN the floor of the range.
        {CV_32F, 8, {0.5, 1.0, 1.2, 0.999, -0.3, nan, 1e9}, {127, 255, 255, 254, 0, 0, 255}},
        {CV_32F, 16, {0.5, 1.0, 2.0, 0.25}, {32767, 65535, 65535, 16383}},
        // Unknown bit counts mean 8 bits.
        {CV_16U, 0, {65535, 257}, {255, 1}},
        {CV_16U, 12, {65535, 257}, {255, 1}},
        {CV_16U, 64, {65535, 257}, {255, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.fromDepth << " to " << c.bits << " bits");
        cv::Mat in(1, int(c.in.size()), CV_MAKETYPE(CV_64F, 1));
        for (size_t i = 0; i < c.in.size(); ++i)
            in.at<double>(0, int(i)) = c.in[i];
        in.convertTo(in, c.fromDepth);
        const cv::Mat out = convertDepth(in, c.bits);
        const int depth = c.bits == 16 ? CV_16U : c.bits == 32 ? CV_32F : CV_8U;
        ASSERT_EQ(out.type(), CV_MAKETYPE(depth, 1));
        cv::Mat got;
        out.convertTo(got, CV_64F);
        for (size_t i = 0; i < c.out.size(); ++i)
            EXPECT_NEAR(got.at<double>(0, int(i)), c.out[i], depth == CV_32F ? 1e-7 : 0.0) << "element " << i;
    }
}

TEST(ConvertDepth, KeepsShapeCopiesAndRoundTrips) {
    // A sub-matrix view (non-continuous rows) with three channels: each element lands in its own place.
    cv::Mat big(6, 8, CV_8UC3);
    cv::randu(big, 0, 256);
    const cv::Mat view = big(cv::Rect(1, 2, 5, 3));
    const cv::Mat out = convertDepth(view, 16);
    ASSERT_EQ(out.size(), view.size());
    ASSERT_EQ(out.type(), CV_16UC3);
    cv::Mat expected;
    view.convertTo(expected, CV_16U, 257.0);
    EXPECT_EQ(cv::norm(out, expected, cv::NORM_INF), 0.0);
    EXPECT_TRUE(convertDepth(cv::Mat(), 16).empty());

    // The same depth gives an independent equal copy.
    cv::Mat same(4, 5, CV_16UC3, cv::Scalar(1, 2, 3));
    const cv::Mat copy = convertDepth(same, 16);
    same.setTo(cv::Scalar(9, 9, 9));
    EXPECT_EQ(copy.at<cv::Vec3w>(0, 0), cv::Vec3w(1, 2, 3)) << "result shares pixels with its input";

    // Eight bits survive 16 bits exactly; through float the truncation may cost one step, never raise one.
    cv::Mat all(1, 256, CV_8U);
    for (int v = 0; v < 256; ++v)
        all.at<uchar>(0, v) = static_cast<uchar>(v);
    EXPECT_EQ(cv::norm(convertDepth(convertDepth(all, 16), 8), all, cv::NORM_INF), 0.0);
    const cv::Mat viaFloat = convertDepth(convertDepth(all, 32), 8);
    for (int v = 0; v < 256; ++v)
        EXPECT_TRUE(viaFloat.at<uchar>(0, v) == v || viaFloat.at<uchar>(0, v) == v - 1) << v;
}

} // namespace
