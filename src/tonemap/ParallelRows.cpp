#include "tonemap/ParallelRows.h"

#include "app/EventLog.h"

#include <atomic>
#include <exception>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace lumora {

namespace {

// Thread entry: nothing may escape a thread, so every failure becomes a log entry and a flag.
void runShare(const std::function<void(int, int)>& body, int first, int step, const char* place,
              std::atomic<bool>& failed) noexcept {
    try {
        body(first, step);
    } catch (const std::exception& e) {
        failed = true;
        logError(place, e.what());
    } catch (...) {
        failed = true;
        logError(place, "unknown exception in a worker thread");
    }
}

} // namespace

bool runInterleavedRows(int threads, const char* place, const std::function<void(int, int)>& body) {
    const int n = threads < 1 ? 1 : threads;
    std::atomic<bool> failed{false};
    std::vector<std::thread> pool;
    std::vector<int> inlineShares;
    pool.reserve(static_cast<size_t>(n));
    for (int k = 1; k < n; ++k) {
        try {
            pool.emplace_back(runShare, std::cref(body), k, n, place, std::ref(failed));
        } catch (const std::system_error&) {
            inlineShares.push_back(k);
        }
    }
    runShare(body, 0, n, place, failed);
    for (int k : inlineShares)
        runShare(body, k, n, place, failed);
    for (std::thread& t : pool) {
        try {
            t.join();
        } catch (const std::system_error&) {
            failed = true;
            logError(place, "ERROR during pthread_join()\n");
            if (t.joinable())
                t.detach();
        }
    }
    return !failed;
}

} // namespace lumora
