// A whole stacking run on frames held in memory: the merge in visit order against the closed form, frames
// skipped for size, type or reading errors, cancel and stop at a known frame, failures that end the run
// without a result (never the process), and the plain call's result by value under the caller's control.

#include "stacking/StackingEngine.h"
#include "InMemorySequence.h"
#include "TestEnvironment.h"
#include "TestImages.h"
#include "stacking/StackingRun.h"

#include <gtest/gtest.h>

namespace {

using lumora::StackingEngine;
using lumora::StackingParams;
using lumora::test::expectedLight;
using lumora::test::InMemorySequence;
using lumora::test::maxError;
using State = StackingEngine::FrameReport::State;

StackingParams params(InMemorySequence& seq, int chosen, int before, int after) {
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

// Frame i: two ramps of distinct values and a constant channel, so normalisation and power law both show.
cv::Mat rampFrame(int i) {
    cv::Mat m(20, 24, CV_8UC3);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x)
            m.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>((10 * i + x) % 256),
                                              static_cast<uchar>((7 * i + 3 * y) % 256), 200);
    return m;
}

std::vector<cv::Mat> ramps(int n) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < n; ++i)
        frames.push_back(rampFrame(i));
    return frames;
}

int logEntries(const std::string& log) {
    int n = 0;
    for (size_t at = log.find("\nERROR at function "); at != std::string::npos;
         at = log.find("\nERROR at function ", at + 1))
        ++n;
    return n;
}

TEST(StackingEngine, WindowIsMergedNearestFirstWithTheClosedFormValues) {
    const std::vector<cv::Mat> frames = ramps(7);
    InMemorySequence seq(frames);
    StackingParams p = params(seq, 3, 2, 3);
    StackingEngine engine;
    const cv::Mat light = engine.computeLightImage(p);
    EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Finished);
    EXPECT_LE(
        maxError(light, expectedLight(frames[3], {frames[1], frames[2], frames[4], frames[5], frames[6]})),
        2e-6);
    EXPECT_EQ(seq.reads(), std::vector<int>({3, 4, 2, 5, 1, 6}));
    EXPECT_EQ(p.frameCount, 6);
}

TEST(StackingEngine, FramesOfAnotherSizeTypeOrUnreadableAreLoggedSkippedAndTheRunCompletes) {
    lumora::test::LogCapture log;
    std::vector<cv::Mat> frames = ramps(5);
    frames[1] = cv::Mat(21, 24, CV_8UC3, cv::Scalar::all(9)); // another size
    rampFrame(3).convertTo(frames[3], CV_16UC3);              // another type
    frames[4] = cv::Mat();                                    // unreadable
    InMemorySequence seq(frames);
    StackingParams p = params(seq, 2, 2, 2);
    StackingEngine engine;
    const cv::Mat light = engine.computeLightImage(p);
    EXPECT_EQ(p.frameCount, 5);
    EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Finished);
    EXPECT_LE(maxError(light, expectedLight(frames[2], {frames[0]})), 2e-6);
    EXPECT_EQ(logEntries(log.text()), 3) << log.text();
    const auto report = engine.report(); // visited 3, 1, 4, 0 after the chosen frame
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[0].state, State::WrongType);
    EXPECT_EQ(report[1].state, State::WrongSize);
    EXPECT_EQ(report[2].state, State::Unreadable);
    EXPECT_EQ(report[3].state, State::Merged);
}

TEST(StackingEngine, UnreadableOrTinyChosenFrameFailsTheRunAndIsLogged) {
    lumora::test::LogCapture log;
    InMemorySequence seq({cv::Mat(), cv::Mat(17, 40, CV_8UC3, cv::Scalar::all(5)), rampFrame(0)});
    StackingEngine engine;
    for (int chosen : {0, 1}) {
        StackingParams p = params(seq, chosen, 0, 2 - chosen);
        EXPECT_TRUE(engine.computeLightImage(p).empty()) << chosen;
        EXPECT_EQ(engine.outcome(), StackingEngine::Outcome::Failed);
        EXPECT_FALSE(engine.errorMessage().empty());
        EXPECT_EQ(p.frameCount, 3 - chosen);
        EXPECT_EQ(logEntries(log.text()), chosen + 1);
    }
}

TEST(StackingEngine, TheCallersControlStopsKeepingWhatWasMergedOrCancelsKeepingNothing) {
    lumora::test::LogCapture log;
    const std::vector<cv::Mat> frames = ramps(9);
    InMemorySequence seq(frames);
    {
        StackingEngine engine;
        lumora::RunControl run;
        int notified = 0;
        run.setProgressListener([&] { ++notified; });
        const lumora::StackingResult r = lumora::runStacking(engine, params(seq, 4, 4, 4), run);
        EXPECT_EQ(r.outcome, lumora::RunOutcome::Finished);
        EXPECT_EQ(r.frameCount, 9);
        EXPECT_FALSE(r.light.empty());
        EXPECT_GE(notified, 8) << "every merged frame is announced";
    }
    {
        StackingEngine engine;
        engine.setReadAhead(false);
        lumora::RunControl run;
        // order 4, 5, 3, 6, 2, ...: stop while frame 2 (position 4) is being read
        seq.setOnRead([&](int index) {
            if (index == 2)
                run.requestStop();
        });
        const lumora::StackingResult r = lumora::runStacking(engine, params(seq, 4, 4, 4), run);
        EXPECT_EQ(r.outcome, lumora::RunOutcome::Stopped);
        EXPECT_EQ(r.frameCount, 4); // chosen + 5, 3, 6
        EXPECT_LE(maxError(r.light, expectedLight(frames[4], {frames[5], frames[3], frames[6]})), 2e-6);
    }
    {
        InMemorySequence fresh(frames);
        StackingEngine engine;
        lumora::RunControl run;
        fresh.setOnRead([&](int index) {
            if (index == 3)
                engine.cancel(); // reaches the caller's control too
        });
        const lumora::StackingResult r = lumora::runStacking(engine, params(fresh, 4, 4, 4), run);
        EXPECT_EQ(r.outcome, lumora::RunOutcome::Canceled);
        EXPECT_TRUE(r.light.empty());
        EXPECT_TRUE(run.isCanceled());
        EXPECT_FALSE(engine.running());
        EXPECT_EQ(fresh.reads(), std::vector<int>({4, 5, 3})) << "reading ahead stops at the cancel";
    }
    {
        // A cancel that came before the run began is not forgotten.
        InMemorySequence fresh(frames);
        StackingEngine engine;
        lumora::RunControl run;
        run.requestCancel();
        EXPECT_EQ(lumora::runStacking(engine, params(fresh, 4, 4, 4), run).outcome,
                  lumora::RunOutcome::Canceled);
        EXPECT_LE(fresh.reads().size(), 2u);
    }
    InMemorySequence broken(std::vector<cv::Mat>{cv::Mat()});
    StackingEngine failing;
    lumora::RunControl run;
    const lumora::StackingResult failed = lumora::runStacking(failing, params(broken, 0, 0, 0), run);
    EXPECT_EQ(failed.outcome, lumora::RunOutcome::Failed); // an error to show, not a cancel or an exit
    EXPECT_FALSE(failed.reason.empty());
    // Requests while no run is active change nothing.
    seq.setOnRead(nullptr);
    StackingEngine idle;
    idle.cancel();
    idle.stop();
    EXPECT_EQ(idle.status(), 0);
    StackingParams p = params(seq, 0, 0, 1);
    EXPECT_FALSE(idle.computeLightImage(p).empty());
    EXPECT_EQ(idle.outcome(), StackingEngine::Outcome::Finished);
}

} // namespace
