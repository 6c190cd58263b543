// The frame-quality strip on a generated burst: a still stretch with one sharp frame among blurred ones, then
// a stretch shaken by known offsets.

#include "sharpness/FrameQuality.h"
#include "sharpness/Sharpness.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

using namespace lumora;

constexpr int kWidth = 200, kHeight = 150, kFrames = 24, kSharp = 5, kStillEnd = 12;
// Camera offsets of the shaken stretch, in pixels; the still stretch stays at 0.
const int kShakeX[] = {0, 7, -5, 6, -8, 3, 8, -6, 5, -4, 7, -7};
const int kShakeY[] = {0, -4, 6, -7, 3, 8, -5, 4, -6, 7, -3, 5};

class FrameQualityBurst : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        cv::Mat scene(kHeight + 40, kWidth + 40, CV_8UC3);
        cv::randu(scene, 0, 256);
        cv::GaussianBlur(scene, scene, cv::Size(), 1.2);
        cv::RNG rng(7);
        for (int k = 0; k < kFrames; ++k) {
            const int s = k - kStillEnd;
            const cv::Point at(20 + (s >= 0 ? kShakeX[s] : 0), 20 + (s >= 0 ? kShakeY[s] : 0));
            cv::Mat frame = scene(cv::Rect(at, cv::Size(kWidth, kHeight))).clone();
            if (k != kSharp)
                cv::GaussianBlur(frame, frame, cv::Size(), 2.0);
            cv::Mat noise(frame.size(), CV_16SC3);
            rng.fill(noise, cv::RNG::NORMAL, 0, 1.5);
            frame.convertTo(frame, CV_16SC3);
            cv::add(frame, noise, frame);
            frame.convertTo(frame, CV_8UC3);
            files_.push_back(path(k));
            ASSERT_TRUE(cv::imwrite(files_.back(), frame));
        }
    }
    static void TearDownTestSuite() { delete dir_; }
    static std::string path(int k) {
        return dir_->filePath(QStringLiteral("f%1.png").arg(k, 2, 10, QLatin1Char('0'))).toStdString();
    }

    static QTemporaryDir* dir_;
    static std::vector<std::string> files_;
};
QTemporaryDir* FrameQualityBurst::dir_ = nullptr;
std::vector<std::string> FrameQualityBurst::files_;

TEST_F(FrameQualityBurst, SharpnessIsTheMeasureAndTheSharpFrameIsMarked) {
    RunControl run;
    const FrameQualityStrip strip = computeFrameQuality(files_, FrameQualityOptions{}, run);
    ASSERT_EQ(strip.outcome, RunOutcome::Finished);
    ASSERT_EQ(strip.frames.size(), std::size_t(kFrames));
    EXPECT_EQ(run.progress(), 100);
    for (int k : {0, kSharp, 9, 17, kFrames - 1})
        EXPECT_FLOAT_EQ(strip.frames[std::size_t(k)].sharpness, sharpness(cv::imread(path(k)))) << k;
    EXPECT_EQ(sharpestMoments(strip.frames, kFrames), std::vector<int>{kSharp});
    EXPECT_EQ(sharpestNear(strip.frames, 9, 4), kSharp);
    EXPECT_NE(sharpestNear(strip.frames, 20, 3), kSharp) << "out of reach";
}

TEST_F(FrameQualityBurst, MotionTellsTheStillStretchFromTheShakenOne) {
    RunControl run;
    FrameQualityOptions options;
    options.workers = 2;
    const FrameQualityStrip strip = computeFrameQuality(files_, options, run);
    ASSERT_EQ(strip.frames.size(), std::size_t(kFrames));
    for (int k = 1; k < kStillEnd; ++k) {
        EXPECT_LT(strip.frames[std::size_t(k)].shift, 0.3f) << k;
        if (k != kSharp && k != kSharp + 1) { // the sharp frame differs from its neighbours in detail only
            EXPECT_LT(strip.frames[std::size_t(k)].residual, 3.f) << k;
        }
    }
    // The shaken frames move by the offsets' differences (in percent of the width), and once the shift is
    // taken out little is left.
    for (int s = 1; s < kFrames - kStillEnd; ++s) {
        const FrameQuality& q = strip.frames[std::size_t(kStillEnd + s)];
        const double expected =
            100.0 * std::hypot(kShakeX[s] - kShakeX[s - 1], kShakeY[s] - kShakeY[s - 1]) / kWidth;
        EXPECT_NEAR(q.shift, expected, 0.6) << s;
        EXPECT_LT(q.residual, 4.f) << s;
    }

    RunControl canceled;
    canceled.requestCancel();
    const FrameQualityStrip none = computeFrameQuality(files_, options, canceled);
    EXPECT_EQ(none.outcome, RunOutcome::Canceled);
    EXPECT_TRUE(none.frames.empty());
}

} // namespace
