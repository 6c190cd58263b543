#pragma once
// The one way to run long work off the window's thread. The work receives a RunControl and returns its
// result by value, which the owner takes once; the end of each run is one signal (the watcher's finished),
// delivered on the owner's thread. Each owner's runs get a thread of their own, so they never queue behind
// other owners' long runs. The owner cancels and joins before it deletes what the work reads; the
// destructor does both.

#include "app/EventLog.h"
#include "app/RunControl.h"

#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace lumora {

template <typename Result> class BackgroundRun {
public:
    explicit BackgroundRun(std::string who) : who_(std::move(who)) { pool_.setMaxThreadCount(1); }
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
    // The last run's result, handed over once (a default Result before the run has ended or when taken):
    // nothing of it stays here, so a large picture lives only as long as its taker keeps it.
    Result takeResult() {
        std::lock_guard<std::mutex> lock(resultMutex_);
        Result r = result_ ? std::move(*result_) : Result{};
        result_.reset();
        return r;
    }

private:
    std::string who_;
    RunControl control_;
    QThreadPool pool_;
    std::mutex resultMutex_;
    std::optional<Result> result_;
    QFutureWatcher<void> watcher_;
};

} // namespace lumora
