#pragma once
// The one way to run long work off the window's thread. The work receives a RunControl and returns its
// result by value, which the owner takes once; the end of each run is one signal (the watcher's finished),
// delivered on the owner's thread. Progress the work publishes through its RunControl reaches the owner as
// calls on its thread too, coalesced: at most one is pending, and it reads the latest value. Each owner's
// runs get a thread of their own, so they never queue behind other owners' long runs. The owner cancels and
// joins before it deletes what the work reads; the destructor does both.

#include "app/EventLog.h"
#include "app/RunControl.h"

#include <QFutureWatcher>
#include <QMetaObject>
#include <QObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace lumora {

template <typename Result> class BackgroundRun {
public:
    explicit BackgroundRun(std::string who) : who_(std::move(who)) {
        pool_.setMaxThreadCount(1);
        control_.setProgressListener([this] { postProgress(); });
    }
    ~BackgroundRun() {
        control_.requestCancel();
        join();
    }
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Calls `slot` of `receiver` at the end of every run (also a cancelled one), on the receiver's thread.
    template <typename Receiver, typename Slot> void onEnded(Receiver* receiver, Slot slot) {
        QObject::connect(&watcher_, &QFutureWatcherBase::finished, receiver, slot);
    }

    // Calls `show` on the owner's thread after the run's progress changed; changes made while a call is
    // pending fold into it (`show` reads the control's latest value). A call may still come after the end
    // signal. Set it before the first start.
    void onProgress(std::function<void()> show) { progressed_ = std::move(show); }

    // Starts `work` unless a run is under way; an exception it throws is logged and gives a default Result.
    bool start(std::function<Result(RunControl&)> work) {
        if (running())
            return false;
        control_.reset();
        {
            std::lock_guard<std::mutex> lock(resultMutex_);
            result_.reset();
        }
        watcher_.setFuture(QtConcurrent::run(&pool_, [this, work = std::move(work)] {
            Result r{};
            try {
                r = work(control_);
            } catch (const std::exception& e) {
                logError(who_, e.what());
            } catch (...) {
                logError(who_, "unknown exception in a background run");
            }
            std::lock_guard<std::mutex> lock(resultMutex_);
            result_ = std::move(r);
        }));
        return true;
    }
    // True from start until the work has returned.
    bool running() const { return watcher_.isRunning(); }
    // Blocks until the work has returned (at once when none runs).
    void join() { watcher_.waitForFinished(); }
    RunControl& control() { return control_; }
    // Asks the work to end without a result; its end signal comes as usual.
    void cancel() { control_.requestCancel(); }
    // The last run's result, handed over once (a default Result before the run has ended or when taken):
    // nothing of it stays here, so a large picture lives only as long as its taker keeps it.
    Result takeResult() {
        std::lock_guard<std::mutex> lock(resultMutex_);
        Result r = result_ ? std::move(*result_) : Result{};
        result_.reset();
        return r;
    }

private:
    // Runs on the work's thread.
    void postProgress() {
        if (!progressed_ || progressPending_.exchange(true))
            return;
        QMetaObject::invokeMethod(
            &context_,
            [this] {
                progressPending_.store(false);
                if (progressed_)
                    progressed_();
            },
            Qt::QueuedConnection);
    }

    std::string who_;
    std::function<void()> progressed_;
    std::atomic<bool> progressPending_{false};
    // Lives on the owner's thread; pending progress calls go with it.
    QObject context_;
    RunControl control_;
    QThreadPool pool_;
    std::mutex resultMutex_;
    std::optional<Result> result_;
    QFutureWatcher<void> watcher_;
};

} // namespace lumora
