// Operators 1 (LogMapping), 2 (LC_Model) and 4 (LayerProcessing) with the bilateral filter: closed-form
// values, the guards that turn degenerate input black, cancellation, and plausibility on a light image.

#include "OperatorTestImages.h"
#include "TestEnvironment.h"
#include "tonemap/BilateralFilter.h"
#include "tonemap/LayerProcessing.h"
#include "tonemap/LayerStages.h"
#include "tonemap/LocalContrastModel.h"
#include "tonemap/LogMapping.h"
#include "tonemap/ToneMapParams.h"
#include "tonemap/ToneMappingBase.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

using namespace lumora;

namespace {

bool allFinite(const cv::Mat& m) {
    return cv::checkRange(m, true, nullptr, -1e30, 1e30);
}

double maxAbs(const cv::Mat& m) {
    double lo = 0, hi = 0;
    cv::minMaxLoc(m.reshape(1), &lo, &hi);
    return std::max(std::fabs(lo), std::fabs(hi));
}

// BT.709-style encoding used by the logarithmic operator, written out for the expectations.
double encode(double s) {
    return s > 0.012 ? 1.099 * std::pow(s, 0.9 / 2.2) - 0.099 : 6.75 * s;
}

cv::Mat frameLight(int rows) {
    return test::lightImageFromFrame(test::testMediaPath("burst_tif16/frame_000.tif"), rows);
}

} // namespace

// LogMapping

TEST(LogMapping, GreyLevelsFollowTheClosedForm) {
    const std::vector<float> levels = {0.01f, 0.1f, 0.5f, 1.0f};
    for (float bias : {0.5f, 0.85f}) {
        const cv::Mat out = logmapping::mapToDisplay(test::greyLevels(levels, 8, 8), bias);
        ASSERT_EQ(out.type(), CV_32FC3);
        const double e = std::log(bias) / std::log(0.5);
        auto mapped = [&](double Y) {
            return std::log(Y + 1.0) / std::log(2.0 + 8.0 * std::pow(Y / 1.0, e)) / std::log10(2.0);
        };
        const double lo = mapped(levels.front()), hi = mapped(levels.back());
        for (size_t i = 0; i < levels.size(); ++i) {
            const double expected = encode((mapped(levels[i]) - lo) / (hi - lo));
            const cv::Vec3f got = out.at<cv::Vec3f>(0, static_cast<int>(i));
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(got[c], expected, 2e-3) << "bias " << bias << " level " << levels[i];
        }
    }
}

TEST(LogMapping, PixelsWithoutLightGiveBlack) {
    cv::Mat in = test::greyLevels({0.f, 0.3f, 0.f, 0.9f}, 6, 8); // every other pixel has y = 0
    // Black before the colour recipe (whose contrast curve lifts every black alike).
    const cv::Mat out = logmapping::mapToDisplay(in, 0.85f);
    for (int r = 0; r < in.rows; ++r)
        for (int c = 0; c < in.cols; ++c)
            if (in.at<cv::Vec3f>(r, c)[0] == 0.f) {
                EXPECT_LE(maxAbs(cv::Mat(out.at<cv::Vec3f>(r, c))), 1e-6) << r << "," << c;
            }
}

// LC_Model

TEST(LcModel, PixelsWithoutLightGiveBlack) {
    LC_Model op;
    const float params[3] = {5.f, 10.f, 5.f};
    cv::Mat out;
    op.toneMap(out, test::greyLevels({0.f, 0.2f, 0.7f}, 6, 6), params);
    EXPECT_TRUE(allFinite(out));
    EXPECT_EQ(maxAbs(cv::Mat(out.at<cv::Vec3f>(0, 0))), 0.0);
}

TEST(LcModel, BetaZeroLeavesTheRescaledLogBrightness) {
    // Flat sigmoid: the weight is all zeros and R is lv rescaled to [0, 1]; grey pixels keep ratio 1.
    const std::vector<float> levels = {0.05f, 0.3f, 0.9f};
    const cv::Mat in = test::greyLevels(levels, 6, 6); // 36 pixels, each level 12 times
    double meanLog = 0;
    for (float v : levels)
        meanLog += std::log10(100.0 * v) / levels.size();
    const double k = meanLog / 6.0 + 2.0 / 3.0;
    std::vector<double> lv;
    for (float v : levels)
        lv.push_back(std::log10(100.0 * std::pow(v, k)) / std::log(100.0));
    LC_Model op;
    const float params[3] = {0.01f, 0.f, 3.f};
    cv::Mat out;
    op.toneMap(out, in, params);
    for (size_t i = 0; i < levels.size(); ++i) {
        const double expected = (lv[i] - lv.front()) / (lv.back() - lv.front());
        const cv::Vec3f got = out.at<cv::Vec3f>(0, static_cast<int>(i));
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got[c], expected, 1e-4) << "level " << levels[i];
    }
}

// LayerProcessing and the bilateral filter

TEST(LayerProcessing, GammaOnlySetsTheLuminanceScaleOfTheFirstStep) {
    cv::Mat in = test::greyLevels({0.001f, 0.2f, 1.f}, 4, 6);
    in.at<cv::Vec3f>(1, 1) = cv::Vec3f(0.9f, 0.1f, 0.3f);
    const cv::Mat a = layerprocessing::absoluteXYZ(in, 100.f);
    const cv::Mat b = layerprocessing::absoluteXYZ(in, 5000.f);
    double lo = 0, hi = 0;
    cv::Mat Y;
    cv::extractChannel(b, Y, 1);
    cv::minMaxLoc(Y, &lo, &hi);
    EXPECT_NEAR(hi, 5000.0, 5000.0 * 1e-5);
    for (int r = 0; r < a.rows; ++r)
        for (int c = 0; c < a.cols; ++c)
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(b.at<cv::Vec3f>(r, c)[k] / a.at<cv::Vec3f>(r, c)[k], 50.0, 50.0 * 1e-5);

    const cv::Mat dark = layerprocessing::absoluteXYZ(cv::Mat::zeros(3, 3, CV_32FC3), 2525.f);
    EXPECT_TRUE(cv::checkRange(dark, true, nullptr, 1e-8 * (1 - 1e-6), 1e-8 * (1 + 1e-6)));
}

TEST(LayerProcessing, LuminanceAdaptationFactorFollowsTheColourAppearanceModel) {
    // The colour appearance model's worked example (adapting luminance 318.31 cd/m2) and a dim surround where
    // k = 1 / (5 LA + 1) = 0.5 weighs both terms: 0.2 k^4 5LA + 0.1 (1 - k^4)^2 (5LA)^(1/3).
    EXPECT_NEAR(layerprocessing::adaptationFactor(318.31f), 1.16754, 2e-5);
    EXPECT_NEAR(layerprocessing::adaptationFactor(0.2f), 0.2 * 0.0625 + 0.1 * 0.9375 * 0.9375, 1e-6);
}

TEST(LayerProcessing, CancelDuringTheThreadStepTakesEffectAfterBothJoin) {
    LayerProcessing op;
    bool hookRan = false;
    op.setBetweenThreadsHook([&] {
        hookRan = true;
        op.cancel();
    });
    const float params[3] = {0.7f, 1.f, 2525.f};
    cv::Mat out = cv::Mat::ones(2, 2, CV_32FC3);
    op.toneMap(out, frameLight(96), params);
    EXPECT_TRUE(hookRan);
    EXPECT_TRUE(op.isCanceled());
    EXPECT_EQ(op.progress(), 60) << "nothing after the two threads ran";
    EXPECT_TRUE(out.empty());
}

TEST(LayerProcessing, EqualRowsStayEqual) {
    // Rows that are all alike come out alike, down to the last one of an odd row count.
    LayerProcessing op;
    const float params[3] = {0.7f, 1.f, 2525.f};
    cv::Mat ramp(1, 50, CV_32FC3);
    for (int x = 0; x < 50; ++x)
        ramp.at<cv::Vec3f>(0, x) = cv::Vec3f(0.002f * (x + 1), 0.01f * (x + 1), 0.004f * (x + 1));
    cv::Mat out;
    op.toneMap(out, cv::repeat(ramp, 33, 1), params);
    ASSERT_EQ(out.rows, 33);
    EXPECT_TRUE(allFinite(out));
    for (int y = 1; y < out.rows; ++y)
        EXPECT_LE(maxAbs(out.row(y) - out.row(0)), 1e-4) << "row " << y;
}

TEST(BilateralFilter, KeepsFlatImagesAndSharpStepsAndSmoothsSmallDifferencesLikeAGaussian) {
    cv::Mat flat(50, 60, CV_32F, cv::Scalar(-3.5)), out;
    cv_extend::bilateralFilter(flat, out, 6.0, 0.35);
    EXPECT_LE(maxAbs(out - flat), 1e-5);

    // A step of 10 range sigmas: nothing leaks across it.
    cv::Mat step(60, 80, CV_32F, cv::Scalar(-2.0));
    step.colRange(40, 80).setTo(1.5);
    cv_extend::bilateralFilter(step, out, 8.0, 0.35);
    EXPECT_LE(maxAbs(out - step), 1e-3);

    // With a range sigma far above the noise the filter is the spatial Gaussian.
    cv::Mat noise(120, 120, CV_32F);
    cv::RNG rng(7);
    rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
    cv_extend::bilateralFilter(noise, out, 6.0, 100.0);
    cv::Mat gauss;
    cv::GaussianBlur(noise, gauss, cv::Size(37, 37), 6.0, 6.0, cv::BORDER_REFLECT);
    const cv::Rect inner(24, 24, 72, 72);
    double sum = 0;
    for (int r = inner.y; r < inner.br().y; ++r)
        for (int c = inner.x; c < inner.br().x; ++c)
            sum += std::fabs(out.at<float>(r, c) - gauss.at<float>(r, c));
    const double noiseAfter = std::sqrt(1.0 / 12.0) / (2.0 * std::sqrt(M_PI) * 6.0); // std of blurred noise
    EXPECT_LT(sum / inner.area(), 0.25 * noiseAfter);
}

// Error of the fast filter against the direct sum on the log luminance of a light image, with isolated very
// dark pixels (1e-8, eight log units below their surroundings). Bounds: mean 0.005 and 99.9th percentile 0.05
// log10 units; the dark pixels must keep their own level within 0.02.
TEST(BilateralFilter, FastFilterStaysCloseToTheDirectSumOnALightImage) {
    const cv::Mat light = frameLight(360);
    ASSERT_FALSE(light.empty());
    cv::Mat xyz = layerprocessing::absoluteXYZ(light, 2525.f);
    cv::Mat Y;
    cv::extractChannel(xyz, Y, 1);
    std::mt19937 gen(11);
    std::vector<cv::Point> dark;
    for (int i = 0; i < 40; ++i) {
        const cv::Point p(std::uniform_int_distribution<int>(0, Y.cols - 1)(gen),
                          std::uniform_int_distribution<int>(0, Y.rows - 1)(gen));
        Y.at<float>(p) = 1e-8f;
        dark.push_back(p);
    }
    cv::Mat logY;
    cv::log(Y, logY);
    logY *= 1.0 / std::log(10.0);
    const double sigmaS = 0.02 * logY.rows;
    cv::Mat fast, shared;
    ASSERT_TRUE(cv_extend::bilateralFilter(logY, fast, sigmaS, 0.35));
    // Shared out over threads, every grid cell still sums the same terms in the same order.
    ASSERT_TRUE(cv_extend::bilateralFilter(logY, shared, sigmaS, 0.35, 3));
    EXPECT_EQ(cv::norm(fast, shared, cv::NORM_INF), 0.0);

    std::vector<float> errors;
    for (int i = 0; i < 3000; ++i) {
        const int x = std::uniform_int_distribution<int>(0, logY.cols - 1)(gen);
        const int y = std::uniform_int_distribution<int>(0, logY.rows - 1)(gen);
        errors.push_back(
            std::fabs(fast.at<float>(y, x) - cv_extend::bilateralFilterDirectAt(logY, x, y, sigmaS, 0.35)));
    }
    double worstDark = 0;
    for (const cv::Point& p : dark) {
        const float e =
            std::fabs(fast.at<float>(p) - cv_extend::bilateralFilterDirectAt(logY, p.x, p.y, sigmaS, 0.35));
        errors.push_back(e);
        worstDark = std::max(worstDark, double(e));
    }
    double mean = 0;
    for (float e : errors)
        mean += e / errors.size();
    std::sort(errors.begin(), errors.end());
    const double p999 = errors[static_cast<size_t>(0.999 * (errors.size() - 1))];
    EXPECT_LT(mean, 0.005);
    EXPECT_LT(p999, 0.05);
    EXPECT_LT(worstDark, 0.02);
}

// Every operator of this file on a light image, with its sliders at their middle positions.

class OperatorsOnLightImage : public ::testing::TestWithParam<int> {};

// Plausible at the sliders' centres: a mid-range mean, real contrast, and brightness that follows the scene's
// log luminance. Whatever the positions, finite and displayable (operator 4's colourfulness pushed high once
// turned samples into NaN, and ranking them for the display stretch crashed; saturated colours under a strong
// lightness exponent leave the cone space's positive range, where the signed powers must keep their sign).
// A constant image has no contrast to show: black.
TEST_P(OperatorsOnLightImage, GiveAPlausibleFiniteDisplayImageAtEverySliderPositionAndFlatImagesBlack) {
    const cv::Mat light = frameLight(200);
    ASSERT_FALSE(light.empty()) << "generated media missing";
    const int index = GetParam();
    std::unique_ptr<ToneMappingBase> op = createToneMappingOperator(index);
    ASSERT_TRUE(op);
    std::vector<std::array<int, 3>> settings{{0, 0, 0}, {60, 60, 60}};
    for (int slider = 0; slider < 3; ++slider)
        for (int position : {-100, -50, 50, 100}) {
            settings.push_back({0, 0, 0});
            settings.back()[size_t(slider)] = position;
        }
    for (const auto& [a, b, c] : settings) {
        SCOPED_TRACE(testing::Message() << "positions " << a << " " << b << " " << c);
        const std::array<float, 3> params = operatorTripleFromPositions(index, a, b, c);
        cv::Mat out;
        op->toneMap(out, light, params.data());
        ASSERT_EQ(out.size(), light.size());
        ASSERT_EQ(out.channels(), 3);
        EXPECT_EQ(op->progress(), 100);
        cv::Point bad;
        EXPECT_TRUE(cv::checkRange(out, true, &bad, 0.0, 1.0 + 1e-6))
            << "finite and within [0, 1]; at " << bad << ": " << out.at<cv::Vec3f>(bad.y, bad.x / 3);
        if (a != 0 || b != 0 || c != 0)
            continue;
        cv::Mat grey, inGrey, logIn;
        cv::cvtColor(out, grey, cv::COLOR_BGR2GRAY);
        cv::cvtColor(light, inGrey, cv::COLOR_BGR2GRAY);
        cv::log(cv::max(inGrey, 1e-6f), logIn);
        cv::Scalar mean, stddev, mIn, sIn;
        cv::meanStdDev(grey, mean, stddev);
        EXPECT_GT(mean[0], 0.1);
        EXPECT_LT(mean[0], 0.7);
        EXPECT_GT(stddev[0], 0.08);
        cv::meanStdDev(logIn, mIn, sIn);
        const double cov = cv::mean((grey - mean[0]).mul(logIn - mIn[0]))[0];
        EXPECT_GT(cov / (stddev[0] * sIn[0]), 0.7) << "correlation with the input's log luminance";
    }
    const std::array<float, 3> params = operatorTripleFromPositions(index, 0, 0, 0);
    for (float v : {0.f, 0.25f, 1.f}) {
        cv::Mat out;
        op->toneMap(out, cv::Mat(40, 50, CV_32FC3, cv::Scalar::all(v)), params.data());
        ASSERT_EQ(out.size(), cv::Size(50, 40));
        EXPECT_TRUE(allFinite(out));
        EXPECT_LE(maxAbs(out), 1e-6) << "constant " << v;
    }
}

// The display stretch ranks finite samples only: a NaN left by an earlier stage shows black, and the others
// still fill the display (it once indexed outside the ranking's histogram).
TEST(LayerDisplayStretch, NonFiniteSamplesShowBlackAndTheOthersStillFillTheDisplay) {
    cv::Mat xyz(40, 50, CV_32FC3);
    cv::randu(xyz, 0.1f, 1.f);
    cv::Mat damaged = xyz.clone();
    for (int i = 0; i < 30; ++i)
        damaged.at<cv::Vec3f>(i, i + 5) = cv::Vec3f::all(std::numeric_limits<float>::quiet_NaN());
    const cv::Mat clean = layerprocessing::toDisplayRgb(xyz, 1.f, 1);
    const cv::Mat out = layerprocessing::toDisplayRgb(damaged, 1.f, 1);
    ASSERT_TRUE(cv::checkRange(out, true, nullptr, 0.0, 1.0 + 1e-6));
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(out.at<cv::Vec3f>(i, i + 5), cv::Vec3f(0, 0, 0));
    // The others still span the display between the percentiles, as the undamaged picture does.
    double lo = 0, hi = 0, cleanLo = 0, cleanHi = 0;
    cv::minMaxLoc(out.reshape(1), &lo, &hi);
    cv::minMaxLoc(clean.reshape(1), &cleanLo, &cleanHi);
    EXPECT_EQ(lo, cleanLo);
    EXPECT_EQ(hi, cleanHi);
}

INSTANTIATE_TEST_SUITE_P(Operators, OperatorsOnLightImage, ::testing::Values(1, 2, 4));
