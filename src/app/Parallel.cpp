#include "app/Parallel.h"

#include "app/EventLog.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace lumora {

int workerCount(WorkerUse use) {
    const int cores = std::max(1, QThread::idealThreadCount());
    // An interactive caller keeps a core so the window repaints and takes clicks while the loop runs; a
    // caller that only waits gains nothing from an idle core.
    return use == WorkerUse::Interactive ? std::max(1, cores - 1) : cores;
}

namespace {

// Runs `fn` so that nothing escapes the thread: a failure becomes a log entry and a flag.
template <class Fn> void guarded(const char* place, std::atomic<bool>& failed, Fn&& fn) noexcept {
    try {
        fn();
    } catch (const std::exception& e) {
        failed.store(true, std::memory_order_relaxed);
        logError(place, std::string("a worker failed: ") + e.what());
    } catch (...) {
        failed.store(true, std::memory_order_relaxed);
        logError(place, "a worker failed with an unknown exception");
    }
}

// Starts `share(k)` for k = 1..n-1 on new threads, runs share(0) here, then joins. Shares whose thread could
// not be started run here too, after share(0).
template <class Share> void runShares(int n, Share&& share) {
    std::vector<std::thread> threads;
    std::vector<int> here{0};
    threads.reserve(static_cast<size_t>(n));
    for (int k = 1; k < n; ++k) {
        try {
            threads.emplace_back([&share, k] { share(k); });
        } catch (const std::system_error&) {
            here.push_back(k);
        }
    }
    for (int k : here)
        share(k);
    for (std::thread& t : threads)
        t.join(); // joinable and never this thread, so join cannot fail
}

} // namespace

bool parallelFor(int tasks, int workers, const char* place, const std::function<void(int)>& body) {
    if (tasks <= 0)
        return true;
    std::atomic<bool> failed{false};
    std::atomic<int> next{0};
    const int n = std::clamp(workers, 1, tasks);
    runShares(n, [&](int) {
        for (int task = next.fetch_add(1, std::memory_order_relaxed); task < tasks;
             task = next.fetch_add(1, std::memory_order_relaxed))
            guarded(place, failed, [&] { body(task); });
    });
    return !failed.load();
}

bool parallelInterleaved(int workers, const char* place, const std::function<void(int, int)>& body) {
    std::atomic<bool> failed{false};
    const int n = std::max(1, workers);
    runShares(n, [&](int k) { guarded(place, failed, [&] { body(k, n); }); });
    return !failed.load();
}

} // namespace lumora
