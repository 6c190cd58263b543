#pragma once
// The two values a long computation shares with the thread that watches it: a cancel request written from
// outside and a progress percentage written by the computation. Both are read without locks. Named apart
// from the shared RunControl so the window can include both until tone mapping moves onto that one.

#include <algorithm>
#include <atomic>

namespace lumora {

struct ToneMapControl {
    std::atomic<bool> canceled{false};
    std::atomic<int> progress{0};

    bool isCanceled() const { return canceled.load(std::memory_order_relaxed); }
    void setProgress(int percent) { progress.store(std::clamp(percent, 0, 100), std::memory_order_relaxed); }
    // Raises the progress to `percent` unless another thread already went further.
    void advanceProgress(int percent) {
        percent = std::clamp(percent, 0, 100);
        int seen = progress.load(std::memory_order_relaxed);
        while (seen < percent && !progress.compare_exchange_weak(seen, percent, std::memory_order_relaxed)) {
        }
    }
};

} // namespace lumora
