// Many runs that finish, are cancelled or are stopped at random moments, for the thread sanitizer: the
// engine, its workers and the search thread must be free of data races, and a cancel must end a run within
// 500 ms.

#include "InMemorySequence.h"
#include "TestImages.h"
#include "sharpness/Sharpness.h"
#include "stacking/StackingEngine.h"
#include "stacking/StackingRun.h"

#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using lumora::StackingEngine;
using lumora::StackingParams;
using lumora::test::InMemorySequence;

constexpr int kRounds = 50;
constexpr auto kCancelLimit = std::chrono::milliseconds(500);

std::vector<cv::Mat> movingFrames(int count) {
    std::vector<cv::Mat> frames;
    const cv::Mat background = lumora::test::texture(120, 160, 71);
    const cv::Mat object = lumora::test::texture(24, 24, 72);
    for (int i = 0; i < count; ++i) {
        cv::Mat f = background.clone();
        object.copyTo(f(cv::Rect(20 + 4 * i, 50 + i, 24, 24)));
        frames.push_back(f);
    }
    return frames;
}

// Every fifth run estimates the search radius (corners, optical flow); the others use the smallest fixed one.
StackingParams params(InMemorySequence& seq, bool automaticRadius = false) {
    StackingParams p;
    p.sequence = &seq;
    p.chosenIndex = seq.size() / 2;
    p.firstIndex = 0;
    p.frameCount = seq.size();
    p.ghostTolerance = 0.f;
    p.searchRadiusPercent = automaticRadius ? -1.f : 0.f;
    p.align = true;
    p.blockSize = 5;
    p.threadCount = 3;
    return p;
}

enum class Request { None, Cancel, Stop };

struct Ends {
    std::atomic<int> finished{0}, stopped{0}, canceled{0}, failed{0};
};

// One run on a thread of its own; `request` is made after `delayMs`. Returns how long the run took to end
// after the request (zero when there was none).
Clock::duration oneRun(InMemorySequence& seq, Request request, int delayMs, Ends& ends,
                       bool automaticRadius) {
    StackingEngine engine;
    lumora::RunControl run;
    std::atomic<bool> busy{true};
    lumora::StackingResult result;
    std::thread worker([&] {
        result = lumora::runStacking(engine, params(seq, automaticRadius), run);
        busy.store(false);
    });
    Clock::duration noticed{};
    if (request != Request::None) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        // The window reads the progress fields while it waits.
        (void)engine.currentFrame();
        (void)run.progress();
        const auto asked = Clock::now();
        if (request == Request::Cancel)
            run.requestCancel();
        else
            run.requestStop();
        while (busy.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        noticed = Clock::now() - asked;
    }
    worker.join();
    switch (result.outcome) {
    case lumora::RunOutcome::Finished:
        ++ends.finished;
        break;
    case lumora::RunOutcome::Stopped:
        ++ends.stopped;
        break;
    case lumora::RunOutcome::Canceled:
        ++ends.canceled;
        break;
    case lumora::RunOutcome::Failed:
        ++ends.failed;
        break;
    }
    return noticed;
}

TEST(StackingStress, FinishCancelAndStopManyTimes) {
    InMemorySequence seq(movingFrames(9));
    std::mt19937 rng(1234);
    Ends ends;
    Clock::duration worstCancel{}, worstStop{};
    for (int round = 0; round < kRounds; ++round) {
        const bool automatic = round % 5 == 0;
        oneRun(seq, Request::None, 0, ends, automatic);
        worstCancel = std::max(worstCancel,
                               oneRun(seq, Request::Cancel, static_cast<int>(rng() % 60), ends, automatic));
        worstStop =
            std::max(worstStop, oneRun(seq, Request::Stop, static_cast<int>(rng() % 60), ends, automatic));
    }
    EXPECT_EQ(ends.failed.load(), 0);
    EXPECT_EQ(ends.finished + ends.stopped + ends.canceled, 3 * kRounds);
    EXPECT_GE(ends.finished.load(), kRounds);
    EXPECT_LE(worstCancel, kCancelLimit);
    EXPECT_LE(worstStop, kCancelLimit);
    const auto ms = [](Clock::duration d) {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    std::printf("worst cancel %lld ms, worst stop %lld ms; finished %d, stopped %d, cancelled %d\n",
                ms(worstCancel), ms(worstStop), ends.finished.load(), ends.stopped.load(),
                ends.canceled.load());
}

TEST(StackingStress, SharpestSearchCancelledAtRandomMoments) {
    InMemorySequence seq(movingFrames(12));
    std::mt19937 rng(99);
    for (int round = 0; round < kRounds; ++round) {
        const cv::Mat centre = seq.getCvImageAt(6, true);
        lumora::RunControl run;
        lumora::SharpestSearchResult result;
        std::thread worker([&] {
            result = lumora::findSharpest(
                {centre, 6, seq.size(), 6}, [&seq](int i) { return seq.getCvImageAt(i, false); }, run);
        });
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
        (void)run.progress();
        run.requestCancel();
        worker.join();
        EXPECT_NE(result.outcome, lumora::RunOutcome::Failed);
    }
}

} // namespace
