// The colour step: HSV adjustments, exposure toe, contrast and the tone curve.

#include "tonemap/ColorModifications.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumora {
namespace {

ColorModSettings neutral() {
    return colorModSettings(exposureTermsFor(0.f), 1.f, 0.f, 1.f, 0.f);
}

cv::Mat pixel(float b, float g, float r) {
    return cv::Mat(1, 1, CV_32FC3, cv::Scalar(b, g, r));
}

cv::Vec3f run(const cv::Mat& in, const ColorModSettings& s, int threads = 1) {
    ToneCurve curve;
    return applyColorModifications(curve, in, s, threads).at<cv::Vec3f>(0, 0);
}

// Exposure 0 leaves values above the toe alone and bends those inside it: toeSlope (x + toeWidth)^2.
float neutralExposure(float x) {
    return x >= 0.0025f ? x : (x <= -0.0025f ? 0.f : 100.f * (x + 0.0025f) * (x + 0.0025f));
}

TEST(TonemapColour, NeutralSettingsReturnTheClampedInput) {
    cv::Mat in(16, 16, CV_32FC3);
    cv::RNG rng(7);
    rng.fill(in, cv::RNG::UNIFORM, -0.2, 1.4);
    ToneCurve curve;
    const cv::Mat out = applyColorModifications(curve, in, neutral(), 2);
    ASSERT_EQ(out.type(), CV_32FC3);
    for (int y = 0; y < in.rows; ++y)
        for (int x = 0; x < in.cols; ++x) {
            const cv::Vec3f v = in.at<cv::Vec3f>(y, x), o = out.at<cv::Vec3f>(y, x);
            cv::Vec3f e;
            for (int c = 0; c < 3; ++c)
                e[c] = std::clamp(neutralExposure(v[c]), 0.f, 1.f);
            // The curve acts on squared lightness: exact identity except in the table's last step.
            const float l = (e[0] + 40.f * e[1] + 20.f * e[2]) / 61.f;
            const float tol = l * l > 1.f - 1.f / 1024.f ? 2e-3f : 2e-5f;
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(o[c], e[c], tol) << y << "," << x << " c" << c;
        }
}

TEST(TonemapColour, FullTurnOfHueIsNeutralThroughHsv) {
    cv::Mat in(8, 8, CV_32FC3);
    cv::RNG rng(3);
    rng.fill(in, cv::RNG::UNIFORM, 0.01, 0.9);
    ToneCurve a, b;
    const cv::Mat plain = applyColorModifications(a, in, neutral(), 1);
    ColorModSettings turned = neutral();
    turned.hue = 1.f; // the HSV path runs, and a whole turn must change nothing
    const cv::Mat viaHsv = applyColorModifications(b, in, turned, 1);
    EXPECT_LT(cv::norm(plain, viaHsv, cv::NORM_INF), 1e-5);
}

TEST(TonemapColour, ThirdOfATurnMovesRedToGreen) {
    ColorModSettings s = neutral();
    s.hue = 1.f / 3.f;
    const cv::Vec3f o = run(pixel(0.2f, 0.2f, 0.8f), s);
    EXPECT_NEAR(o[0], 0.2f, 1e-4f);
    EXPECT_NEAR(o[1], 0.8f, 1e-4f);
    EXPECT_NEAR(o[2], 0.2f, 1e-4f);
}

TEST(TonemapColour, SaturationZeroGivesGreyAtTheHsvValue) {
    ColorModSettings s = neutral();
    s.saturation = 0.f;
    const cv::Vec3f o = run(pixel(0.1f, 0.6f, 0.3f), s);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(o[c], 0.6f, 1e-5f);
    // Vibrance scales the existing saturation, so a grey pixel (S = 0) stays grey.
    s = neutral();
    s.vibrance = 0.5f;
    const cv::Vec3f grey = run(pixel(0.4f, 0.4f, 0.4f), s);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(grey[c], 0.4f, 1e-5f);
}

TEST(TonemapColour, SaturationAboveOneSpreadsChannelsAwayFromTheValue) {
    ColorModSettings s = neutral();
    s.saturation = 1.5f; // S = 0.5 -> t = 0.5 + 1.5 - 0.5 = 1.5 -> 0.5 * 0.5 + 1 = 1.25 -> S' = 0.625
    const cv::Vec3f o = run(pixel(0.4f, 0.4f, 0.8f), s);
    // (R, G, B) becomes (0.8, 0.3, 0.3); the curve then keeps the channels' ratios: min / max = 1 - S'.
    EXPECT_NEAR(o[0] / o[2], 1.f - 0.625f, 1e-4f);
    EXPECT_NEAR(o[1] / o[2], 1.f - 0.625f, 1e-4f);
}

TEST(TonemapColour, ExposureAndContrast) {
    ColorModSettings s = colorModSettings(exposureTermsFor(1.f), 1.f, 0.f, 1.f, 0.f);
    cv::Vec3f o = run(pixel(0.2f, 0.2f, 0.2f), s);
    EXPECT_NEAR(o[1], 0.4f, 1e-5f); // one stop doubles
    o = run(pixel(0.7f, 0.7f, 0.7f), s);
    EXPECT_NEAR(o[1], 1.f, 1e-3f); // clamps at white (the curve table's last step is 1023/1024)

    const ContrastTerms one = contrastTermsFor(1.f);
    EXPECT_TRUE(one.sqrtMode);
    EXPECT_FLOAT_EQ(one.linearCoef, 1.f);
    EXPECT_FLOAT_EQ(one.sqrtCoef, 0.f);
    EXPECT_FLOAT_EQ(one.offset, 0.f);
    const ContrastTerms low = contrastTermsFor(0.5f);
    EXPECT_FALSE(low.sqrtMode);
    EXPECT_FLOAT_EQ(low.linearCoef, 0.5f);
    EXPECT_FLOAT_EQ(low.offset, 0.375f);
    // In sqrt mode the curve is the square (c sqrt(x) - 0.8 (c - 1))^2: never negative, 0 at one point.
    const float c = 1.6f;
    const ContrastTerms high = contrastTermsFor(c);
    for (float x : {0.f, 0.01f, 0.09f, 0.3f, 1.f}) {
        const float expected = std::pow(c * std::sqrt(x) - 0.8f * (c - 1.f), 2.f);
        EXPECT_NEAR(high.sqrtCoef * std::sqrt(x) + high.linearCoef * x + high.offset, expected, 1e-5f);
    }
    s = colorModSettings(exposureTermsFor(0.f), c, 0.f, 1.f, 0.f);
    o = run(pixel(0.5f, 0.5f, 0.5f), s);
    EXPECT_NEAR(o[0], std::pow(c * std::sqrt(0.5f) - 0.8f * (c - 1.f), 2.f), 1e-4f);
}

TEST(TonemapColour, BlackStaysBlack) {
    ColorModSettings s = neutral();
    s.toeWidth = 0.f; // no toe: black reaches the curve step as L = 0
    s.toeSlope = 0.f;
    const cv::Vec3f o = run(pixel(0.f, 0.f, 0.f), s);
    for (int c = 0; c < 3; ++c) {
        EXPECT_FALSE(std::isnan(o[c]));
        EXPECT_EQ(o[c], 0.f);
    }
    // With the default toe, black is lifted to toeSlope * toeWidth^2 and stays grey.
    const cv::Vec3f toe = run(pixel(0.f, 0.f, 0.f), neutral());
    EXPECT_NEAR(toe[1], 100.f * 0.0025f * 0.0025f, 1e-6f);
}

TEST(TonemapColour, CurveRescalesByLightness) {
    ToneCurve curve;
    curve.setWhites(1.f);
    curve.setHighlights(0.5f);
    const cv::Mat in = pixel(0.75f, 0.8f, 0.7f);
    const cv::Vec3f o = applyColorModifications(curve, in, neutral(), 1).at<cv::Vec3f>(0, 0);
    const float l = (0.75f + 40.f * 0.8f + 20.f * 0.7f) / 61.f;
    const float k = std::sqrt(curve.evaluate(l * l)) / l;
    EXPECT_NEAR(o[0], 0.75f * k, 1e-5f);
    EXPECT_NEAR(o[1], 0.8f * k, 1e-5f);
    EXPECT_NEAR(o[2], 0.7f * k, 1e-5f);
    EXPECT_GT(k, 1.f); // whites and highlights up lift the upper mid tones
}

TEST(TonemapColour, OneChannelAndThreadCounts) {
    cv::Mat grey(5, 7, CV_32FC1, cv::Scalar(0.25f));
    ToneCurve curve;
    const cv::Mat out = applyColorModifications(curve, grey, neutral(), 1);
    ASSERT_EQ(out.type(), CV_32FC3);
    EXPECT_NEAR(out.at<cv::Vec3f>(4, 6)[2], 0.25f, 1e-5f);

    cv::Mat in(37, 23, CV_32FC3);
    cv::RNG rng(11);
    rng.fill(in, cv::RNG::UNIFORM, 0.0, 1.2);
    ColorModSettings s = colorModSettings(exposureTermsFor(0.3f), 1.2f, 0.1f, 1.3f, 0.2f);
    ToneCurve c1, c3;
    const cv::Mat one = applyColorModifications(c1, in, s, 1);
    const cv::Mat three = applyColorModifications(c3, in, s, 3);
    EXPECT_EQ(cv::norm(one, three, cv::NORM_INF), 0.0); // the split never changes a pixel
}

} // namespace
} // namespace lumora
