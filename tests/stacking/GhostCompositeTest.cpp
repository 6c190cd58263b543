// The anti-ghosting composite: the tolerance rule, the mask clean-up, what is copied where (inner blocks,
// margin bands with their propagation), the three depths, threads, progress and interruption.

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
                   int radius, int block, cv::Mat& out, int threads = 1, RunControl* control = nullptr) {
    RunControl ownControl;
    CompositeSettings s;
    s.searchRadius = radius;
    s.ghostTolerance = tolerance;
    s.blockSize = block;
    s.threadCount = threads;
    lumora::CompositeResult r = g.compose(chosen, aligned, s, control ? *control : ownControl);
    out = r.image;
    return r.outcome;
}

TEST(GhostTolerance, ThresholdIsTheToleranceScaledPlusAFractionOfTheValue) {
    const auto t = lumora::buildToleranceTable(4.f, 255.f, 256);
    EXPECT_FLOAT_EQ(t[0], 0.04f);
    EXPECT_NEAR(t[100], 0.04 + 0.035 * 100 / 255, 1e-5);
    EXPECT_NEAR(t[255], 0.04 + 0.035, 1e-5);
    // 8 bits, tolerance 4 at value 200: 10.2 + 7 = 17.2, so 17 is tolerated and 18 is a ghost.
    cv::Mat chosen(1, 3, CV_8UC1, cv::Scalar(200)), aligned(1, 3, CV_8UC1);
    aligned.at<uchar>(0, 0) = 200 + 17;
    aligned.at<uchar>(0, 1) = 200 - 18;
    aligned.at<uchar>(0, 2) = 200;
    cv::Mat mask;
    EXPECT_TRUE(lumora::detectGhosts(chosen, aligned, t, 255.f, mask));
    EXPECT_EQ(mask.at<uchar>(0, 0), 0);
    EXPECT_EQ(mask.at<uchar>(0, 1), 255);
    EXPECT_EQ(mask.at<uchar>(0, 2), 0);
    // Tolerance 0: any difference in any channel is a ghost.
    const auto zero = lumora::buildToleranceTable(0.f, 65535.f, 65536);
    for (float v : zero)
        ASSERT_EQ(v, 0.f);
    cv::Mat c16(1, 2, CV_16UC3, cv::Scalar(1000, 2000, 3000)), a16 = c16.clone();
    a16.at<cv::Vec3w>(0, 1)[2] = 3001;
    EXPECT_TRUE(lumora::detectGhosts(c16, a16, zero, 65535.f, mask));
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

TEST(GhostComposite, WithoutGhostsTheAlignedFrameIsKeptAsItIs) {
    // A long-exposure tolerance tolerates everything, at every depth.
    for (int type : {CV_8UC3, CV_16UC3, CV_32FC3}) {
        const cv::Mat aligned = texture(60, 80, 2, type);
        GhostCompositor g;
        cv::Mat out;
        ASSERT_EQ(compose(g, texture(60, 80, 1, type), aligned, 100.f, 20, 5, out), RunOutcome::Finished);
        EXPECT_FALSE(g.ghostsFound());
        EXPECT_TRUE(equal(out, aligned)) << type;
    }
    // An identical frame has no ghost and skips the motion estimate.
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
TEST(GhostComposite, AShiftIsUndoneInInnerBlocksAndMarginBandsAtEveryDepth) {
    struct Case {
        int type, block, threads, dx, dy;
    };
    const Case cases[] = {{CV_8UC3, 15, 1, 3, 0}, {CV_8UC3, 15, 1, 0, 2},  {CV_8UC3, 5, 1, 3, 0},
                          {CV_8UC3, 5, 1, 0, 2},  {CV_8UC3, 1, 1, 3, 0},   {CV_8UC3, 1, 1, 0, 2},
                          {CV_16UC3, 5, 1, 3, 0}, {CV_32FC3, 5, 1, 0, -2}, {CV_8UC1, 5, 2, -3, 0}};
    const int rows = 70, cols = 90;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "type " << c.type << " block " << c.block << " shift " << c.dx << "," << c.dy);
        const cv::Mat chosen = texture(rows, cols, 4, c.type);
        cv::Mat aligned = shifted(chosen, c.dx, c.dy, texture(rows, cols, 5, c.type));
        if (CV_MAT_DEPTH(c.type) ==
            CV_32F) // float frames are matched at 255 / their own maximum: keep both at 1
            aligned.at<cv::Vec3f>(rows - 1, 0)[0] = 1.0f;
        GhostCompositor g;
        cv::Mat out;
        ASSERT_EQ(compose(g, chosen, aligned, 0.f, 17, c.block, out, c.threads), RunOutcome::Finished);
        EXPECT_TRUE(g.ghostsFound());
        const cv::Rect checked =
            c.dy == 0 ? cv::Rect(12, 0, cols - 12 - 12, rows) : cv::Rect(0, 11, cols, rows - 11 - 24);
        EXPECT_TRUE(equal(out(checked), chosen(checked)));
        // In a band the first row (or column) is matched and the rest of the band is marked as done.
        const cv::Point matched = c.dy == 0 ? cv::Point(30, 0) : cv::Point(0, 30);
        const cv::Point propagated = c.dy == 0 ? cv::Point(30, 5) : cv::Point(5, 30);
        EXPECT_EQ(g.ghostMask().at<uchar>(matched), 255);
        EXPECT_EQ(g.ghostMask().at<uchar>(propagated), 120);
    }
}

TEST(GhostComposite, AMovingObjectIsPutBackWhereTheChosenFrameHasItWhateverTheThreads) {
    const cv::Mat background = texture(100, 140, 7);
    const cv::Mat object = texture(24, 24, 8);
    cv::Mat chosen = background.clone(), aligned = background.clone();
    object.copyTo(chosen(cv::Rect(50, 40, 24, 24)));
    object.copyTo(aligned(cv::Rect(60, 44, 24, 24))); // moved 10 right, 4 down
    // A small one at the top: its ghost covers the upper part of the margin band only.
    object(cv::Rect(0, 0, 6, 4)).copyTo(chosen(cv::Rect(100, 0, 6, 4)));
    object(cv::Rect(0, 0, 6, 4)).copyTo(aligned(cv::Rect(103, 1, 6, 4)));
    GhostCompositor g;
    cv::Mat out;
    ASSERT_EQ(compose(g, chosen, aligned, 0.f, 20, 1, out), RunOutcome::Finished);
    const cv::Rect inside(53, 43, 18, 18); // the object in the chosen frame, away from its outline
    EXPECT_TRUE(equal(out(inside), chosen(inside)));
    // With one-pixel blocks, every pixel the mask does not mark keeps the aligned frame's value.
    int changedUnmarked = 0;
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            changedUnmarked +=
                g.ghostMask().at<uchar>(y, x) == 0 && out.at<cv::Vec3b>(y, x) != aligned.at<cv::Vec3b>(y, x);
    EXPECT_EQ(changedUnmarked, 0);
    EXPECT_GT(cv::countNonZero(g.ghostMask()(cv::Rect(90, 0, 30, 9))), 0)
        << "the object in the band is a ghost";
    EXPECT_EQ(cv::countNonZero(g.ghostMask()(cv::Rect(90, 8, 30, 1))), 0) << "and leaves the band's last row";
    // And the mask marks the cleaned differences, no more: matching never spreads it.
    cv::Mat differences;
    ASSERT_TRUE(lumora::detectGhosts(chosen, aligned, lumora::buildToleranceTable(0.f, 255.f, 256), 255.f,
                                     differences));
    lumora::cleanGhostMask(differences);
    EXPECT_EQ(cv::countNonZero(cv::Mat(g.ghostMask() > 0) != cv::Mat(differences > 0)), 0);

    // A moving patch plus noise-like differences: the split over threads never changes a pixel.
    cv::Mat patched = texture(120, 150, 6);
    patched(cv::Rect(40, 30, 30, 30)).setTo(cv::Scalar(10, 200, 30));
    GhostCompositor one, three;
    cv::Mat outOne, outThree;
    ASSERT_EQ(compose(one, texture(120, 150, 6), patched, 2.f, 25, 5, outOne, 1), RunOutcome::Finished);
    ASSERT_EQ(compose(three, texture(120, 150, 6), patched, 2.f, 25, 5, outThree, 3), RunOutcome::Finished);
    EXPECT_TRUE(equal(outOne, outThree));
    EXPECT_TRUE(equal(one.ghostMask(), three.ghostMask()));
}

TEST(GhostComposite, ProgressInterruptionAndFramesTooSmallOrMismatched) {
    GhostCompositor g;
    cv::Mat out;
    RunControl run;
    ASSERT_EQ(compose(g, texture(80, 80, 11), texture(80, 80, 12), 0.f, 17, 5, out, 1, &run),
              RunOutcome::Finished);
    EXPECT_EQ(run.progress(), 100);
    // The smallest frame has no inner block: it works and reports no block progress.
    run.reset();
    ASSERT_EQ(compose(g, texture(18, 18, 9), texture(18, 18, 10), 0.f, 17, 5, out, 4, &run),
              RunOutcome::Finished);
    EXPECT_EQ(run.progress(), 0);
    EXPECT_EQ(out.size(), cv::Size(18, 18));

    const cv::Mat chosen = texture(40, 40, 13);
    run.reset();
    run.requestStop();
    EXPECT_EQ(compose(g, chosen, chosen, 0.f, 17, 5, out, 1, &run), RunOutcome::Stopped);
    // Frames of another size are refused up front: a smaller one would otherwise be read past its end.
    for (const cv::Size other : {cv::Size(41, 40), cv::Size(39, 40), cv::Size(40, 39)})
        EXPECT_EQ(compose(g, chosen, texture(other.height, other.width, 13), 0.f, 17, 5, out),
                  RunOutcome::Failed)
            << other;
    EXPECT_EQ(compose(g, texture(17, 40, 1), texture(17, 40, 2), 0.f, 17, 5, out), RunOutcome::Failed);
}

} // namespace
