#pragma once
// The number of threads a heavy loop may split into: one core is left to the window (and to the thread that
// drives the loop).

#include <QThread>

#include <algorithm>

namespace lumora {

inline int workerCount() {
    return std::max(1, QThread::idealThreadCount() - 1);
}

} // namespace lumora
