// A whole stacking run on frames held in memory: the merge values, frames skipped for size, type or reading
// errors, cancel and stop at a known frame, failures that end the run without a result (never the process),
// and the worker thread's one end signal.

#include "stacking/StackingEngine.h"
#include "InMemorySequence.h"
#include "TestImages.h"
#include "app/EventLog.h"
#include "stacking/StackingComputingWorkerThread.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using lumora::StackingEngine;
using lumora::StackingParams;
using lumora::test::InMemorySequence;

class StackingEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        lumora::setLogDirectory(dir_.path().toStdString() + "/");
    }
    std::string log() const {
        QFile f(dir_.filePath("LumoraLog.txt"));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    static StackingParams params(InMemorySequence& seq, int chosen, int before, int after) {
        StackingParams p;
        p.sequence = &seq;
        p.chosenIndex = chosen;
        p.firstIndex = chosen - before;
        p.frameCount = before + 1 + after;
        p.ghostTolerance = 100.f; // long exposure: frames are merged exactly as read
        p.align = false;
        p.searchRadiusPercent = 3.f;
        return p;
    }
    QTemporaryDir dir_;
};

// Frames whose pixel (y, x) is value(frame, y, x): two columns of distinct values, so that the normalisation
// and the power law can be checked against the closed form.
cv::Mat rampFrame(int i) {
    cv::Mat m(20, 24, CV_8UC3);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x)
            m.at<cv::Vec3b>(y, x) =
                cv::Vec3b(static_cast<uchar>((10 * i + x) % 256), static_cast<uchar>((7 * i + 3 * y) % 256),
                          static_cast<uchar>(200));
    return m;
}

// (chosen + sum of the others^2.2) / max, ^(1/2.2), computed independently in double.
cv::Mat expectedLight(const cv::Mat& chosen, const std::vector<cv::Mat>& others) {
    cv::Mat acc;
    chosen.convertTo(acc, CV_64F);
    for (const cv::Mat& f : others) {
        cv::Mat d;
        f.convertTo(d, CV_64F);
        cv::pow(d, 2.2, d);
        acc += d;
    }
    double maxValue = 0;
    cv::minMaxIdx(acc.reshape(1), nullptr, &maxValue);
    cv::Mat out;
    cv::pow(acc / maxValue, 1 / 2.2, out);
    return out;
}

double maxError(const cv::Mat& light, const cv::Mat& expected) {
    cv::Mat l;
    light.convertTo(l, CV_64F);
    return cv::norm(l, expected, cv::NORM_INF);
}

TEST_F(StackingEngineTest, ChosenFrameAloneGivesItsNormalisedPowerLaw) {
    cv::Mat chosen(20, 20, CV_8UC1, cv::Scalar(64));
    chosen.at<uchar>(3, 3) = 255;
    InMemorySequence seq(std::vector<cv::Mat>{chosen});
    StackingParams p = params(seq, 0, 0, 0);
    StackingEngine engine;
    const cv::Mat light = engine.computeLightImage(p);
    ASSERT_EQ(light.type(), CV_32FC1);
    EXPECT_EQ(light.at<float>(3, 3), 1.0f);
    EXPECT_NEAR(light.at<float>(0, 0), 0.5335, 1e-4);
    EXPECT_EQ(p.frameCount, 1);
    EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Finished);
}

TEST_F(StackingEngineTest, TwoFramesOfOneHundredGiveOneAndABlueImageStaysBlue) {
    InMemorySequence flat(
        {cv::Mat(20, 20, CV_8UC3, cv::Scalar::all(100)), cv::Mat(20, 20, CV_8UC3, cv::Scalar::all(100))});
    StackingParams p = params(flat, 0, 0, 1);
    StackingEngine engine;
    cv::Mat light = engine.computeLightImage(p);
    EXPECT_EQ(cv::countNonZero(light.reshape(1) != 1.0f), 0);

    InMemorySequence blue(
        {cv::Mat(20, 20, CV_8UC3, cv::Scalar(180, 0, 0)), cv::Mat(20, 20, CV_8UC3, cv::Scalar(90, 0, 0))});
    StackingParams q = params(blue, 0, 0, 1);
    light = engine.computeLightImage(q);
    std::vector<cv::Mat> ch;
    cv::split(light, ch);
    EXPECT_EQ(cv::countNonZero(ch[0] != 1.0f), 0);
    EXPECT_EQ(cv::countNonZero(ch[1]) + cv::countNonZero(ch[2]), 0);
}

TEST_F(StackingEngineTest, WindowIsMergedInFullWithTheClosedFormValues) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 7; ++i)
        frames.push_back(rampFrame(i));
    InMemorySequence seq(frames);
    StackingParams p = params(seq, 3, 2, 3);
    StackingEngine engine;
    const cv::Mat light = engine.computeLightImage(p);
    EXPECT_LE(
        maxError(light, expectedLight(frames[3], {frames[1], frames[2], frames[4], frames[5], frames[6]})),
        2e-6);
    EXPECT_EQ(seq.reads(), std::vector<int>({3, 4, 2, 5, 1, 6}));
    EXPECT_EQ(p.frameCount, 6);
}

TEST_F(StackingEngineTest, FramesOfAnotherSizeTypeOrUnreadableAreLoggedSkippedAndTheRunCompletes) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 5; ++i)
        frames.push_back(rampFrame(i));
    frames[1] = cv::Mat(21, 24, CV_8UC3, cv::Scalar::all(9)); // another size
    cv::Mat wide;
    rampFrame(3).convertTo(wide, CV_16UC3);
    frames[3] = wide;      // another type
    frames[4] = cv::Mat(); // unreadable
    InMemorySequence seq(frames);
    StackingParams p = params(seq, 2, 2, 2);
    StackingEngine engine;
    const cv::Mat light = engine.computeLightImage(p);
    EXPECT_EQ(p.frameCount, 5);
    EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Finished);
    EXPECT_LE(maxError(light, expectedLight(frames[2], {frames[0]})), 2e-6);
    const std::string text = log();
    EXPECT_NE(
        text.find(
            "ERROR at function parallelComputeLightImage => The image number 1 has not the same size as "
            "the instant image.\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("The image number 3 has not the same type as the instant image.\n"),
              std::string::npos);
    EXPECT_NE(text.find("Error during accessing the image at index 4\n"), std::string::npos);
    const auto report = engine.report();
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[0].state, StackingEngine::FrameReport::State::WrongType); // order: 3, 1, 4, 0
    EXPECT_EQ(report[1].state, StackingEngine::FrameReport::State::WrongSize);
    EXPECT_EQ(report[2].state, StackingEngine::FrameReport::State::Unreadable);
    EXPECT_EQ(report[3].state, StackingEngine::FrameReport::State::Merged);
}

TEST_F(StackingEngineTest, StopAfterKFramesMergesExactlyThoseAndReportsThePositionsVisited) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 9; ++i)
        frames.push_back(rampFrame(i));
    InMemorySequence seq(frames);
    StackingEngine engine;
    engine.setReadAhead(false);
    // order 4, 5, 3, 6, 2, ...: stop while frame 2 (position 4) is being read
    seq.setOnRead([&](int index) {
        if (index == 2)
            engine.stop();
    });
    StackingParams p = params(seq, 4, 4, 4);
    const cv::Mat light = engine.computeLightImage(p);
    EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Stopped);
    EXPECT_EQ(p.frameCount, 4); // chosen + 5, 3, 6
    EXPECT_LE(maxError(light, expectedLight(frames[4], {frames[5], frames[3], frames[6]})), 2e-6);
}

TEST_F(StackingEngineTest, CancelGivesNoImageAndLeavesTheFrameCount) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 9; ++i)
        frames.push_back(rampFrame(i));
    InMemorySequence seq(frames);
    StackingEngine engine;
    seq.setOnRead([&](int index) {
        if (index == 3)
            engine.cancel();
    });
    StackingParams p = params(seq, 4, 4, 4);
    EXPECT_TRUE(engine.computeLightImage(p).empty());
    EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Canceled);
    EXPECT_EQ(p.frameCount, 9);
    EXPECT_FALSE(engine.running());
}

TEST_F(StackingEngineTest, RequestsWhileIdleChangeNothing) {
    InMemorySequence seq({rampFrame(0), rampFrame(1)});
    StackingEngine engine;
    engine.cancel();
    engine.stop();
    EXPECT_EQ(engine.status(), 0);
    StackingParams p = params(seq, 0, 0, 1);
    EXPECT_FALSE(engine.computeLightImage(p).empty());
    EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Finished);
}

TEST_F(StackingEngineTest, UnreadableOrTinyChosenFrameFailsTheRunAndIsLogged) {
    InMemorySequence seq({cv::Mat(), cv::Mat(17, 40, CV_8UC3, cv::Scalar::all(5)), rampFrame(0)});
    StackingEngine engine;
    StackingParams p = params(seq, 0, 0, 2);
    EXPECT_TRUE(engine.computeLightImage(p).empty());
    EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Failed);
    EXPECT_NE(log().find("ERROR at function Main => Error during accessing the image at index 0\n"),
              std::string::npos);
    EXPECT_EQ(p.frameCount, 3);

    StackingParams q = params(seq, 1, 0, 1);
    EXPECT_TRUE(engine.computeLightImage(q).empty());
    EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Failed);
    EXPECT_NE(log().find("smaller than 18 pixels"), std::string::npos);
}

TEST_F(StackingEngineTest, AntiGhostingAndThreadsKeepIdenticalFramesExact) {
    const cv::Mat frame = lumora::test::texture(60, 70, 3);
    InMemorySequence seq({frame, frame, frame, frame});
    for (int threads : {1, 3}) {
        StackingParams p = params(seq, 1, 1, 2);
        p.ghostTolerance = 0.f;
        p.searchRadiusPercent = -1.f;
        p.align = true;
        p.threadCount = threads;
        StackingEngine engine;
        const cv::Mat light = engine.computeLightImage(p);
        EXPECT_LE(maxError(light, expectedLight(frame, {frame, frame, frame})), 2e-6) << threads;
    }
}

// The worker's single end signal, delivered to the receiver's thread.
struct Ends {
    int finished = -1, stopped = -1, canceled = 0, failed = 0, total = 0;
};

Ends runWorker(StackingEngine& engine, const StackingParams& p) {
    Ends e;
    lumora::StackingComputingWorkerThread worker(&engine, p);
    QObject receiver;
    QObject::connect(&worker, &lumora::StackingComputingWorkerThread::processWellFinished, &receiver,
                     [&](int n) { e.finished = n, ++e.total; });
    QObject::connect(&worker, &lumora::StackingComputingWorkerThread::processStopped, &receiver,
                     [&](int n) { e.stopped = n, ++e.total; });
    QObject::connect(&worker, &lumora::StackingComputingWorkerThread::processCanceled, &receiver,
                     [&] { ++e.canceled, ++e.total; });
    QObject::connect(&worker, &lumora::StackingComputingWorkerThread::processFailed, &receiver,
                     [&](const QString&) { ++e.failed, ++e.total; });
    EXPECT_TRUE(worker.busy());
    worker.start();
    worker.wait();
    QCoreApplication::processEvents();
    EXPECT_FALSE(worker.busy());
    return e;
}

TEST_F(StackingEngineTest, WorkerEmitsExactlyOneEndSignal) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 5; ++i)
        frames.push_back(rampFrame(i));
    InMemorySequence seq(frames);
    {
        StackingEngine engine;
        const Ends e = runWorker(engine, params(seq, 2, 2, 2));
        EXPECT_EQ(e.finished, 5);
        EXPECT_EQ(e.total, 1);
    }
    {
        StackingEngine engine;
        engine.setReadAhead(false);
        seq.setOnRead([&](int index) {
            if (index == 1)
                engine.stop();
        });
        const Ends e = runWorker(engine, params(seq, 2, 2, 2)); // order 2, 3, 1: stopped at position 2
        EXPECT_EQ(e.stopped, 2);
        EXPECT_EQ(e.total, 1);
    }
    {
        StackingEngine engine;
        seq.setOnRead([&](int index) {
            if (index == 3)
                engine.cancel();
        });
        const Ends e = runWorker(engine, params(seq, 2, 2, 2));
        EXPECT_EQ(e.canceled, 1);
        EXPECT_EQ(e.total, 1);
    }
    {
        InMemorySequence broken(std::vector<cv::Mat>{cv::Mat()});
        StackingEngine engine;
        const Ends e = runWorker(engine, params(broken, 0, 0, 0));
        EXPECT_EQ(e.failed, 1); // an error the window can show, not a cancel and not an exit
        EXPECT_EQ(e.canceled, 0);
        EXPECT_EQ(e.total, 1);
    }
}

} // namespace
