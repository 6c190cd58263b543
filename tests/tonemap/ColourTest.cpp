// The colour step: HSV adjustments, exposure toe, contrast and the tone curve, against their formulas.

#include "tonemap/ColorModifications.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumora {
namespace {

ColorModSettings neutral() {
    return colorModSettings(exposureTermsFor(0.f), 1.f, 0.f, 1.f, 0.f);
}

cv::Vec3f run(cv::Vec3f bgr, const ColorModSettings& s) {
    ToneCurve curve;
    return applyColorModifications(curve, cv::Mat(1, 1, CV_32FC3, cv::Scalar(bgr[0], bgr[1], bgr[2])), s, 1)
        .at<cv::Vec3f>(0, 0);
}

TEST(TonemapColour, NeutralSettingsClampAndBendOnlyTheToe) {
    cv::Mat in(16, 16, CV_32FC3);
    cv::RNG(7).fill(in, cv::RNG::UNIFORM, -0.2, 1.4);
    ToneCurve curve;
    const cv::Mat out = applyColorModifications(curve, in, neutral(), 2);
    ASSERT_EQ(out.type(), CV_32FC3);
    for (int i = 0; i < in.rows * in.cols; ++i) {
        const cv::Vec3f v = in.at<cv::Vec3f>(i), o = out.at<cv::Vec3f>(i);
        cv::Vec3f e; // exposure 0 keeps values above the toe and bends those inside it: 100 (x + 0.0025)^2
        for (int c = 0; c < 3; ++c)
            e[c] = std::clamp(v[c] >= 0.0025f    ? v[c]
                              : v[c] <= -0.0025f ? 0.f
                                                 : 100.f * std::pow(v[c] + 0.0025f, 2.f),
                              0.f, 1.f);
        // The curve acts on squared lightness: exact identity except in the table's last step.
        const float l = (e[0] + 40.f * e[1] + 20.f * e[2]) / 61.f;
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(o[c], e[c], l * l > 1.f - 1.f / 1024.f ? 2e-3f : 2e-5f) << i << " c" << c;
    }
}

TEST(TonemapColour, HueSaturationAndVibranceInHsv) {
    ColorModSettings s = neutral();
    s.hue = 1.f / 3.f; // a third of a turn moves red to green
    EXPECT_LT(cv::norm(run({0.2f, 0.2f, 0.8f}, s) - cv::Vec3f(0.2f, 0.8f, 0.2f)), 2e-4);
    s.hue = 1.f; // a whole turn is neutral through HSV
    const cv::Vec3f some(0.3f, 0.5f, 0.7f);
    EXPECT_LT(cv::norm(run(some, s) - run(some, neutral())), 1e-5);
    s = neutral();
    s.saturation = 0.f; // grey at the HSV value
    EXPECT_LT(cv::norm(run({0.1f, 0.6f, 0.3f}, s) - cv::Vec3f(0.6f, 0.6f, 0.6f)), 2e-5);
    s.saturation = 1.5f; // S = 0.5 -> 0.5 * 0.5 + 1 = 1.25 -> S' = 0.625; the curve keeps channel ratios
    const cv::Vec3f spread = run({0.4f, 0.4f, 0.8f}, s);
    EXPECT_NEAR(spread[0] / spread[2], 1.f - 0.625f, 1e-4f);
    s = neutral();
    s.vibrance = 0.5f; // scales the existing saturation: grey stays grey
    EXPECT_LT(cv::norm(run({0.4f, 0.4f, 0.4f}, s) - cv::Vec3f(0.4f, 0.4f, 0.4f)), 2e-5);
}

TEST(TonemapColour, ExposureContrastAndBlack) {
    const ColorModSettings up = colorModSettings(exposureTermsFor(1.f), 1.f, 0.f, 1.f, 0.f);
    EXPECT_NEAR(run({0.2f, 0.2f, 0.2f}, up)[1], 0.4f, 1e-5f); // one stop doubles
    EXPECT_NEAR(run({0.7f, 0.7f, 0.7f}, up)[1], 1.f, 1e-3f);  // and clamps at white
    // Contrast above 1 is the square (c sqrt(x) - 0.8 (c - 1))^2; 0.5 is the straight line 0.5 x + 0.375.
    for (float c : {1.6f, 0.5f}) {
        const ContrastTerms t = contrastTermsFor(c);
        for (float x : {0.f, 0.01f, 0.09f, 0.3f, 1.f}) {
            const float expected =
                c > 1.f ? std::pow(c * std::sqrt(x) - 0.8f * (c - 1.f), 2.f) : 0.5f * x + 0.375f;
            EXPECT_NEAR(t.sqrtCoef * std::sqrt(x) + t.linearCoef * x + t.offset, expected, 1e-5f)
                << c << " " << x;
        }
    }
    const ColorModSettings contrasty = colorModSettings(exposureTermsFor(0.f), 1.6f, 0.f, 1.f, 0.f);
    EXPECT_NEAR(run({0.5f, 0.5f, 0.5f}, contrasty)[0], std::pow(1.6f * std::sqrt(0.5f) - 0.48f, 2.f), 1e-4f);
    // Without a toe black reaches the curve as L = 0 and stays black, never NaN.
    ColorModSettings noToe = neutral();
    noToe.toeWidth = noToe.toeSlope = 0.f;
    EXPECT_EQ(run({0.f, 0.f, 0.f}, noToe), cv::Vec3f(0.f, 0.f, 0.f));
}

TEST(TonemapColour, CurveRescalesByLightnessAndThreadsChangeNoPixel) {
    ToneCurve curve;
    curve.setWhites(1.f);
    curve.setHighlights(0.5f);
    const cv::Vec3f in(0.75f, 0.8f, 0.7f);
    const cv::Vec3f o =
        applyColorModifications(curve, cv::Mat(1, 1, CV_32FC3, cv::Scalar(in[0], in[1], in[2])), neutral(), 1)
            .at<cv::Vec3f>(0, 0);
    const float l = (0.75f + 40.f * 0.8f + 20.f * 0.7f) / 61.f;
    const float k = std::sqrt(curve.evaluate(l * l)) / l;
    EXPECT_GT(k, 1.f);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(o[c], in[c] * k, 1e-5f);

    const cv::Mat grey(5, 7, CV_32FC1, cv::Scalar(0.25f));
    ToneCurve plain;
    EXPECT_NEAR(applyColorModifications(plain, grey, neutral(), 1).at<cv::Vec3f>(4, 6)[2], 0.25f, 1e-5f);
    cv::Mat many(37, 23, CV_32FC3);
    cv::RNG(11).fill(many, cv::RNG::UNIFORM, 0.0, 1.2);
    const ColorModSettings s = colorModSettings(exposureTermsFor(0.3f), 1.2f, 0.1f, 1.3f, 0.2f);
    ToneCurve c1, c3;
    EXPECT_EQ(cv::norm(applyColorModifications(c1, many, s, 1), applyColorModifications(c3, many, s, 3),
                       cv::NORM_INF),
              0.0);
}

} // namespace
} // namespace lumora
