// The anti-ghosting composite: the tolerance rule, the mask clean-up, what is copied where (inner blocks,
// margin bands with their propagation, corners), the three depths, threads, progress and interruption.

#include "stacking/GhostComposite.h"
#include "TestImages.h"
#include "stacking/GhostMask.h"

#include <gtest/gtest.h>

namespace {

using lumora::CompositeSettings;
using lumora::GhostCompositor;
using lumora::RunControl;
using lumora::RunOutcome;
using lumora::test::shifted;
using lumora::test::texture;

bool equal(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(cv::Mat(a != b).reshape(1)) == 0;
}

RunOutcome compose(GhostCompositor& g, const cv::Mat& chosen, const cv::Mat& aligned, float tolerance,
                   int radius, int block, cv::Mat& out, int threads = 1) {
    RunControl run;
    CompositeSettings s;
    s.searchRadius = radius;
    s.ghostTolerance = tolerance;
    s.blockSize = block;
    s.threadCount = threads;
    return g.compose(chosen, aligned, s, run, out);
}

TEST(GhostTolerance, TableStartsAtTheToleranceAndGrowsWithTheValue) {
    const auto t = lumora::buildToleranceTable(4.f, 255.f, 256);
    EXPECT_FLOAT_EQ(t[0], 0.04f);
    EXPECT_NEAR(t[255], 0.04 + 0.035, 1e-5);
    EXPECT_NEAR(t[100], 0.04 + 0.035 * 100 / 255, 1e-5);
    for (float v : lumora::buildToleranceTable(0.f, 255.f, 256))
        EXPECT_EQ(v, 0.f);
}

TEST(GhostTolerance, EightBitThresholdIsTwoPointFiveFiveTimesTolerancePlusAFractionOfTheValue) {
    // tolerance 4 at value 200: 10.2 + 7 = 17.2, so 17 is tolerated and 18 is a ghost
    const auto table = lumora::buildToleranceTable(4.f, 255.f, 256);
    cv::Mat chosen(1, 3, CV_8UC1, cv::Scalar(200)), aligned(1, 3, CV_8UC1);
    aligned.at<uchar>(0, 0) = 200 + 17;
    aligned.at<uchar>(0, 1) = 200 - 18;
    aligned.at<uchar>(0, 2) = 200;
    cv::Mat mask;
    EXPECT_TRUE(lumora::detectGhosts(chosen, aligned, table, 255.f, mask));
    EXPECT_EQ(mask.at<uchar>(0, 0), 0);
    EXPECT_EQ(mask.at<uchar>(0, 1), 255);
    EXPECT_EQ(mask.at<uchar>(0, 2), 0);
}

TEST(GhostTolerance, ToleranceZeroMakesAnyDifferenceInAnyChannelAGhost) {
    const auto table = lumora::buildToleranceTable(0.f, 65535.f, 65536);
    cv::Mat chosen(1, 2, CV_16UC3, cv::Scalar(1000, 2000, 3000)), aligned = chosen.clone();
    aligned.at<cv::Vec3w>(0, 1)[2] = 3001;
    cv::Mat mask;
    EXPECT_TRUE(lumora::detectGhosts(chosen, aligned, table, 65535.f, mask));
    EXPECT_EQ(mask.at<uchar>(0, 0), 0);
    EXPECT_EQ(mask.at<uchar>(0, 1), 255);
}

TEST(GhostMaskCleanUp, IsolatedPixelsVanishAndASmallBlobGrowsToNineByNine) {
    cv::Mat mask = cv::Mat::zeros(40, 40, CV_8UC1);
    mask.at<uchar>(5, 5) = 255;              // alone: eroded away
    mask(cv::Rect(20, 20, 3, 3)).setTo(255); // 3x3: its centre survives, then 9x9 around it
    lumora::cleanGhostMask(mask);
    EXPECT_EQ(cv::countNonZero(mask), 81);
    EXPECT_EQ(cv::countNonZero(mask(cv::Rect(17, 17, 9, 9))), 81);
}

TEST(GhostComposite, LongExposureToleranceKeepsTheAlignedFrameAsItIs) {
    for (int type : {CV_8UC3, CV_16UC3, CV_32FC3}) {
        const cv::Mat chosen = texture(60, 80, 1, type);
        const cv::Mat aligned = texture(60, 80, 2, type);
        GhostCompositor g;
        cv::Mat out;
        ASSERT_EQ(compose(g, chosen, aligned, 100.f, 20, 5, out), RunOutcome::Finished);
        EXPECT_FALSE(g.ghostsFound());
        EXPECT_TRUE(equal(out, aligned)) << type;
    }
}

TEST(GhostComposite, IdenticalFrameHasNoGhostAndSkipsTheMotionEstimate) {
    const cv::Mat chosen = texture(64, 64, 3);
    GhostCompositor g;
    cv::Mat out;
    ASSERT_EQ(compose(g, chosen, chosen.clone(), 0.f, -1, 5, out), RunOutcome::Finished);
    EXPECT_FALSE(g.ghostsFound());
    EXPECT_EQ(g.lastSearchRadius(), 17);
    EXPECT_TRUE(equal(out, chosen));
}

// The whole frame's content moved by (dx, dy): every match whose search window can reach the shift finds its
// source exactly, so the composite gives the chosen frame back there. A horizontal shift is reachable in the
// inner blocks and the top and bottom bands (matched once per column, the rows below reusing it); a vertical
// one in the inner blocks and the left and right bands (once per row, propagated to the right). The last row
// of blocks is left out: its template is moved up inside the frame, which leaves no room to look downwards.
void expectShiftUndone(int type, int block, int threads, int dx, int dy) {
    const int rows = 70, cols = 90;
    const cv::Mat chosen = texture(rows, cols, 4, type);
    cv::Mat aligned = shifted(chosen, dx, dy, texture(rows, cols, 5, type));
    if (CV_MAT_DEPTH(type) == CV_32F) // float frames are matched at 255 / their own maximum: keep both at 1
        aligned.at<cv::Vec3f>(rows - 1, 0)[0] = 1.0f;
    GhostCompositor g;
    cv::Mat out;
    ASSERT_EQ(compose(g, chosen, aligned, 0.f, 17, block, out, threads), RunOutcome::Finished);
    EXPECT_TRUE(g.ghostsFound());
    const cv::Rect checked =
        dy == 0 ? cv::Rect(12, 0, cols - 12 - 12, rows) : cv::Rect(0, 11, cols, rows - 11 - 24);
    EXPECT_TRUE(equal(out(checked), chosen(checked)))
        << "type " << type << " block " << block << " shift " << dx << "," << dy;
    if (dy == 0) {
        // top band: the first row of a column is matched, the rows below it in the band are marked as done
        EXPECT_EQ(g.ghostMask().at<uchar>(0, 30), 255);
        EXPECT_EQ(g.ghostMask().at<uchar>(5, 30), 120);
    } else {
        EXPECT_EQ(g.ghostMask().at<uchar>(30, 0), 255);
        EXPECT_EQ(g.ghostMask().at<uchar>(30, 5), 120);
    }
}

TEST(GhostComposite, ShiftIsUndoneInInnerBlocksAndMarginBands) {
    for (int block : {15, 5, 1}) {
        expectShiftUndone(CV_8UC3, block, 1, 3, 0);
        expectShiftUndone(CV_8UC3, block, 1, 0, 2);
    }
}

TEST(GhostComposite, SixteenBitAndFloatFramesMatchOnTheirEightBitCopies) {
    expectShiftUndone(CV_16UC3, 5, 1, 3, 0);
    expectShiftUndone(CV_32FC3, 5, 1, 0, -2);
    expectShiftUndone(CV_8UC1, 5, 2, -3, 0);
}

TEST(GhostComposite, ThreadCountDoesNotChangeTheResult) {
    const cv::Mat chosen = texture(120, 150, 6);
    cv::Mat aligned = texture(120, 150, 6);
    // a moving patch plus noise-like differences
    aligned(cv::Rect(40, 30, 30, 30)).setTo(cv::Scalar(10, 200, 30));
    GhostCompositor a, b;
    cv::Mat outA, outB;
    ASSERT_EQ(compose(a, chosen, aligned, 2.f, 25, 5, outA, 1), RunOutcome::Finished);
    ASSERT_EQ(compose(b, chosen, aligned, 2.f, 25, 5, outB, 3), RunOutcome::Finished);
    EXPECT_TRUE(equal(outA, outB));
    EXPECT_TRUE(equal(a.ghostMask(), b.ghostMask()));
}

TEST(GhostComposite, MovingObjectIsPutBackWhereTheChosenFrameHasIt) {
    const cv::Mat background = texture(100, 140, 7);
    const cv::Mat object = texture(24, 24, 8);
    cv::Mat chosen = background.clone(), aligned = background.clone();
    object.copyTo(chosen(cv::Rect(50, 40, 24, 24)));
    object.copyTo(aligned(cv::Rect(60, 44, 24, 24))); // moved 10 right, 4 down
    GhostCompositor g;
    cv::Mat out;
    ASSERT_EQ(compose(g, chosen, aligned, 0.f, 20, 1, out), RunOutcome::Finished);
    const cv::Rect inside(53, 43, 18, 18); // the object in the chosen frame, away from its outline
    EXPECT_TRUE(equal(out(inside), chosen(inside)));
    // where nothing differs the aligned frame is kept untouched
    const cv::Rect still(0, 0, 140, 25);
    EXPECT_TRUE(equal(out(still), aligned(still)));
}

TEST(GhostComposite, SmallestFrameWorksAndReportsNoBlockProgress) {
    const cv::Mat chosen = texture(18, 18, 9);
    const cv::Mat aligned = texture(18, 18, 10);
    GhostCompositor g;
    RunControl run;
    CompositeSettings s;
    s.searchRadius = 17;
    s.threadCount = 4;
    cv::Mat out;
    ASSERT_EQ(g.compose(chosen, aligned, s, run, out), RunOutcome::Finished);
    EXPECT_EQ(run.progress(), 0);
    EXPECT_EQ(out.size(), chosen.size());
}

TEST(GhostComposite, ProgressEndsAtOneHundred) {
    const cv::Mat chosen = texture(80, 80, 11);
    GhostCompositor g;
    RunControl run;
    CompositeSettings s;
    cv::Mat out;
    ASSERT_EQ(g.compose(chosen, texture(80, 80, 12), s, run, out), RunOutcome::Finished);
    EXPECT_EQ(run.progress(), 100);
}

TEST(GhostComposite, RequestBeforeStartOrOddInputsEndWithoutAComposite) {
    const cv::Mat chosen = texture(40, 40, 13);
    GhostCompositor g;
    RunControl run;
    run.requestStop();
    cv::Mat out;
    EXPECT_EQ(g.compose(chosen, chosen, CompositeSettings{}, run, out), RunOutcome::Stopped);
    run.reset();
    EXPECT_EQ(g.compose(chosen, texture(40, 41, 13), CompositeSettings{}, run, out), RunOutcome::Failed);
    EXPECT_EQ(g.compose(texture(17, 40, 1), texture(17, 40, 2), CompositeSettings{}, run, out),
              RunOutcome::Failed);
}

} // namespace
