// Cost of the shared parallel loop against starting threads on every call (how it was done before the
// threads were kept): many small loops, as a preview runs them, and a few large ones, as an export does.

#include "app/Parallel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

// The old way: one new thread per share, joined at the end.
void spawnPerCall(int tasks, int workers, const std::function<void(int)>& body) {
    std::atomic<int> next{0};
    auto share = [&] {
        for (int t = next++; t < tasks; t = next++)
            body(t);
    };
    std::vector<std::thread> threads;
    for (int k = 1; k < workers; ++k)
        threads.emplace_back(share);
    share();
    for (std::thread& t : threads)
        t.join();
}

template <class Loop> double medianSeconds(int reps, Loop&& loop) {
    std::vector<double> t;
    for (int r = 0; r < reps; ++r) {
        const auto start = std::chrono::steady_clock::now();
        loop();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

} // namespace

int main() {
    const int workers = lumora::workerCount(lumora::WorkerUse::Waiting);
    std::printf("workers %d\n", workers);
    // Rows of a thumbnail, a 0.3 MP and a 12 MP float picture, one square root per sample.
    for (const int rows : {120, 480, 3000}) {
        const int cols = rows * 4 / 3 * 3;
        std::vector<float> data(size_t(rows) * cols, 2.f);
        const int calls = rows == 3000 ? 10 : 200;
        const int bands = workers * 8;
        auto body = [&](int b) {
            for (int y = b * rows / bands; y < (b + 1) * rows / bands; ++y)
                for (int x = 0; x < cols; ++x)
                    data[size_t(y) * cols + x] = std::sqrt(data[size_t(y) * cols + x] + 1.f);
        };
        const double pooled = medianSeconds(5, [&] {
            for (int c = 0; c < calls; ++c)
                lumora::parallelFor(bands, workers, "bench", body);
        });
        const double spawned = medianSeconds(5, [&] {
            for (int c = 0; c < calls; ++c)
                spawnPerCall(bands, workers, body);
        });
        std::printf("%5d rows x %d calls: kept threads %.3f ms/call, new threads %.3f ms/call, ratio %.2f\n",
                    rows, calls, pooled * 1e3 / calls, spawned * 1e3 / calls, pooled / spawned);
    }
    return 0;
}
