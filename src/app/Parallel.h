#pragma once
// The one way heavy loops split over threads, and the one place that decides how many threads they get.

#include <functional>

namespace lumora {

// Who waits for a computation decides how many cores it may take.
enum class WorkerUse {
    // The caller only waits for the result (command line, export, thumbnails, tests): every core.
    Waiting,
    // The window's GUI thread keeps drawing and answering while the work runs: one core is left to it.
    Interactive,
};

// Threads for a loop run on behalf of `use`; always at least 1.
int workerCount(WorkerUse use);

// Runs body(task) once for every task in 0..tasks-1 on up to `workers` threads, the calling thread being one
// of them. Tasks are taken in increasing order from a shared counter, so uneven costs balance out; make tasks
// coarse (rows of blocks, bands of rows) so the counter is not the bottleneck. A thread that cannot be
// started leaves its tasks to the others. An exception escaping a task is written to the event log under
// `place`, the remaining tasks still run, and the call returns false. Every thread has ended on return.
bool parallelFor(int tasks, int workers, const char* place, const std::function<void(int task)>& body);

// Worker k of n gets rows k, k + n, k + 2n, ...: body(first = k, step = n) runs once per worker, so that a
// worker may keep per-worker state (scratch buffers, partial sums indexed by `first`). Same threads, failure
// and logging rules as parallelFor.
bool parallelInterleaved(int workers, const char* place,
                         const std::function<void(int first, int step)>& body);

// Lowers the calling thread to the lowest priority for good (the threads it starts later inherit it), so that
// background work nobody waits for takes a core only when the window's own work leaves one. Call it only on
// a thread of one's own, such as a background run's: an unprivileged thread cannot raise its priority again.
void lowerThisThreadsPriority();

} // namespace lumora
