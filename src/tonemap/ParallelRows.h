#pragma once
// Splits a loop over image rows between threads: worker k of n takes rows k, k + n, k + 2n, ... so that every
// worker gets a similar mix of cheap and costly rows.

#include <functional>

namespace lumora {

// Runs body(first, step) once per worker with first = 0..threads-1 and step = threads; the calling thread
// takes share 0 itself. A worker that cannot be started has its share run on the calling thread. An exception
// escaping a share, or a failed join, is written to the event log under `place` (a join failure with the text
// "ERROR during pthread_join()\n"). Returns false when any share failed. threads < 1 counts as 1.
bool runInterleavedRows(int threads, const char* place, const std::function<void(int first, int step)>& body);

} // namespace lumora
