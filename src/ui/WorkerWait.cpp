#include "ui/WorkerWait.h"

#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace lumora {

void waitForThreads(const std::vector<QThread*>& threads) {
    std::vector<QPointer<QThread>> watched(threads.begin(), threads.end());
    auto done = [&watched] {
        return std::all_of(watched.begin(), watched.end(),
                           [](const QPointer<QThread>& t) { return !t || t->isFinished(); });
    };
    if (done())
        return;
    QEventLoop loop;
    // A thread may end, or its owner delete it, between two checks: poll as well as listen.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    for (const QPointer<QThread>& t : watched)
        if (t)
            QObject::connect(t.data(), &QThread::finished, &loop, [&] {
                if (done())
                    loop.quit();
            });
    poll.start();
    // User input waits: nothing the user does may start new work on what is being taken down.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace lumora
