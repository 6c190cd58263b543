// The arithmetic behind what the window shows: fitting an image into the preview, placing frames on the
// timeline bar, and marking over- and under-exposed pixels.

#include "ui/ExposureHighlight.h"
#include "ui/PlayerController.h"
#include "ui/TimelineController.h"

#include <gtest/gtest.h>

namespace {

using namespace lumora;

TEST(FitInto, KeepsTheAspectAndFillsOneSide) {
    // Wider than the area: full width, height truncated.
    EXPECT_EQ(fitInto(1920, 1080, 800, 600), QSize(800, 450));
    // Taller than the area: full height, width truncated (600 * 9 / 16 = 337.5).
    EXPECT_EQ(fitInto(1080, 1920, 800, 600), QSize(337, 600));
    // Same aspect: the area itself.
    EXPECT_EQ(fitInto(320, 240, 640, 480), QSize(640, 480));
    EXPECT_EQ(fitInto(3, 1, 100, 100), QSize(100, 33));
}

TEST(FitInto, EmptySourceOrAreaGivesNothing) {
    EXPECT_TRUE(fitInto(0, 100, 800, 600).isEmpty());
    EXPECT_TRUE(fitInto(100, 0, 800, 600).isEmpty());
    EXPECT_TRUE(fitInto(100, 100, 0, 600).isEmpty());
}

TEST(TimelineOffset, SpreadsFramesOverTheBarWithIntegerDivision) {
    EXPECT_EQ(timelineOffset(600, 0, 300), 0);
    EXPECT_EQ(timelineOffset(600, 299, 300), 600);
    EXPECT_EQ(timelineOffset(600, 150, 300), 600 * 150 / 299);
    EXPECT_EQ(timelineOffset(7, 1, 3), 3);
    // Products beyond 32 bits do not wrap.
    EXPECT_EQ(timelineOffset(40000, 99999, 100000), 40000);
}

TEST(TimelineOffset, OneFrameSitsAtTheStart) {
    EXPECT_EQ(timelineOffset(600, 0, 1), 0);
    EXPECT_EQ(timelineOffset(600, 0, 0), 0);
}

cv::Mat grey3(uchar b, uchar g, uchar r) {
    return cv::Mat(1, 1, CV_8UC3, cv::Scalar(b, g, r));
}

TEST(ExposureHighlight, DefaultLimitsMarkMeans249And5) {
    // 98% of 255 is 249 and 2% is 5 (integer arithmetic).
    const cv::Vec3b lightRed(150, 150, 255), darkRed(0, 0, 110);
    EXPECT_EQ(highlightExposure(grey3(249, 249, 249), true, true, 98, 2).at<cv::Vec3b>(0, 0), lightRed);
    EXPECT_EQ(highlightExposure(grey3(255, 250, 242), true, true, 98, 2).at<cv::Vec3b>(0, 0), lightRed);
    EXPECT_EQ(highlightExposure(grey3(248, 248, 248), true, true, 98, 2).at<cv::Vec3b>(0, 0),
              cv::Vec3b(248, 248, 248));
    EXPECT_EQ(highlightExposure(grey3(5, 5, 5), true, true, 98, 2).at<cv::Vec3b>(0, 0), darkRed);
    EXPECT_EQ(highlightExposure(grey3(6, 6, 6), true, true, 98, 2).at<cv::Vec3b>(0, 0), cv::Vec3b(6, 6, 6));
    // Each flag alone marks only its side.
    EXPECT_EQ(highlightExposure(grey3(5, 5, 5), true, false, 98, 2).at<cv::Vec3b>(0, 0), cv::Vec3b(5, 5, 5));
    EXPECT_EQ(highlightExposure(grey3(250, 250, 250), false, true, 98, 2).at<cv::Vec3b>(0, 0),
              cv::Vec3b(250, 250, 250));
}

TEST(ExposureHighlight, OverWinsWhenBothLimitsMeet) {
    // With limits that overlap, a pixel at both is shown as over-exposed.
    EXPECT_EQ(highlightExposure(grey3(100, 100, 100), true, true, 10, 90).at<cv::Vec3b>(0, 0),
              cv::Vec3b(150, 150, 255));
}

TEST(ExposureHighlight, GreyImagesBecomeColourAndNoFlagLeavesTheImage) {
    const cv::Mat grey(2, 2, CV_8UC1, cv::Scalar(255));
    const cv::Mat marked = highlightExposure(grey, true, false, 98, 2);
    ASSERT_EQ(marked.channels(), 3);
    EXPECT_EQ(marked.at<cv::Vec3b>(1, 1), cv::Vec3b(150, 150, 255));
    EXPECT_EQ(grey.at<uchar>(0, 0), 255); // the source is not changed

    const cv::Mat untouched = highlightExposure(grey, false, false, 98, 2);
    EXPECT_EQ(untouched.data, grey.data);
    EXPECT_EQ(untouched.channels(), 1);
}

} // namespace
