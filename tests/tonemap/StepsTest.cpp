// Sharpening, rotation, crop, strength blend and clipping.

#include "TestOperators.h"

#include "tonemap/RenderSteps.h"
#include "tonemap/Sharpening.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lumora {
namespace {

TEST(TonemapSharpen, UnsharpMaskThatNeverGoesBelowZero) {
    // Radius 1, amount 0 or sharpening off change nothing.
    const cv::Mat in = test::randomImage(20, 30, 1);
    EXPECT_EQ(cv::norm(sharpenImage(in, true, 0.7f, 1), in, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(sharpenImage(in, true, 0.f, 9), in, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(sharpenImage(in, false, 0.7f, 9), in, cv::NORM_INF), 0.0);

    // Negative and NaN samples become 0; the input is left alone.
    cv::Mat signedIn = test::randomImage(4, 4, 2, -1.0, 1.0);
    signedIn.at<cv::Vec3f>(1, 1)[0] = std::numeric_limits<float>::quiet_NaN();
    const cv::Mat cleaned = sharpenImage(signedIn, false, 0.f, 1);
    for (int i = 0; i < 16 * 3; ++i) {
        const float v = signedIn.ptr<float>()[i], o = cleaned.ptr<float>()[i];
        EXPECT_EQ(o, v > 0.f ? v : 0.f) << i;
    }
    EXPECT_TRUE(std::isnan(signedIn.at<cv::Vec3f>(1, 1)[0]));

    // A constant image: blurred equals image, so image (1 + a) - blurred a is the image, for odd and even
    // radii.
    const cv::Mat flat(12, 12, CV_32FC3, cv::Scalar::all(0.4));
    for (int radius : {4, 5})
        EXPECT_LT(cv::norm(sharpenImage(flat, true, 0.8f, radius), flat, cv::NORM_INF), 1e-6) << radius;
    // A step from 0 to 1: the bright side overshoots above 1 (kept), the dark side would go below 0 (cut).
    cv::Mat step(9, 20, CV_32FC3, cv::Scalar::all(0));
    step.colRange(10, 20).setTo(cv::Scalar::all(1));
    const cv::Mat out = sharpenImage(step, true, 1.f, 5);
    EXPECT_GT(out.at<cv::Vec3f>(4, 10)[0], 1.f);
    EXPECT_EQ(out.at<cv::Vec3f>(4, 9)[0], 0.f);
    EXPECT_NEAR(out.at<cv::Vec3f>(4, 0)[0], 0.f, 1e-7f);
    EXPECT_NEAR(out.at<cv::Vec3f>(4, 19)[0], 1.f, 1e-6f);
}

TEST(TonemapSteps, RotationSizeAndDirection) {
    EXPECT_EQ(rotatedSize({40, 30}, 0.f), cv::Size(40, 30));
    const float quarter = static_cast<float>(CV_PI / 2);
    EXPECT_EQ(rotatedSize({40, 30}, quarter), cv::Size(30, 40));
    // 45 degrees on 10 x 10: corners span 9 sqrt(2) = 12.7, so 13 + 1 pixels.
    EXPECT_EQ(rotatedSize({10, 10}, static_cast<float>(CV_PI / 4)), cv::Size(14, 14));

    cv::Mat img(3, 5, CV_32FC3, cv::Scalar::all(0));
    img.at<cv::Vec3f>(0, 0) = cv::Vec3f(1, 1, 1); // top-left
    const cv::Mat r = rotateImage(img, quarter);
    ASSERT_EQ(r.size(), cv::Size(3, 5));
    // A counter-clockwise quarter turn takes the top-left corner to the bottom-left.
    EXPECT_NEAR(r.at<cv::Vec3f>(4, 0)[0], 1.f, 1e-4f);
    EXPECT_NEAR(cv::sum(r)[0], 1.0, 1e-4);
    EXPECT_EQ(rotateImage(img, 0.f).data, img.data);
}

TEST(TonemapSteps, CropRectangles) {
    EXPECT_EQ(clippedCrop({5, 5, 100, 100}, {20, 10}), cv::Rect(5, 5, 15, 5));
    EXPECT_TRUE(clippedCrop({30, 0, 5, 5}, {20, 10}).empty());
    // Full-resolution 400 x 300 shown at 200 x 100: x and width halve, y and height are divided by 3.
    EXPECT_EQ(previewCrop({100, 60, 201, 150}, {200, 100}, 400, 300), cv::Rect(50, 20, 100, 50));
}

TEST(TonemapSteps, StrengthBlend) {
    const cv::Mat a = test::randomImage(6, 6, 3), b = test::randomImage(6, 6, 4, 0.0, 3.0);
    EXPECT_EQ(cv::norm(blendStrength(a, b, 0.f), a, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(blendStrength(a, b, 1.f), b, cv::NORM_INF), 0.0);
    const cv::Mat q = blendStrength(a, b, 0.25f);
    const cv::Vec3f va = a.at<cv::Vec3f>(2, 3), vb = b.at<cv::Vec3f>(2, 3), vq = q.at<cv::Vec3f>(2, 3);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(vq[c], 0.75f * va[c] + 0.25f * vb[c], 1e-6f);
}

TEST(TonemapSteps, ClipThresholds) {
    cv::Mat img(1, 5, CV_32FC3);
    img.at<cv::Vec3f>(0, 0) = cv::Vec3f(0.05f, 0.1f, 0.12f); // mean 0.09: below a 0.1 black clip
    img.at<cv::Vec3f>(0, 1) = cv::Vec3f(0.1f, 0.1f, 0.13f);  // mean 0.11: above it
    img.at<cv::Vec3f>(0, 2) = cv::Vec3f(0.9f, 0.93f, 0.9f);  // mean 0.91: above 1 - 0.1
    img.at<cv::Vec3f>(0, 3) = cv::Vec3f(0.9f, 0.87f, 0.9f);  // mean 0.89: below it
    img.at<cv::Vec3f>(0, 4) = cv::Vec3f(5.f, 5.f, 5.f);
    const cv::Mat c = clipBlackWhite(img, 0.1f, 0.1f);
    EXPECT_EQ(c.at<cv::Vec3f>(0, 0), cv::Vec3f(0, 0, 0));
    EXPECT_EQ(c.at<cv::Vec3f>(0, 1), img.at<cv::Vec3f>(0, 1));
    EXPECT_EQ(c.at<cv::Vec3f>(0, 2), cv::Vec3f(1, 1, 1));
    EXPECT_EQ(c.at<cv::Vec3f>(0, 3), img.at<cv::Vec3f>(0, 3));

    // Zero clips touch nothing, whatever the mean (5 is far above white).
    const cv::Mat none = clipBlackWhite(img, 0.f, 0.f);
    EXPECT_EQ(cv::norm(none, img, cv::NORM_INF), 0.0);

    // Integer depths use their own white.
    cv::Mat eight(1, 2, CV_8UC3);
    eight.at<cv::Vec3b>(0, 0) = cv::Vec3b(20, 20, 20);
    eight.at<cv::Vec3b>(0, 1) = cv::Vec3b(240, 240, 240);
    const cv::Mat e = clipBlackWhite(eight, 0.1f, 0.1f); // black below 25.5, white above 229.5
    EXPECT_EQ(e.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(e.at<cv::Vec3b>(0, 1), cv::Vec3b(255, 255, 255));
    cv::Mat sixteen(1, 1, CV_16UC3, cv::Scalar::all(60000));
    EXPECT_EQ(clipBlackWhite(sixteen, 0.f, 0.1f).at<cv::Vec3w>(0, 0), cv::Vec3w(65535, 65535, 65535));
    cv::Mat dbl(1, 1, CV_64FC3, cv::Scalar::all(0.01));
    EXPECT_EQ(clipBlackWhite(dbl, 0.5f, 0.5f).at<cv::Vec3d>(0, 0), cv::Vec3d(0.01, 0.01, 0.01));
}

TEST(TonemapSteps, PassesInBandsGiveTheSameImageOnAnyNumberOfThreads) {
    // Large enough to be split in bands; negatives and NaN for the clean-up around sharpening.
    cv::Mat img = test::randomImage(700, 900, 12, -0.2, 1.2);
    img.at<cv::Vec3f>(350, 450)[1] = std::numeric_limits<float>::quiet_NaN();
    const cv::Mat sharpOne = sharpenImage(img, true, 0.6f, 5, 1);
    const cv::Mat clipOne = clipBlackWhite(sharpOne, 0.05f, 0.05f, 1);
    for (int workers : {2, 5}) {
        EXPECT_EQ(cv::norm(sharpenImage(img, true, 0.6f, 5, workers), sharpOne, cv::NORM_INF), 0.0)
            << workers;
        EXPECT_EQ(cv::norm(clipBlackWhite(sharpOne, 0.05f, 0.05f, workers), clipOne, cv::NORM_INF), 0.0)
            << workers;
    }
    EXPECT_TRUE(cv::checkRange(sharpOne, true, nullptr, 0.0, 1e30)) << "every sample finite and not negative";
}

} // namespace
} // namespace lumora
