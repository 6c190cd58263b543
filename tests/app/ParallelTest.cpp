// The shared parallel loop and run contract: every task runs once whatever the thread count, failures are
// contained and reported, progress never goes back, and a cancel is never undone by a later stop.

#include "app/Parallel.h"
#include "app/EventLog.h"
#include "app/RunControl.h"

#include <QTemporaryDir>
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using lumora::parallelFor;
using lumora::parallelInterleaved;

TEST(ParallelFor, RunsEveryTaskExactlyOnceForAnyWorkerCount) {
    for (int tasks : {0, 1, 5, 64}) {
        for (int workers : {-3, 0, 1, 2, 7, 200}) {
            std::vector<std::atomic<int>> runs(static_cast<size_t>(tasks));
            EXPECT_TRUE(parallelFor(tasks, workers, "test", [&](int t) { runs[static_cast<size_t>(t)]++; }));
            for (int t = 0; t < tasks; ++t)
                EXPECT_EQ(runs[static_cast<size_t>(t)].load(), 1)
                    << tasks << " tasks, " << workers << " workers";
        }
    }
}

TEST(ParallelInterleaved, EachRowBelongsToExactlyOneWorker) {
    const int rows = 37;
    for (int workers : {0, 1, 3, 50}) {
        std::vector<std::atomic<int>> seen(rows);
        std::atomic<int> calls{0};
        EXPECT_TRUE(parallelInterleaved(workers, "test", [&](int first, int step) {
            calls++;
            EXPECT_EQ(step, std::max(1, workers));
            for (int r = first; r < rows; r += step)
                seen[static_cast<size_t>(r)]++;
        }));
        EXPECT_EQ(calls.load(), std::max(1, workers));
        for (int r = 0; r < rows; ++r)
            EXPECT_EQ(seen[static_cast<size_t>(r)].load(), 1);
    }
}

TEST(ParallelFor, NestedLoopsFromSeveralCallersAtOnceRunEveryTaskOnce) {
    // Loops inside loops, started by several threads at once, share the same threads: none may wait for a
    // thread that is busy waiting itself.
    std::atomic<long> sum{0};
    std::vector<std::thread> callers;
    for (int c = 0; c < 3; ++c)
        callers.emplace_back([&] {
            for (int round = 0; round < 50; ++round)
                EXPECT_TRUE(parallelFor(4, 4, "test", [&](int outer) {
                    parallelInterleaved(3, "test", [&](int first, int step) {
                        for (int i = first; i < 10; i += step)
                            sum += outer * 10 + i;
                    });
                }));
        });
    for (std::thread& t : callers)
        t.join();
    EXPECT_EQ(sum.load(), 3L * 50 * (39 * 40 / 2)); // every outer*10+i in 0..39 once per round and caller
}

TEST(ParallelFor, AFailingTaskIsLoggedAndTheOthersStillRun) {
    QTemporaryDir dir;
    lumora::setLogDirectory(dir.path().toStdString() + "/");
    std::atomic<int> done{0};
    EXPECT_FALSE(parallelFor(20, 3, "BandFilter", [&](int t) {
        if (t == 7)
            throw std::runtime_error("band 7 broke");
        done++;
    }));
    EXPECT_EQ(done.load(), 19);
    EXPECT_FALSE(parallelInterleaved(2, "BandFilter", [&](int first, int) {
        if (first == 1)
            throw 42;
    }));
    std::ifstream log(dir.path().toStdString() + "/LumoraLog.txt");
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("BandFilter"), std::string::npos);
    EXPECT_NE(text.find("band 7 broke"), std::string::npos);
}

TEST(RunControl, CancelOutranksStopAndResetForgetsBoth) {
    using R = lumora::RunControl::Request;
    lumora::RunControl c;
    EXPECT_FALSE(c.shouldEnd());
    c.requestStop();
    EXPECT_TRUE(c.isStopRequested());
    c.requestCancel();
    c.requestStop();
    EXPECT_EQ(c.request(), R::Cancel);
    EXPECT_TRUE(c.shouldEnd());
    c.setProgress(140);
    EXPECT_EQ(c.progress(), 100);
    c.reset();
    EXPECT_EQ(c.request(), R::None);
    EXPECT_EQ(c.progress(), 0);
}

TEST(RunControl, ProgressFromParallelSharesNeverGoesBack) {
    lumora::RunControl c;
    std::atomic<bool> wentBack{false};
    std::thread watcher([&] {
        int last = 0;
        while (last < 100) {
            const int now = c.progress();
            if (now < last)
                wentBack = true;
            last = now;
        }
    });
    parallelFor(400, 4, "test", [&](int t) { c.advanceProgress((t + 1) / 4); });
    c.advanceProgress(100);
    watcher.join();
    EXPECT_FALSE(wentBack.load());
    c.advanceProgress(-5);
    EXPECT_EQ(c.progress(), 100);
}

} // namespace
