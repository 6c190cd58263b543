// Stacking the generated scene clip: with high anti-ghosting the crossing disc appears only where the chosen
// frame has it (the places it passed through elsewhere look like background), while a long exposure smears
// it. Every sixth frame at half size keeps the disc's positions apart (it moves less than its diameter from
// one frame to the next) and the run short.

#include "InMemorySequence.h"
#include "MotionScene.h"
#include "TestEnvironment.h"
#include "TestImages.h"

#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

using lumora::StackingEngine;
using lumora::StackingParams;

constexpr int kStep = 6;
constexpr int kFirstClipFrame = 8; // clip frames 8, 14, 20, 26, 32: none of them motion-blurred
constexpr int kFrames = 5;
constexpr int kChosen = 2;
constexpr int kBefore = 2;
constexpr int kAfter = 2;
constexpr double kScale = 0.5;

class SceneStackingTest : public ::testing::Test {
protected:
    void SetUp() override {
        lumora::ImagesSequence clip(lumora::test::testMediaPath("scene_720p.mp4"));
        ASSERT_TRUE(clip.ready());
        const auto all = lumora::test::readSceneSidecar(lumora::test::testMediaPath("scene_720p.json"));
        ASSERT_GE(all.size(), static_cast<size_t>(kFirstClipFrame + kStep * (kFrames - 1) + 1));
        std::vector<cv::Mat> frames;
        for (int i = 0; i < kFrames; ++i) {
            const int k = kFirstClipFrame + kStep * i;
            const cv::Mat full = clip.getCvImageAt(k, false);
            ASSERT_FALSE(full.empty());
            ASSERT_FALSE(all[static_cast<size_t>(k)].blurred);
            cv::Mat half;
            cv::resize(full, half, cv::Size(), kScale, kScale, cv::INTER_AREA);
            frames.push_back(half);
            lumora::test::SceneFrameTruth t = all[static_cast<size_t>(k)];
            // pixel centres: x_half = (x_full + 0.5) * scale - 0.5
            t.objectX = (t.objectX + 0.5) * kScale - 0.5;
            t.objectY = (t.objectY + 0.5) * kScale - 0.5;
            t.shiftX *= kScale;
            t.shiftY *= kScale;
            t.objectRadius *= kScale;
            truth_.push_back(t);
        }
        chosen_ = frames[kChosen];
        sequence_ = std::make_unique<lumora::test::InMemorySequence>(frames);
    }
    cv::Mat stack(float tolerance) {
        StackingParams p;
        p.sequence = sequence_.get();
        p.chosenIndex = kChosen;
        p.firstIndex = kChosen - kBefore;
        p.frameCount = kBefore + 1 + kAfter;
        p.ghostTolerance = tolerance;
        p.searchRadiusPercent = -1.f;
        p.align = true;
        p.blockSize = 5;
        p.threadCount = 2;
        StackingEngine engine;
        cv::Mat light = engine.computeLightImage(p);
        EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Finished);
        for (const auto& r : engine.report())
            EXPECT_EQ(r.state, StackingEngine::FrameReport::State::Merged) << r.index;
        return light;
    }
    // Where the disc was in the other frames (in the chosen frame's coordinates after alignment), minus where
    // it is in the chosen frame.
    cv::Mat otherPositions() const {
        cv::Mat mask = cv::Mat::zeros(chosen_.size(), CV_8UC1);
        const auto& c = truth_[kChosen];
        for (int k = kChosen - kBefore; k <= kChosen + kAfter; ++k) {
            if (k == kChosen)
                continue;
            const auto& f = truth_[static_cast<size_t>(k)];
            const cv::Point2d at(f.objectX - (f.shiftX - c.shiftX), f.objectY - (f.shiftY - c.shiftY));
            cv::circle(mask, cv::Point(cvRound(at.x), cvRound(at.y)), cvRound(f.objectRadius * 0.9), 255, -1);
        }
        cv::circle(mask, cv::Point(cvRound(c.objectX), cvRound(c.objectY)), cvRound(c.objectRadius * 1.3), 0,
                   -1);
        return mask;
    }
    cv::Mat chosenDisc() const {
        cv::Mat mask = cv::Mat::zeros(chosen_.size(), CV_8UC1);
        const auto& c = truth_[kChosen];
        cv::circle(mask, cv::Point(cvRound(c.objectX), cvRound(c.objectY)), cvRound(c.objectRadius * 0.8),
                   255, -1);
        return mask;
    }

    std::unique_ptr<lumora::test::InMemorySequence> sequence_;
    std::vector<lumora::test::SceneFrameTruth> truth_;
    cv::Mat chosen_;
};

TEST_F(SceneStackingTest, HighAntiGhostingKeepsTheDiscOnlyWhereTheChosenFrameHasIt) {
    // What a perfectly ghost-free result looks like: every frame equal to the chosen one.
    cv::Mat reference;
    lumora::test::expectedLight(chosen_, std::vector<cv::Mat>(kBefore + kAfter, chosen_))
        .convertTo(reference, CV_32F);
    const cv::Mat others = otherPositions();
    ASSERT_GT(cv::countNonZero(others), 2000);

    const cv::Mat high = stack(0.f);
    const cv::Mat longExposure = stack(100.f);
    ASSERT_FALSE(high.empty());
    ASSERT_FALSE(longExposure.empty());

    const double highError = lumora::test::meanDifference(high, reference, others);
    const double longError = lumora::test::meanDifference(longExposure, reference, others);
    RecordProperty("highAntiGhostingError", std::to_string(highError));
    RecordProperty("longExposureError", std::to_string(longError));
    // The smear: each other position holds the disc in one frame out of five.
    EXPECT_GT(longError, 0.05) << "long exposure " << longError;
    EXPECT_LT(highError, 0.02) << "high anti-ghosting " << highError;
    EXPECT_GT(longError, 4 * highError);
    // The disc itself is kept where the chosen frame has it.
    EXPECT_LT(lumora::test::meanDifference(high, reference, chosenDisc()), 0.02);
}

} // namespace
