// The automatic search radius: the median-plus-margin rule, and the estimate on frames whose moving part
// moved by a known amount (none, 3 pixels, 30 pixels on a half-size copy), or where no corner can be found.

#include "stacking/GhostingPower.h"
#include "TestImages.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

using lumora::GhostingPowerEstimator;
using lumora::test::texture;

TEST(GhostingPowerRule, MedianDisplacementPlusMargin) {
    EXPECT_EQ(GhostingPowerEstimator::radiusFromMedian(0.f, 800, 800), 18); // no motion
    EXPECT_EQ(GhostingPowerEstimator::radiusFromMedian(9.f, 800, 800), 21); // 3 px
    EXPECT_EQ(GhostingPowerEstimator::radiusFromMedian(900.f, 2048, 1024),
              70);                                                            // 30 px at half scale: 60 + 10
    EXPECT_EQ(GhostingPowerEstimator::radiusFromMedian(576.f, 800, 800), 42); // 24 is still "small": + 18
    EXPECT_EQ(GhostingPowerEstimator::radiusFromMedian(625.f, 800, 800), 35); // 25: + 10
    EXPECT_EQ(GhostingPowerEstimator::radiusFromMedian(10.9f, 800, 800), 21); // truncated before the root
}

TEST(GhostingPowerRule, TextureThresholdIsAFractionOfTheValueRange) {
    EXPECT_DOUBLE_EQ(GhostingPowerEstimator::textureThreshold(CV_8U), 5.7375);
    EXPECT_DOUBLE_EQ(GhostingPowerEstimator::textureThreshold(CV_16U), 1474.5375);
    EXPECT_DOUBLE_EQ(GhostingPowerEstimator::textureThreshold(CV_32F), 0.0225);
}

// chosen: a texture; aligned: the same with the rectangle `moving` showing the texture displaced by dx.
struct Scene {
    cv::Mat chosen, aligned, mask;
};

Scene movingPatch(int rows, int cols, cv::Rect moving, int dx) {
    Scene s;
    s.chosen = texture(rows, cols, 41, CV_8UC3, 1.5);
    s.aligned = s.chosen.clone();
    s.chosen(moving - cv::Point(dx, 0)).copyTo(s.aligned(moving));
    s.mask = cv::Mat::zeros(rows, cols, CV_8UC1);
    s.mask(moving).setTo(255);
    return s;
}

cv::Mat smallCopy(const cv::Mat& chosen) {
    const double f = 1024.0 / std::max({chosen.rows, chosen.cols, 1024});
    if (f >= 1.0)
        return chosen;
    cv::Mat out;
    cv::resize(chosen, out, cv::Size(), f, f, cv::INTER_LINEAR);
    return out;
}

TEST(GhostingPowerEstimate, NothingMovedGivesEighteen) {
    const Scene s = movingPatch(300, 400, cv::Rect(100, 80, 160, 140), 0);
    GhostingPowerEstimator e;
    EXPECT_EQ(e.estimate(s.chosen, smallCopy(s.chosen), s.aligned, s.mask), 18);
    EXPECT_FALSE(e.featureMap().empty());
}

TEST(GhostingPowerEstimate, ThreePixelMotionGivesTwentyOne) {
    const Scene s = movingPatch(300, 400, cv::Rect(100, 80, 160, 140), 3);
    GhostingPowerEstimator e;
    EXPECT_EQ(e.estimate(s.chosen, smallCopy(s.chosen), s.aligned, s.mask), 21);
}

TEST(GhostingPowerEstimate, ThirtyPixelsOnTheHalfSizeCopyOfAWideFrameGiveSeventy) {
    // 60 px in a 2048-wide frame is 30 px on its 1024-wide copy: D = 30 * 2048 / 1024 = 60, radius 60 + 10.
    const Scene s = movingPatch(600, 2048, cv::Rect(600, 150, 800, 300), 60);
    GhostingPowerEstimator e;
    const cv::Mat small = smallCopy(s.chosen);
    ASSERT_EQ(small.cols, 1024);
    EXPECT_EQ(e.estimate(s.chosen, small, s.aligned, s.mask), 70);
}

TEST(GhostingPowerEstimate, NoCornerInTheGhostAreaGivesSeventeenAndIsRetriedNextTime) {
    // Left half textured, right half flat; the first mask covers only the flat part.
    Scene s = movingPatch(300, 400, cv::Rect(40, 80, 120, 140), 3);
    s.chosen(cv::Rect(200, 0, 200, 300)).setTo(cv::Scalar(90, 90, 90));
    s.aligned(cv::Rect(200, 0, 200, 300)).setTo(cv::Scalar(90, 90, 90));
    cv::Mat flatMask = cv::Mat::zeros(300, 400, CV_8UC1);
    flatMask(cv::Rect(240, 60, 120, 180)).setTo(255);
    GhostingPowerEstimator e;
    EXPECT_EQ(e.estimate(s.chosen, smallCopy(s.chosen), s.aligned, flatMask), 17);
    EXPECT_TRUE(e.featureMap().empty());
    EXPECT_EQ(e.estimate(s.chosen, smallCopy(s.chosen), s.aligned, s.mask), 21);
    EXPECT_FALSE(e.featureMap().empty());
}

} // namespace
