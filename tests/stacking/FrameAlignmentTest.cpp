// Alignment by translation: a known synthetic shift, identical and 16-bit frames, frames that do not
// correlate, and the generated scene's recorded camera shifts (lossless 8-bit and 16-bit bursts: within
// 0.1 px; the clip: the coarse-to-fine and fast estimates agree with the single-scale one).

#include "stacking/FrameAlignment.h"
#include "SceneSidecar.h"
#include "TestEnvironment.h"
#include "TestImages.h"
#include "media/ImagesSequence.h"

#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

namespace {

using lumora::AlignMethod;
using lumora::test::texture;

cv::Vec2f translation(const cv::Mat& warp) {
    return {warp.at<float>(0, 2), warp.at<float>(1, 2)};
}

// The columns (or rows) that were shifted in from outside the frame are black: for a translation t the first
// or last floor(|t|) of them, depending on its sign.
void expectBlackBorder(const cv::Mat& aligned, cv::Vec2f t) {
    const int bx = static_cast<int>(std::floor(std::abs(t[0])));
    const int by = static_cast<int>(std::floor(std::abs(t[1])));
    if (bx > 0) {
        const cv::Rect band(t[0] > 0 ? aligned.cols - bx : 0, 0, bx, aligned.rows);
        EXPECT_EQ(cv::countNonZero(aligned(band).reshape(1)), 0) << "columns, t=" << t;
        const cv::Rect next(t[0] > 0 ? aligned.cols - bx - 2 : bx + 1, aligned.rows / 4, 1, aligned.rows / 2);
        EXPECT_GT(cv::countNonZero(aligned(next).reshape(1)), 0);
    }
    if (by > 0) {
        const cv::Rect band(0, t[1] > 0 ? aligned.rows - by : 0, aligned.cols, by);
        EXPECT_EQ(cv::countNonZero(aligned(band).reshape(1)), 0) << "rows, t=" << t;
    }
}

TEST(FrameAlignment, IdenticalSixteenBitUncorrelatedAndEmptyFrames) {
    for (AlignMethod m : {AlignMethod::CoarseToFine, AlignMethod::Fast}) {
        SCOPED_TRACE(static_cast<int>(m));
        const cv::Mat chosen = texture(120, 160, 53);
        cv::Mat warp;
        cv::Mat aligned = lumora::alignFrame(lumora::greyForAlignment(chosen), chosen.clone(), m, &warp);
        EXPECT_LT(cv::norm(translation(warp)), 1e-3);
        EXPECT_EQ(cv::countNonZero(cv::Mat(aligned != chosen).reshape(1)), 0);

        // 16-bit frames are estimated on a proxy and warped at 16 bits: the content moved by 4 columns comes
        // back, and the values between stay finer than 8-bit steps.
        lumora::test::LogCapture log;
        const cv::Mat deep = texture(100, 100, 54, CV_16UC3);
        const cv::Mat frame = lumora::test::shifted(deep, 4, 0, deep);
        aligned = lumora::alignFrame(lumora::greyForAlignment(deep), frame, m, &warp);
        EXPECT_NEAR(translation(warp)[0], 4.0, 0.05);
        EXPECT_NEAR(translation(warp)[1], 0.0, 0.05);
        ASSERT_EQ(aligned.type(), CV_16UC3);
        const cv::Rect inner(10, 10, 80, 80);
        cv::Mat diff;
        cv::absdiff(aligned(inner), deep(inner), diff);
        EXPECT_LT(cv::mean(diff.reshape(1))[0], 65535.0 / 255.0 / 4.0);
        EXPECT_TRUE(log.text().empty());

        // Frames that do not correlate give a finite warp; an empty frame is an error for the caller.
        const cv::Mat a = texture(100, 100, 55, CV_8UC1, 0.5);
        const AlignMethod uncorrelated = m == AlignMethod::Fast ? m : AlignMethod::SingleScale;
        EXPECT_NO_THROW(lumora::alignFrame(a, texture(100, 100, 56, CV_8UC1, 0.5), uncorrelated, &warp));
        EXPECT_TRUE(cv::checkRange(warp));
        EXPECT_THROW(lumora::alignFrame(a, cv::Mat(), m), cv::Exception);
    }
}

class LosslessBurst : public ::testing::TestWithParam<const char*> {};

TEST_P(LosslessBurst, ShiftsAreRecoveredWithinATenthOfAPixel) {
    const auto truth = lumora::test::readSceneSidecar(lumora::test::testMediaPath("burst.json"));
    ASSERT_EQ(truth.size(), 9u);
    auto load = [](int i) {
        char name[64];
        std::snprintf(name, sizeof name, GetParam(), i);
        return cv::imread(lumora::test::testMediaPath(name), cv::IMREAD_UNCHANGED);
    };
    const int c = 4;
    const cv::Mat chosen = load(c);
    ASSERT_FALSE(chosen.empty());
    const cv::Mat chosenGrey = lumora::greyForAlignment(chosen);
    // Frames up to three apart: further away the crossing disc covers enough of the frame to pull the global
    // estimate by about a tenth of a pixel.
    for (AlignMethod m : {AlignMethod::CoarseToFine, AlignMethod::Fast}) {
        const lumora::FrameAligner aligner(chosenGrey, m);
        for (int k = c - 3; k <= c + 3; ++k) {
            if (k == c)
                continue;
            cv::Mat warp;
            const cv::Mat aligned = aligner.align(load(k), &warp);
            // a scene point p is at p + shift in each frame, so the frame's content sits shift_k - shift_c
            // away
            const cv::Vec2f expected(static_cast<float>(truth[k].shiftX - truth[c].shiftX),
                                     static_cast<float>(truth[k].shiftY - truth[c].shiftY));
            EXPECT_NEAR(translation(warp)[0], expected[0], 0.1) << "frame " << k << " method " << int(m);
            EXPECT_NEAR(translation(warp)[1], expected[1], 0.1) << "frame " << k << " method " << int(m);
            expectBlackBorder(aligned, translation(warp));
            EXPECT_EQ(aligned.type(), chosen.type());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FrameAlignmentScene, LosslessBurst,
                         ::testing::Values("burst_png8/frame_%03d.png", "burst_tif16/frame_%03d.tif"));

TEST(FrameAlignmentScene, CoarseToFineAndFastAgreeWithSingleScaleOnTheClip) {
    lumora::ImagesSequence seq(lumora::test::testMediaPath("scene_720p.mp4"));
    ASSERT_TRUE(seq.ready());
    const auto truth = lumora::test::readSceneSidecar(lumora::test::testMediaPath("scene_720p.json"));
    ASSERT_GE(truth.size(), 25u);
    const std::vector<cv::Mat> frames = seq.getCvImagesInRange(16, 24);
    ASSERT_EQ(frames.size(), 9u);
    const cv::Mat chosenGrey = lumora::greyForAlignment(frames[4]);
    for (int i = 0; i < 9; ++i) {
        if (i == 4)
            continue;
        const cv::Mat grey = lumora::greyForAlignment(frames[static_cast<size_t>(i)]);
        const cv::Vec2f single =
            translation(lumora::estimateTranslation(chosenGrey, grey, AlignMethod::SingleScale));
        // Lossy coding and the crossing disc pull the estimates a little; they stay near the recorded shift.
        const cv::Vec2f expected(static_cast<float>(truth[16 + i].shiftX - truth[20].shiftX),
                                 static_cast<float>(truth[16 + i].shiftY - truth[20].shiftY));
        for (AlignMethod m : {AlignMethod::CoarseToFine, AlignMethod::Fast}) {
            const cv::Vec2f t = translation(lumora::estimateTranslation(chosenGrey, grey, m));
            EXPECT_LE(cv::norm(single - t), 0.1) << "frame " << 16 + i << " method " << int(m) << " " << t;
            EXPECT_LE(cv::norm(t - expected), 0.2) << "frame " << 16 + i << " method " << int(m);
        }
    }
}

} // namespace
