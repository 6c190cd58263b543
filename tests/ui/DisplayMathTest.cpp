// The arithmetic behind what the window shows: fitting an image into the preview, placing frames on the
// timeline bar, and marking over- and under-exposed pixels.

#include "ui/ExposureHighlight.h"
#include "ui/PlayerController.h"
#include "ui/TimelineController.h"

#include <gtest/gtest.h>

namespace {

using namespace lumora;

TEST(DisplayMath, FitIntoKeepsTheAspectAndFillsOneSide) {
    EXPECT_EQ(fitInto(1920, 1080, 800, 600), QSize(800, 450)); // wider: full width
    EXPECT_EQ(fitInto(1080, 1920, 800, 600), QSize(337, 600)); // taller: full height, 337.5 truncated
    EXPECT_EQ(fitInto(320, 240, 640, 480), QSize(640, 480));
    EXPECT_EQ(fitInto(3, 1, 100, 100), QSize(100, 33));
    EXPECT_TRUE(fitInto(0, 100, 800, 600).isEmpty());
    EXPECT_TRUE(fitInto(100, 0, 800, 600).isEmpty());
    EXPECT_TRUE(fitInto(100, 100, 0, 600).isEmpty());
}

TEST(DisplayMath, TimelineSpreadsFramesOverTheBarWithIntegerDivision) {
    EXPECT_EQ(timelineOffset(600, 0, 300), 0);
    EXPECT_EQ(timelineOffset(600, 299, 300), 600);
    EXPECT_EQ(timelineOffset(600, 150, 300), 600 * 150 / 299);
    EXPECT_EQ(timelineOffset(7, 1, 3), 3);
    EXPECT_EQ(timelineOffset(40000, 99999, 100000), 40000); // products beyond 32 bits do not wrap
    EXPECT_EQ(timelineOffset(600, 0, 1), 0);                // one frame sits at the start
    EXPECT_EQ(timelineOffset(600, 0, 0), 0);
}

TEST(DisplayMath, ExposureHighlightMarksMeansAtTheLimits) {
    // 98% of 255 is 249 and 2% is 5 (integer arithmetic); with overlapping limits over-exposure wins.
    const cv::Vec3b over(150, 150, 255), under(0, 0, 110);
    struct Case {
        cv::Vec3b pixel;
        bool over, under;
        int overLimit, underLimit;
        cv::Vec3b shown;
    };
    const Case cases[] = {
        {{249, 249, 249}, true, true, 98, 2, over},
        {{255, 250, 242}, true, true, 98, 2, over},
        {{248, 248, 248}, true, true, 98, 2, {248, 248, 248}},
        {{5, 5, 5}, true, true, 98, 2, under},
        {{6, 6, 6}, true, true, 98, 2, {6, 6, 6}},
        {{5, 5, 5}, true, false, 98, 2, {5, 5, 5}},
        {{250, 250, 250}, false, true, 98, 2, {250, 250, 250}},
        {{100, 100, 100}, true, true, 10, 90, over},
    };
    for (const Case& c : cases)
        EXPECT_EQ(highlightExposure(cv::Mat(1, 1, CV_8UC3, cv::Scalar(c.pixel[0], c.pixel[1], c.pixel[2])),
                                    c.over, c.under, c.overLimit, c.underLimit)
                      .at<cv::Vec3b>(0, 0),
                  c.shown)
            << c.pixel;
    // Grey images become colour; the source is not changed; no flag leaves the image itself.
    const cv::Mat grey(2, 2, CV_8UC1, cv::Scalar(255));
    const cv::Mat marked = highlightExposure(grey, true, false, 98, 2);
    ASSERT_EQ(marked.channels(), 3);
    EXPECT_EQ(marked.at<cv::Vec3b>(1, 1), over);
    EXPECT_EQ(grey.at<uchar>(0, 0), 255);
    EXPECT_EQ(highlightExposure(grey, false, false, 98, 2).data, grey.data);
}

} // namespace
