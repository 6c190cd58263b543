#pragma once
// Waiting for worker threads from the window without freezing it: events other than user input go on being
// processed (repaints, the workers' own end signals) until every thread has finished or been deleted.

#include <vector>

class QThread;

namespace lumora {

void waitForThreads(const std::vector<QThread*>& threads);

} // namespace lumora
