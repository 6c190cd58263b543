// The background run as its owners rely on it: one end signal on the owner's thread, the result handed over
// once, progress reaching the owner's thread with the latest value, and a destructor that cancels and joins.

#include "app/BackgroundRun.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

using lumora::BackgroundRun;
using lumora::RunControl;

bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

TEST(BackgroundRun, EndsOnceOnTheOwnersThreadWithTheResultAndTheLatestProgress) {
    BackgroundRun<int> run("test");
    QObject owner;
    int ends = 0, progressCalls = 0, lastSeen = -1;
    bool offThread = false;
    run.onEnded(&owner, [&] {
        ++ends;
        offThread |= QThread::currentThread() != owner.thread();
    });
    run.onProgress([&] {
        ++progressCalls;
        lastSeen = run.control().progress();
        offThread |= QThread::currentThread() != owner.thread();
    });
    ASSERT_TRUE(run.start([](RunControl& c) {
        for (int p = 0; p <= 100; ++p) {
            c.setProgress(p);
            c.setProgress(p); // no change, no call
        }
        return 42;
    }));
    EXPECT_FALSE(run.start([](RunControl&) { return 0; })) << "one run at a time";
    ASSERT_TRUE(waitFor([&] { return ends == 1 && lastSeen == 100; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(offThread);
    EXPECT_GE(progressCalls, 1);
    EXPECT_LE(progressCalls, 101);
    EXPECT_EQ(run.takeResult(), 42);
    EXPECT_EQ(run.takeResult(), 0) << "handed over once";
}

TEST(BackgroundRun, AThrowingRunEndsWithADefaultResultAndTheDestructorCancelsAndJoins) {
    lumora::test::LogCapture log;
    {
        BackgroundRun<int> run("thrower");
        QObject owner;
        bool ended = false;
        run.onEnded(&owner, [&] { ended = true; });
        run.start([](RunControl&) -> int { throw std::runtime_error("broken input"); });
        ASSERT_TRUE(waitFor([&] { return ended; }));
        EXPECT_EQ(run.takeResult(), 0);
        EXPECT_NE(log.text().find("broken input"), std::string::npos);
    }
    std::atomic<bool> left{false};
    {
        BackgroundRun<int> run("endless");
        run.start([&](RunControl& c) {
            while (!c.isCanceled())
                std::this_thread::yield();
            left = true;
            return 1;
        });
    }
    EXPECT_TRUE(left.load());
}

} // namespace
