// The player's side of a video sequence: stepping, jumping, trim range, brightness, labels, and worker reads
// that must not disturb what the player shows.

#include "CounterCode.h"
#include "MediaTestSupport.h"
#include "TestEnvironment.h"
#include "media/ImagesSequence.h"
#include "media/SequenceTiming.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using lumora::ImagesSequence;
using lumora::testmedia::decodeCounterIndex;

namespace {

std::string counterClip(const char* name = "counter_gop12.mp4") {
    return lumora::test::testMediaPath(name);
}

// A player that never drops frames to catch up: a step skips only when it comes at least two intervals but
// less than 0.1 s after the previous one, impossible with an interval above 50 ms (speed level 1: 52.8 ms).
std::unique_ptr<ImagesSequence> openPlayer(const std::string& path) {
    auto sequence = std::make_unique<ImagesSequence>(path);
    if (sequence->ready())
        sequence->setSpeed(1);
    return sequence;
}

TEST(VideoPlayer, StepsForwardAndBackwardFrameByFrame) {
    auto sequence = openPlayer(counterClip());
    ASSERT_TRUE(sequence->ready());
    EXPECT_EQ(sequence->kind(), ImagesSequence::Video);
    EXPECT_EQ(sequence->currentIndex(), 0);
    EXPECT_EQ(decodeCounterIndex(sequence->currentImage()), 0);

    for (int expected = 1; expected <= 30; ++expected) {
        const cv::Mat shown = sequence->nextFrame(true);
        EXPECT_EQ(decodeCounterIndex(shown), expected);
        EXPECT_EQ(sequence->currentIndex(), expected);
    }
    for (int expected = 29; expected >= 20; --expected) {
        const cv::Mat shown = sequence->previousFrame(true);
        EXPECT_EQ(decodeCounterIndex(shown), expected);
        EXPECT_EQ(sequence->currentIndex(), expected);
    }
    // Jumps land exactly, also backwards across keyframes and on the last frame.
    for (int target : {173, 12, 299, 11, 150}) {
        EXPECT_EQ(decodeCounterIndex(sequence->setCurrentFrame(target, true)), target);
        EXPECT_EQ(sequence->currentIndex(), target);
        EXPECT_EQ(decodeCounterIndex(sequence->currentImage()), target);
    }
    EXPECT_EQ(decodeCounterIndex(sequence->nextFrame(true)), 151);
    EXPECT_EQ(decodeCounterIndex(sequence->previousFrame(true)), 150);
    EXPECT_EQ(decodeCounterIndex(sequence->previousFrame(true)), 149);
    // Requests out of range change nothing.
    EXPECT_TRUE(sequence->getCvImageAt(300, false).empty());
    EXPECT_TRUE(sequence->getCvImageAt(-1, false).empty());
    EXPECT_EQ(decodeCounterIndex(sequence->setCurrentFrame(300, true)), 149);
    EXPECT_EQ(decodeCounterIndex(sequence->setCurrentFrame(-5, true)), 149);
    EXPECT_EQ(sequence->currentIndex(), 149);
}

TEST(VideoPlayer, StopsAtTheEndsOfTheTrimRange) {
    auto sequence = openPlayer(counterClip());
    ASSERT_TRUE(sequence->ready());
    EXPECT_EQ(sequence->firstIndex(), 0);
    EXPECT_EQ(sequence->lastIndex(), 299);
    sequence->setFirstIndex(100);
    sequence->setLastIndex(104);
    sequence->rewind(true);
    EXPECT_EQ(sequence->currentIndex(), 100);
    EXPECT_EQ(decodeCounterIndex(sequence->currentImage()), 100);

    // The step back from the trim start returns the shown frame and does not move.
    const cv::Mat atStart = sequence->displayImage();
    const cv::Mat back = sequence->previousFrame(true);
    EXPECT_EQ(back.data, atStart.data);
    EXPECT_EQ(sequence->currentIndex(), 100);

    int steps = 0;
    while (!sequence->isLastFrame() && steps < 20) {
        sequence->nextFrame(true);
        ++steps;
    }
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(sequence->currentIndex(), 104);
    EXPECT_EQ(decodeCounterIndex(sequence->nextFrame(true)), 104);
    EXPECT_EQ(sequence->currentIndex(), 104);

    // A trim start beyond either end of the clip rewinds to the nearest frame there is.
    sequence->setFirstIndex(400);
    sequence->rewind(true);
    EXPECT_EQ(sequence->currentIndex(), 299);
    EXPECT_EQ(decodeCounterIndex(sequence->currentImage()), 299);
    sequence->setFirstIndex(-5);
    sequence->rewind(true);
    EXPECT_EQ(sequence->currentIndex(), 0);

    // The last frame of the clip ends playback whatever the trim range says.
    sequence->setLastIndex(299);
    sequence->setCurrentFrame(299, true);
    EXPECT_TRUE(sequence->isLastFrame());
    EXPECT_EQ(decodeCounterIndex(sequence->nextFrame(true)), 299);
}

TEST(VideoPlayer, PlayerAndWorkerRunningTogetherBothGetExactFrames) {
    auto sequence = openPlayer(counterClip());
    ASSERT_TRUE(sequence->ready());
    std::atomic<bool> stop{false};
    std::atomic<int> workerErrors{0}, workerReads{0};
    std::thread worker([&] {
        int first = 200;
        while (!stop) {
            const auto frames = sequence->getCvImagesInRange(first, first + 8);
            for (int k = 0; k < static_cast<int>(frames.size()); ++k)
                if (decodeCounterIndex(frames[static_cast<size_t>(k)]) != first + k)
                    ++workerErrors;
            ++workerReads;
            first = first >= 280 ? 150 : first + 13;
        }
    });
    for (int expected = 1; expected <= 60; ++expected) {
        EXPECT_EQ(decodeCounterIndex(sequence->nextFrame(true)), expected);
        if (expected % 10 == 0) {
            EXPECT_EQ(decodeCounterIndex(sequence->previousFrame(true)), expected - 1);
            EXPECT_EQ(decodeCounterIndex(sequence->nextFrame(true)), expected);
        }
    }
    // Let the worker finish at least a few windows before stopping it.
    while (workerReads < 3)
        std::this_thread::yield();
    stop = true;
    worker.join();
    EXPECT_EQ(workerErrors, 0);
}

TEST(VideoPlayer, StepsOverADamagedFrame) {
    QTemporaryDir dir;
    const QString damaged = dir.filePath(QStringLiteral("damaged.avi"));
    if (!lumora::test::copyWithZeroedPacket(QString::fromStdString(counterClip("counter_mjpg.avi")), damaged,
                                            150))
        GTEST_SKIP() << "ffprobe is not available";
    lumora::test::LogCapture log;
    auto sequence = openPlayer(damaged.toStdString());
    ASSERT_TRUE(sequence->ready());
    EXPECT_TRUE(sequence->getCvImageAt(150, false).empty());
    EXPECT_NE(log.text().find(damaged.toStdString()), std::string::npos) << "the lost frame is logged";
    EXPECT_EQ(decodeCounterIndex(sequence->setCurrentFrame(149, true)), 149);
    EXPECT_EQ(decodeCounterIndex(sequence->nextFrame(true)), 151);
    EXPECT_EQ(sequence->currentIndex(), 151);
    EXPECT_EQ(decodeCounterIndex(sequence->previousFrame(true)), 149);
    EXPECT_EQ(sequence->currentIndex(), 149);
    EXPECT_EQ(decodeCounterIndex(sequence->getCvImageAt(152, false)), 152);
}

TEST(VideoBrightness, SteppingKeepsTheGainOnTheDisplayFrameOnly) {
    auto sequence = openPlayer(counterClip());
    ASSERT_TRUE(sequence->ready());
    sequence->setCurrentFrame(33, true);
    sequence->setBrightness(3);
    const cv::Mat next = sequence->nextFrame(true);
    const cv::Mat unscaled = sequence->getCvImageAt(34, false);
    EXPECT_EQ(cv::norm(unscaled, sequence->currentImage(), cv::NORM_INF), 0.0) << "workers get unscaled pixels";
    EXPECT_EQ(cv::norm(next, lumora::applyBrightness(unscaled, 3), cv::NORM_INF), 0.0);
    sequence->setBrightness(0);
    EXPECT_EQ(cv::norm(sequence->displayImage(), sequence->currentImage(), cv::NORM_INF), 0.0);
}

TEST(VideoSequence, LabelsShowTimeAndDurationAndUnopenableVideosAreLogged) {
    ImagesSequence sequence(counterClip());
    ASSERT_TRUE(sequence.ready());
    // 300 frames at 25 fps: 299 / 25 = 11.96 s from the first to the last frame.
    EXPECT_FLOAT_EQ(sequence.duration(), 11.96f);
    EXPECT_EQ(sequence.durationText(), "00:11");
    EXPECT_EQ(sequence.endText(), "00:11");
    EXPECT_EQ(sequence.positionText(0), "00:00");
    EXPECT_EQ(sequence.positionText(150), "00:06"); // 150 * 11.96 / 299 = 6.0
    EXPECT_EQ(sequence.positionText(299), "00:11");
    EXPECT_EQ(sequence.fileName(), counterClip());
    EXPECT_FLOAT_EQ(sequence.aspectRatio(), 320.0f / 240.0f);
    sequence.setCurrentFrame(76, true); // 76 * 0.04 = 3.04 s
    EXPECT_EQ(sequence.positionText(), "00:03");

    lumora::test::LogCapture log;
    const std::string missing = log.folder() + "nothing here.mp4";
    ImagesSequence none(missing);
    EXPECT_FALSE(none.ready());
    EXPECT_TRUE(none.getCvImageAt(0, false).empty());
    EXPECT_NE(log.text().find(missing), std::string::npos) << "an unopenable video is logged";
}

} // namespace
