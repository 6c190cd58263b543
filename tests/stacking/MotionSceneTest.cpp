// The fast search against the exhaustive one on a scene with known truth: a disc crossing a noisy room tens
// of pixels a frame, the same with the disc still, the same without noise. It must leave at most twice the
// reference's ghost and a twentieth of a long exposure's, and no more noise than the reference. The ghost map
// lumora-cli writes marks the disc's path and leaves the still room dark.

#include "MotionScene.h"
#include "TestEnvironment.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

namespace {

using lumora::BlockSearch;
namespace t = lumora::test;

constexpr float kHigh = 0.f;           // the window's default anti-ghosting
constexpr float kLongExposure = 100.f; // nothing is a ghost

class MotionScene : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scene_ = t::loadMotionScene(t::testMediaDir(), "motion");
        ASSERT_FALSE(scene_.frames.empty());
        still_ = t::stackBurst(scene_.still, scene_.centre, BlockSearch::Fast, kLongExposure, 2);
        clean_ = t::stackBurst(scene_.clean, scene_.centre, BlockSearch::Fast, kLongExposure, 2);
        ASSERT_FALSE(still_.empty() || clean_.empty());
    }
    static t::MotionScene scene_;
    static cv::Mat still_, clean_;
};
t::MotionScene MotionScene::scene_;
cv::Mat MotionScene::still_, MotionScene::clean_;

TEST_F(MotionScene, FastSearchLeavesNoMoreGhostOrNoiseThanTheReference) {
    const cv::Mat ghost = scene_.ghostMask(t::kPathMargin);
    const cv::Mat quiet = scene_.staticMask(t::kStaticClearance, t::kStaticBorder);
    struct Figures {
        double ghost, noise;
    };
    auto measure = [&](BlockSearch search, float tolerance) {
        const cv::Mat light = t::stackBurst(scene_.moving, scene_.centre, search, tolerance, 2);
        EXPECT_FALSE(light.empty());
        return Figures{t::meanDifference(light, still_, ghost), t::rmsDifference(light, clean_, quiet)};
    };
    const Figures fast = measure(BlockSearch::Fast, kHigh);
    const Figures exhaustive = measure(BlockSearch::Exhaustive, kHigh);
    const Figures longExposure = measure(BlockSearch::Fast, kLongExposure);
    EXPECT_LE(fast.ghost, 2.0 * exhaustive.ghost);
    EXPECT_LE(fast.ghost, 0.05 * longExposure.ghost);
    EXPECT_LE(fast.noise, 1.05 * exhaustive.noise);
}

TEST_F(MotionScene, GhostMapMarksTheDiscsPathAndLeavesTheStillRoomDark) {
    QTemporaryDir out;
    const QString map = out.filePath("map.png");
    const t::CliRun cli =
        t::runCli({"stack", "--index", QString::number(scene_.centre), "--ghost-map", map, "-o",
                   out.filePath("light.tif"), "--", QString::fromStdString(scene_.moving)},
                  out.path());
    ASSERT_EQ(cli.exitCode, 0) << cli.err.toStdString();
    const cv::Mat picture = cv::imread(map.toStdString(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(picture.type(), CV_8UC1);
    ASSERT_EQ(picture.size(), scene_.size);
    const cv::Mat path = scene_.pathMask(0.0);
    const cv::Mat quiet = scene_.staticMask(t::kStaticClearance, t::kStaticBorder);
    EXPECT_GE(cv::countNonZero(picture & path), 0.95 * cv::countNonZero(path));
    EXPECT_LE(cv::countNonZero(picture & quiet), 0.01 * cv::countNonZero(quiet));
    const auto& c = scene_.frames[static_cast<size_t>(scene_.centre)];
    EXPECT_EQ(picture.at<uchar>(static_cast<int>(c.objectY), static_cast<int>(c.objectX)), 255)
        << "every frame's composite took the chosen frame's disc from elsewhere";
}

} // namespace
