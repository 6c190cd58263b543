#include "tonemap/RowBands.h"

#include "app/Parallel.h"

#include <algorithm>

namespace lumora {

namespace {
// Below this many samples a second thread costs more than it saves.
constexpr long kSamplesPerThread = 256 * 1024;
// Bands per worker: enough that a slow thread hands its last bands to the others.
constexpr int kBandsPerWorker = 8;
} // namespace

void forRowBands(int rows, int rowLength, int workers, const char* place,
                 const std::function<void(int, int)>& body) {
    if (rows <= 0)
        return;
    const long samples = static_cast<long>(rows) * std::max(1, rowLength);
    const int threads =
        static_cast<int>(std::clamp<long>(samples / kSamplesPerThread, 1, std::max(1, workers)));
    if (threads == 1) {
        body(0, rows);
        return;
    }
    const int band = std::max(1, rows / (threads * kBandsPerWorker));
    const int bands = (rows + band - 1) / band;
    parallelFor(bands, threads, place, [&](int b) { body(b * band, std::min(rows, (b + 1) * band)); });
}

} // namespace lumora
