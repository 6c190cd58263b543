#pragma once
// The contract between a long computation and whoever waits for it. The watcher may ask it to cancel (drop
// the result) or to stop (keep what is done so far); the computation publishes its progress in percent and
// checks the requests between blocks or rows, then reports how it ended. Lock-free; a watcher that wants to
// hear of progress sets a listener before the run starts, called on the computation's thread.

#include <algorithm>
#include <atomic>
#include <functional>
#include <utility>

namespace lumora {

// How a run ended.
enum class RunOutcome { Finished, Stopped, Canceled, Failed };

class RunControl {
public:
    enum class Request : int { None = 0, Stop = 1, Cancel = 2 };

    RunControl() = default;
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // A cancel outranks a stop: once asked to cancel, a later stop request does not bring the result back.
    void requestCancel() { request_.store(int(Request::Cancel), std::memory_order_relaxed); }
    void requestStop() {
        int expected = int(Request::None);
        request_.compare_exchange_strong(expected, int(Request::Stop), std::memory_order_relaxed);
    }
    // Forgets the requests and the progress, for the next run.
    void reset() {
        request_.store(int(Request::None), std::memory_order_relaxed);
        progress_.store(0, std::memory_order_relaxed);
    }

    Request request() const { return Request(request_.load(std::memory_order_relaxed)); }
    bool isCanceled() const { return request() == Request::Cancel; }
    bool isStopRequested() const { return request() == Request::Stop; }
    // Either request: loops leave at their next check.
    bool shouldEnd() const { return request() != Request::None; }

    int progress() const { return progress_.load(std::memory_order_relaxed); }
    void setProgress(int percent) {
        percent = std::clamp(percent, 0, 100);
        if (progress_.exchange(percent, std::memory_order_relaxed) != percent)
            notifyProgress();
    }
    // Raises the progress to `percent` unless another thread already went further, so parallel shares never
    // make it go back.
    void advanceProgress(int percent) {
        percent = std::clamp(percent, 0, 100);
        int seen = progress_.load(std::memory_order_relaxed);
        while (seen < percent) {
            if (progress_.compare_exchange_weak(seen, percent, std::memory_order_relaxed)) {
                notifyProgress();
                return;
            }
        }
    }

    // Called on the computing thread whenever the progress changes, or when the computation has more to show
    // (a new frame). Set it only while no run uses this control.
    void setProgressListener(std::function<void()> listener) { listener_ = std::move(listener); }
    void notifyProgress() const {
        if (listener_)
            listener_();
    }

private:
    std::atomic<int> request_{int(Request::None)};
    std::atomic<int> progress_{0};
    std::function<void()> listener_;
};

} // namespace lumora
