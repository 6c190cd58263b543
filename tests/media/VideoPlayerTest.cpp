// The player's side of a video sequence: stepping, jumping, the trim range, a damaged frame, brightness,
// labels, and worker reads that must not disturb what the player shows.

#include "CounterCode.h"
#include "MediaTestSupport.h"
#include "TestEnvironment.h"
#include "media/ImagesSequence.h"
#include "media/SequenceTiming.h"

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

int stepped(ImagesSequence& s, bool forward) {
    return decodeCounterIndex(forward ? s.nextFrame(true) : s.previousFrame(true));
}

TEST(VideoPlayer, StepsAndJumpsLandExactlyAndStayInsideTheTrimRange) {
    auto sequence = openPlayer(counterClip());
    ASSERT_TRUE(sequence->ready());
    EXPECT_EQ(decodeCounterIndex(sequence->currentImage()), 0);
    for (int expected = 1; expected <= 30; ++expected)
        EXPECT_EQ(stepped(*sequence, true), expected);
    for (int expected = 29; expected >= 20; --expected)
        EXPECT_EQ(stepped(*sequence, false), expected);
    // Jumps land exactly, also backwards across keyframes and on the last frame; out of range nothing moves.
    for (int target : {173, 12, 299, 11, 150})
        EXPECT_EQ(decodeCounterIndex(sequence->setCurrentFrame(target, true)), target);
    EXPECT_EQ(stepped(*sequence, false), 149);
    EXPECT_EQ(decodeCounterIndex(sequence->setCurrentFrame(300, true)), 149);
    EXPECT_EQ(decodeCounterIndex(sequence->setCurrentFrame(-5, true)), 149);
    EXPECT_EQ(sequence->currentIndex(), 149);

    sequence->setFirstIndex(100);
    sequence->setLastIndex(104);
    sequence->rewind(true);
    EXPECT_EQ(decodeCounterIndex(sequence->currentImage()), 100);
    EXPECT_EQ(sequence->previousFrame(true).data, sequence->displayImage().data)
        << "no step back past the start";
    EXPECT_EQ(sequence->currentIndex(), 100);
    int steps = 0;
    for (; !sequence->isLastFrame() && steps < 20; ++steps)
        sequence->nextFrame(true);
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(stepped(*sequence, true), 104);
    // A trim start beyond either end of the clip rewinds to the nearest frame there is.
    sequence->setFirstIndex(400);
    sequence->rewind(true);
    EXPECT_EQ(sequence->currentIndex(), 299);
    EXPECT_EQ(decodeCounterIndex(sequence->currentImage()), 299);
    sequence->setFirstIndex(-5);
    sequence->rewind(true);
    EXPECT_EQ(sequence->currentIndex(), 0);
}

TEST(VideoPlayer, PlayerAndWorkerRunningTogetherBothGetExactFrames) {
    auto sequence = openPlayer(counterClip("counter_gop250.mp4"));
    ASSERT_TRUE(sequence->ready());
    std::atomic<bool> stop{false};
    std::atomic<int> workerErrors{0}, workerReads{0};
    std::thread worker([&] {
        for (int first = 200; !stop; first = first >= 280 ? 150 : first + 13, ++workerReads) {
            const auto frames = sequence->getCvImagesInRange(first, first + 8);
            for (int k = 0; k < static_cast<int>(frames.size()); ++k)
                workerErrors += decodeCounterIndex(frames[size_t(k)]) != first + k;
        }
    });
    for (int expected = 1; expected <= 40; ++expected) {
        EXPECT_EQ(stepped(*sequence, true), expected);
        if (expected % 10 == 0) {
            EXPECT_EQ(stepped(*sequence, false), expected - 1);
            EXPECT_EQ(stepped(*sequence, true), expected);
        }
    }
    while (workerReads < 3)
        std::this_thread::yield();
    stop = true;
    worker.join();
    EXPECT_EQ(workerErrors, 0);
}

TEST(VideoPlayer, StepsOverADamagedFrameWhichIsLogged) {
    QTemporaryDir dir;
    const QString damaged = dir.filePath(QStringLiteral("damaged.avi"));
    if (!lumora::test::copyWithZeroedPacket(QString::fromStdString(counterClip("counter_mjpg.avi")), damaged,
                                            150))
        GTEST_SKIP() << "ffprobe is not available";
    lumora::test::LogCapture log;
    auto sequence = openPlayer(damaged.toStdString());
    ASSERT_TRUE(sequence->ready());
    EXPECT_TRUE(sequence->getCvImageAt(150, false).empty());
    EXPECT_NE(log.text().find(damaged.toStdString()), std::string::npos);
    EXPECT_EQ(decodeCounterIndex(sequence->setCurrentFrame(149, true)), 149);
    EXPECT_EQ(stepped(*sequence, true), 151);
    EXPECT_EQ(stepped(*sequence, false), 149);
    EXPECT_EQ(decodeCounterIndex(sequence->getCvImageAt(152, false)), 152);
}

TEST(VideoPlayer, BrightnessLabelsAndUnopenableVideos) {
    auto sequence = openPlayer(counterClip());
    ASSERT_TRUE(sequence->ready());
    sequence->setCurrentFrame(33, true);
    sequence->setBrightness(3);
    const cv::Mat next = sequence->nextFrame(true);
    const cv::Mat unscaled = sequence->getCvImageAt(34, false);
    EXPECT_EQ(cv::norm(unscaled, sequence->currentImage(), cv::NORM_INF), 0.0)
        << "workers get unscaled pixels";
    EXPECT_EQ(cv::norm(next, lumora::applyBrightness(unscaled, 3), cv::NORM_INF), 0.0)
        << "stepping keeps the gain";

    // 300 frames at 25 fps: 299 / 25 = 11.96 s from the first to the last frame.
    EXPECT_FLOAT_EQ(sequence->duration(), 11.96f);
    EXPECT_EQ(sequence->durationText(), "00:11");
    EXPECT_EQ(sequence->positionText(150), "00:06");
    EXPECT_FLOAT_EQ(sequence->aspectRatio(), 320.0f / 240.0f);

    lumora::test::LogCapture log;
    const std::string missing = log.folder() + "nothing here.mp4";
    ImagesSequence none(missing);
    EXPECT_FALSE(none.ready());
    EXPECT_TRUE(none.getCvImageAt(0, false).empty());
    EXPECT_NE(log.text().find(missing), std::string::npos);
}

} // namespace
