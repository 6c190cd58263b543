// The local Laplacian operator against a plain whole-image formulation, its pyramids and its edge cases.

#include "ReferenceLaplacian.h"

#include "tonemap/Laplacian.h"
#include "tonemap/LaplacianFilter.h"
#include "tonemap/LaplacianKernels.h"
#include "tonemap/LaplacianPyramid.h"
#include "tonemap/Percentile.h"
#include "tonemap/RemapAccumulate.h"
#include "tonemap/ToneMapParams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace lumora {
namespace {

using test::Plane;

// Log-luminance-like values: a smooth gradient, a sharp edge and noise, spanning several natural log units.
cv::Mat logScene(int rows, int cols, int seed) {
    cv::Mat m(rows, cols, CV_32F);
    cv::RNG rng(static_cast<uint64_t>(seed));
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            m.at<float>(y, x) = static_cast<float>(-4.0 + 3.0 * x / cols + (y > rows / 2 ? 1.5 : 0.0) +
                                                   rng.uniform(-0.3, 0.3));
    return m;
}

cv::Mat hdrScene(int rows, int cols, int seed) {
    cv::Mat m(rows, cols, CV_32FC3);
    cv::RNG rng(static_cast<uint64_t>(seed));
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) {
            const double base = std::exp(-5.0 + 5.0 * x / cols) * (y < rows / 3 ? 0.05 : 1.0);
            m.at<cv::Vec3f>(y, x) = cv::Vec3f(static_cast<float>(base * rng.uniform(0.5, 1.0)),
                                              static_cast<float>(base * rng.uniform(0.5, 1.0)),
                                              static_cast<float>(base * rng.uniform(0.5, 1.0)));
        }
    return m;
}

double maxRelativeError(const cv::Mat& got, const Plane& expected) {
    double worst = 0.0;
    for (int y = 0; y < got.rows; ++y)
        for (int x = 0; x < got.cols; ++x)
            worst = std::max(worst, std::fabs(got.at<float>(y, x) - expected(y, x)) /
                                        (1.0 + std::fabs(expected(y, x))));
    return worst;
}

TEST(TonemapLaplacian, FilterEqualsWholeImageFormulation) {
    struct Case {
        int rows, cols;
        int slider; // both "TM1" sliders at this position
        float sigmaR;
    };
    // The sliders at 0 (alpha 1), 30 and 60 (details enhanced), -50 (smoothed) and 100 (alpha 0, every detail
    // at full strength); sizes larger than the first levels' windows, odd and even sides; the operator's
    // sigmaR and another one whose detail range spans more octaves of the noise level.
    const Case cases[] = {{33, 40, 0, std::log(2.5f)},  {29, 24, 30, std::log(2.5f)},
                          {26, 31, 60, std::log(2.5f)}, {21, 9, -50, std::log(2.5f)},
                          {24, 26, 100, 1.f},           {25, 22, 30, 3.f}};
    for (const Case& c : cases) {
        const std::array<float, 3> t = operatorTripleFromPositions(0, c.slider, c.slider, 0);
        SCOPED_TRACE(testing::Message() << c.rows << "x" << c.cols << " slider " << c.slider);
        const cv::Mat img = logScene(c.rows, c.cols, c.rows * 7 + c.cols);
        const LapFilterParams p{t[0], t[1], c.sigmaR, 0.01f};
        const Plane expected = test::referenceLapFilter(Plane(img), {t[0], t[1], c.sigmaR, 0.01});
        // The widest vector loop, the 8-lane one and the portable one, on one thread and on several.
        for (const LapFilterOptions& o : {LapFilterOptions{1, true, true}, LapFilterOptions{3, true, true},
                                          LapFilterOptions{3, true, false}, LapFilterOptions{1, false, true},
                                          LapFilterOptions{3, false, true}}) {
            RunControl control;
            const cv::Mat got = lapfilterCore(img, p, control, o);
            ASSERT_EQ(got.size(), img.size());
            EXPECT_LT(maxRelativeError(got, expected), 2e-5)
                << "simd " << o.allowSimd << " wide " << o.allowWide << " threads " << o.threads;
            EXPECT_EQ(control.progress(), 100);
        }
    }
}

TEST(TonemapLaplacian, TabulatedDetailCurveFollowsThePower) {
    // One-sample windows read the remapping back from the accumulation: the tabulated curve of the vector
    // loop against the power of the portable one, over the whole detail range of each slider position.
    if (!remapSimdAvailable())
        GTEST_SKIP() << "no vector loop on this processor";
    const float sigma = std::log(2.5f);
    alignas(32) float samples[8] = {}, unit[8] = {}, none[8] = {};
    const float one = 1.f, zero = 0.f;
    for (int slider = -100; slider <= 100; slider += 10) {
        const std::array<float, 3> t = operatorTripleFromPositions(0, slider, slider, 0);
        RemapSetup s{0.3f, sigma, t[0], t[1], 0.01f};
        const DetailCurve curve = makeDetailCurve(s);
        s.curve = &curve;
        double worst = 0;
        for (int i = 0; i <= 4000; ++i) {
            const float value = s.g0 + sigma * (i / 2000.f - 1.f) * 1.05f; // a little past sigmaR either side
            samples[i % 8] = value;
            std::fill(unit, unit + 8, 0.f);
            unit[i % 8] = 1.f;
            const WindowWeights w{&one, &zero, unit, none};
            const float expected = remapSample(value, s) - s.g0;
            for (bool wide : {true, false}) // the 16-lane loop reads the 8 samples as its masked tail
                worst = std::max(
                    worst, double(std::fabs(remapAccumulate(samples, 8, 1, 8, w, s, true, wide) - expected)));
        }
        EXPECT_LT(worst, 5e-7 * sigma) << "slider " << slider;
    }
}

TEST(TonemapLaplacian, OperatorEqualsWholeImageFormulation) {
    // alpha = beta = 1 skips the filter: luminance fitted to 100:1 and encoded, the brightest reaching white;
    // beta above 1 keeps values above 1 (no range fitting, no display power).
    cv::Mat img = hdrScene(27, 34, 5);
    img(cv::Rect(8, 8, 4, 4)).setTo(cv::Scalar::all(0.9)); // a bright patch whose edges get expanded
    for (auto [alpha, beta] : {std::pair{0.5f, 0.f}, std::pair{1.f, 0.5f}, std::pair{0.8f, 1.5f},
                               std::pair{1.f, 1.f}, std::pair{1.f, 2.f}}) {
        SCOPED_TRACE(testing::Message() << "alpha " << alpha << " beta " << beta);
        Laplacian op;
        const float params[3] = {alpha, beta, 0.f};
        cv::Mat out;
        op.toneMap(out, img, params);
        ASSERT_EQ(out.type(), CV_32FC3);
        EXPECT_LT(cv::norm(out, test::referenceToneMap(img, alpha, beta), cv::NORM_INF), 2e-4);
        EXPECT_EQ(op.progress(), 100);
        double minV = 0, maxV = 0;
        cv::minMaxLoc(out.reshape(1), &minV, &maxV);
        EXPECT_GE(minV, 0.0);
        if (alpha == 1.f && beta == 1.f) {
            EXPECT_NEAR(maxV, 1.0, 1e-5);
        } else if (beta > 1.f) {
            EXPECT_GT(maxV, 1.0);
        }
    }
}

TEST(TonemapLaplacian, OperatorGivesTheSameImageOnOneOrSeveralThreads) {
    const cv::Mat img = hdrScene(720, 800, 3); // large enough for the per-pixel passes to split in bands
    const float params[3] = {1.f, 0.f, 0.f};
    cv::Mat one, several;
    Laplacian op;
    op.setWorkerCount(1);
    op.toneMap(one, img, params);
    op.setWorkerCount(3);
    op.toneMap(several, img, params);
    ASSERT_EQ(one.size(), img.size());
    EXPECT_EQ(cv::norm(one, several, cv::NORM_INF), 0.0);
}

TEST(TonemapLaplacian, SinglePixel) {
    EXPECT_EQ(pyramidLevelCount(1, 1), 1);
    const cv::Mat one(1, 1, CV_32F, cv::Scalar(-2.5f));
    RunControl control;
    const cv::Mat filtered = lapfilterCore(one, {0.3f, 0.2f, 1.f, 0.01f}, control);
    ASSERT_EQ(filtered.size(), cv::Size(1, 1));
    EXPECT_FLOAT_EQ(filtered.at<float>(0, 0), -2.5f); // no level to filter

    // Through the operator: R / hi is 1, so each channel is its ratio to the luminance, clamped, ^(1/2.2).
    const cv::Mat px(1, 1, CV_32FC3, cv::Scalar(0.2, 0.4, 0.1));
    Laplacian op;
    const float params[3] = {0.5f, 0.5f, 0.f};
    cv::Mat out;
    op.toneMap(out, px, params);
    const double l = (20 * 0.1 + 40 * 0.4 + 0.2) / 61;
    const cv::Vec3f v = out.at<cv::Vec3f>(0, 0);
    EXPECT_NEAR(v[0], std::pow(0.2 / l, 1 / 2.2), 1e-5);
    EXPECT_NEAR(v[1], 1.0, 1e-6);
    EXPECT_NEAR(v[2], std::pow(0.1 / l, 1 / 2.2), 1e-5);
}

TEST(TonemapLaplacian, PyramidsCollapseBackAndCountLevels) {
    EXPECT_EQ(pyramidLevelCount(2, 2), 2);
    EXPECT_EQ(pyramidLevelCount(5, 100), 4); // 5 -> 3 -> 2 -> 1
    EXPECT_EQ(pyramidLevelCount(1000, 1000), 11);
    EXPECT_EQ(pyramidLevelCount(1, 500), 1);
    const cv::Mat img = logScene(23, 18, 2);
    const int n = pyramidLevelCount(img.rows, img.cols);
    const cv::Mat back = collapsePyramid(laplacianPyramid(img, n));
    EXPECT_LT(cv::norm(back, img, cv::NORM_INF), 1e-5);
    // The whole-image pyramid agrees with the plain one level by level.
    const std::vector<cv::Mat> g = gaussianPyramid(img, n);
    const std::vector<Plane> rg = test::referenceGaussian(Plane(img));
    ASSERT_EQ(g.size(), rg.size());
    for (size_t k = 0; k < g.size(); ++k)
        EXPECT_LT(maxRelativeError(g[k], rg[k]), 1e-6) << "level " << k;
}

TEST(TonemapLaplacian, RemappingFunction) {
    RemapSetup s{0.f, 1.f, 0.5f, 0.5f, 0.01f};
    EXPECT_NEAR(remapSample(0.25f, s), 0.5f, 1e-6f);    // detail: u^0.5
    EXPECT_NEAR(remapSample(-0.25f, s), -0.5f, 1e-6f);  // odd around g0
    EXPECT_NEAR(remapSample(0.005f, s), 0.005f, 1e-7f); // below the noise level details stay
    EXPECT_NEAR(remapSample(3.f, s), 2.f, 1e-6f);       // edge: (3 - 1) * 0.5 + 1
    EXPECT_EQ(remapSample(0.f, s), 0.f);
    s.alpha = 2.f;
    s.g0 = 1.f;
    EXPECT_NEAR(remapSample(1.5f, s), 1.25f, 1e-6f); // 1 + 0.5^2
    // Noise fade half way: t = 0.5, tau = 0.25 * 2.25.
    s.alpha = 0.5f;
    s.g0 = 0.f;
    const float d = 0.015f, u = d, tau = 0.25f * 2.25f;
    EXPECT_NEAR(remapSample(d, s), (std::sqrt(u) - u) * tau + u, 1e-6f);
}

TEST(TonemapLaplacian, Percentiles) {
    std::vector<float> v{4.f, 1.f, 3.f, 2.f}; // positions 12.5, 37.5, 62.5, 87.5
    EXPECT_DOUBLE_EQ(*percentile(v, 50.0), 2.5);
    EXPECT_DOUBLE_EQ(*percentile(v, 25.0), 1.5);
    EXPECT_DOUBLE_EQ(*percentile(v, 12.5), 1.0);
    EXPECT_DOUBLE_EQ(*percentile(v, 5.0), 1.0);
    EXPECT_DOUBLE_EQ(*percentile(v, 100.0), 4.0);
    EXPECT_FALSE(percentile(v, -1.0).has_value());
    EXPECT_FALSE(percentile(v, 100.5).has_value());
    std::vector<float> single{7.f};
    EXPECT_DOUBLE_EQ(*percentile(single, 30.0), 7.0);
    std::vector<float> empty;
    EXPECT_FALSE(percentile(empty, 30.0).has_value());

    cv::Mat img = logScene(30, 30, 8);
    std::vector<double> all(img.begin<float>(), img.end<float>());
    for (double p : {0.5, 33.3, 99.5})
        EXPECT_NEAR(*imagePercentile(img, p), test::referencePercentile(all, p), 1e-6) << p;

    // Both ends of a range from one copy are exactly what each alone gives: with ties, non-finite samples,
    // ranks next to each other and sizes too small for the shortcut.
    cv::Mat ties(40, 30, CV_32F);
    cv::randu(ties, 0, 6);
    ties.convertTo(ties, CV_32S);
    ties.convertTo(ties, CV_32F);
    cv::Mat holes = logScene(60, 50, 8);
    holes.at<float>(3, 4) = std::numeric_limits<float>::quiet_NaN();
    holes.at<float>(7, 1) = std::numeric_limits<float>::infinity();
    for (const cv::Mat& image :
         {img, ties, holes, cv::Mat(1, 1, CV_32F, cv::Scalar(2)), cv::Mat(2, 1, CV_32F, cv::Scalar(3))})
        for (const auto& [low, high] : {std::pair{0.5, 99.5}, {0.0, 100.0}, {50.0, 50.0}, {49.0, 51.0}}) {
            const auto range = imagePercentileRange(image, low, high);
            ASSERT_TRUE(range.has_value());
            EXPECT_EQ(range->first, *imagePercentile(image, low)) << image.size() << " " << low;
            EXPECT_EQ(range->second, *imagePercentile(image, high)) << image.size() << " " << high;
        }
}

TEST(TonemapLaplacian, CancelledFilterReturnsNothing) {
    const cv::Mat img = logScene(40, 40, 1);
    RunControl control;
    control.requestCancel();
    EXPECT_TRUE(lapfilterCore(img, {0.5f, 0.5f, 1.f, 0.01f}, control).empty());

    Laplacian op;
    op.cancel();
    cv::Mat out;
    const float params[3] = {0.5f, 0.5f, 0.f};
    op.toneMap(out, hdrScene(40, 40, 1), params);
    EXPECT_TRUE(out.empty());
}

} // namespace
} // namespace lumora
