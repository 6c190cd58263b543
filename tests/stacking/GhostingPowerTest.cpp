// The automatic search radius: the median-plus-margin rule, and the estimate on frames whose moving part
// moved by a known amount (none, 3 pixels, 30 pixels on a half-size copy), or where no corner can be found.

#include "stacking/GhostingPower.h"
#include "TestImages.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

using lumora::GhostingPowerEstimator;
using lumora::test::texture;

TEST(GhostingPower, RadiusIsTheMedianDisplacementPlusAMargin) {
    struct Case {
        float medianSquared;
        int width, height, radius;
    };
    const Case cases[] = {
        {0.f, 800, 800, 18},     // no motion
        {9.f, 800, 800, 21},     // 3 px
        {900.f, 2048, 1024, 70}, // 30 px on the half-size copy: 60 + 10
        {576.f, 800, 800, 42},   // 24 is still "small": + 18
        {625.f, 800, 800, 35},   // 25: + 10
        {10.9f, 800, 800, 21},   // truncated before the root
    };
    for (const Case& c : cases)
        EXPECT_EQ(GhostingPowerEstimator::radiusFromMedian(c.medianSquared, c.width, c.height), c.radius)
            << c.medianSquared;
}

// chosen: a texture; aligned: the same with the rectangle `moving` showing the texture displaced by dx.
struct Scene {
    cv::Mat chosen, small, aligned, mask;
};

Scene movingPatch(int rows, int cols, cv::Rect moving, int dx) {
    Scene s;
    s.chosen = texture(rows, cols, 41, CV_8UC3, 1.5);
    s.aligned = s.chosen.clone();
    s.chosen(moving - cv::Point(dx, 0)).copyTo(s.aligned(moving));
    s.mask = cv::Mat::zeros(rows, cols, CV_8UC1);
    s.mask(moving).setTo(255);
    const double f = 1024.0 / std::max({rows, cols, 1024});
    s.small = s.chosen;
    if (f < 1.0)
        cv::resize(s.chosen, s.small, cv::Size(), f, f, cv::INTER_LINEAR);
    return s;
}

TEST(GhostingPower, EstimateFindsTheMotionOfTheGhostArea) {
    struct Case {
        int rows, cols;
        cv::Rect moving;
        int dx, radius;
    };
    const Case cases[] = {
        {300, 400, {100, 80, 160, 140}, 0, 18},
        {300, 400, {100, 80, 160, 140}, 3, 21},
        // 60 px in a 2048-wide frame is 30 px on its 1024-wide copy: D = 30 * 2048 / 1024 = 60, radius 60 +
        // 10
        {600, 2048, {600, 150, 800, 300}, 60, 70},
    };
    for (const Case& c : cases) {
        const Scene s = movingPatch(c.rows, c.cols, c.moving, c.dx);
        GhostingPowerEstimator e;
        EXPECT_EQ(e.estimate(s.chosen, s.small, s.aligned, s.mask), c.radius) << c.dx;
        EXPECT_FALSE(e.featureMap().empty());
    }
    // Grey frames take the same path.
    const Scene s = movingPatch(300, 400, {100, 80, 160, 140}, 3);
    cv::Mat chosen, small, aligned;
    cv::cvtColor(s.chosen, chosen, cv::COLOR_BGR2GRAY);
    cv::cvtColor(s.small, small, cv::COLOR_BGR2GRAY);
    cv::cvtColor(s.aligned, aligned, cv::COLOR_BGR2GRAY);
    EXPECT_EQ(GhostingPowerEstimator().estimate(chosen, small, aligned, s.mask), 21);
}

TEST(GhostingPower, NoCornerInTheGhostAreaGivesSeventeenAndIsRetriedNextTime) {
    // Left half textured, right half flat; the first mask covers only the flat part.
    Scene s = movingPatch(300, 400, cv::Rect(40, 80, 120, 140), 3);
    s.chosen(cv::Rect(200, 0, 200, 300)).setTo(cv::Scalar(90, 90, 90));
    s.aligned(cv::Rect(200, 0, 200, 300)).setTo(cv::Scalar(90, 90, 90));
    cv::Mat flatMask = cv::Mat::zeros(300, 400, CV_8UC1);
    flatMask(cv::Rect(240, 60, 120, 180)).setTo(255);
    GhostingPowerEstimator e;
    EXPECT_EQ(e.estimate(s.chosen, s.chosen, s.aligned, flatMask), 17);
    EXPECT_TRUE(e.featureMap().empty());
    EXPECT_EQ(e.estimate(s.chosen, s.chosen, s.aligned, s.mask), 21);
    EXPECT_FALSE(e.featureMap().empty());
}

} // namespace
