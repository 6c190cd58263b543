#include "app/Parallel.h"

#include "app/EventLog.h"

#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace lumora {

void lowerThisThreadsPriority() {
    // On Linux the nice value belongs to the thread, and threads started from it later inherit it.
    constexpr int kLowest = 19;
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kLowest) != 0)
        logError("Parallel", "cannot lower a background thread's priority");
}

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

// One call's shares. Whoever claims share k (the caller or a pooled thread) runs it; the caller waits only
// for shares already claimed, so a call never waits on a thread that is busy elsewhere, and calls made from
// inside a share (nested loops) cannot deadlock.
struct Job {
    const std::function<void(int)>* share = nullptr; // lives on the caller's stack until every share ended
    int shares = 0;
    std::atomic<int> next{0};
    std::atomic<int> ended{0};
    std::mutex m;
    std::condition_variable allEnded;

    // Claims and runs shares until none is left.
    void work() noexcept {
        for (int k = next.fetch_add(1); k < shares; k = next.fetch_add(1)) {
            (*share)(k); // shares are wrapped in guarded() by the caller: nothing escapes
            if (ended.fetch_add(1) + 1 == shares) {
                std::lock_guard<std::mutex> lock(m);
                allEnded.notify_all();
            }
        }
    }
};

// Threads kept for the life of the process: starting threads on every loop cost more than many of the
// loops themselves (a preview runs dozens of them). Threads are started as calls first ask for them, up to
// a bound; a thread that cannot be started leaves its shares to the caller and the others.
class Pool {
public:
    static Pool& instance() {
        static Pool pool;
        return pool;
    }

    void run(int n, const std::function<void(int)>& share) {
        if (n <= 1) {
            share(0);
            return;
        }
        auto job = std::make_shared<Job>();
        job->share = &share;
        job->shares = n;
        const bool offered = offer(job, n - 1); // when nobody can help, the caller runs every share
        job->work();
        if (offered)
            withdraw(job);
        std::unique_lock<std::mutex> lock(job->m);
        job->allEnded.wait(lock, [&] { return job->ended.load() == job->shares; });
    }

    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(m_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }

private:
    Pool() = default;

    // Queues `job` for up to `helpers` pooled threads; false when there are none.
    bool offer(const std::shared_ptr<Job>& job, int helpers) {
        {
            std::lock_guard<std::mutex> lock(m_);
            const int bound = 4 * std::max(1, QThread::idealThreadCount());
            while (int(threads_.size()) < std::min(helpers, bound) && !cannotStart_) {
                try {
                    threads_.emplace_back([this] { loop(); });
                } catch (const std::system_error&) {
                    cannotStart_ = true; // the system is out of threads: make do with those running
                }
            }
            if (threads_.empty())
                return false;
            jobs_.push_back(job);
        }
        for (int i = 0; i < helpers; ++i)
            wake_.notify_one();
        return true;
    }

    void withdraw(const std::shared_ptr<Job>& job) {
        std::lock_guard<std::mutex> lock(m_);
        jobs_.erase(std::remove(jobs_.begin(), jobs_.end(), job), jobs_.end());
    }

    void loop() noexcept {
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            std::shared_ptr<Job> job = jobs_.front();
            // A job whose shares are all claimed leaves the queue, so idle threads do not spin on it.
            if (job->next.load() >= job->shares) {
                jobs_.pop_front();
                continue;
            }
            lock.unlock();
            job->work();
            lock.lock();
        }
    }

    std::mutex m_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> jobs_;
    std::vector<std::thread> threads_;
    bool stopping_ = false;
    bool cannotStart_ = false;
};

} // namespace

bool parallelFor(int tasks, int workers, const char* place, const std::function<void(int)>& body) {
    if (tasks <= 0)
        return true;
    std::atomic<bool> failed{false};
    std::atomic<int> next{0};
    const int n = std::clamp(workers, 1, tasks);
    const std::function<void(int)> share = [&](int) {
        for (int task = next.fetch_add(1, std::memory_order_relaxed); task < tasks;
             task = next.fetch_add(1, std::memory_order_relaxed))
            guarded(place, failed, [&] { body(task); });
    };
    Pool::instance().run(n, share);
    return !failed.load();
}

bool parallelInterleaved(int workers, const char* place, const std::function<void(int, int)>& body) {
    std::atomic<bool> failed{false};
    const int n = std::max(1, workers);
    const std::function<void(int)> share = [&](int k) { guarded(place, failed, [&] { body(k, n); }); };
    Pool::instance().run(n, share);
    return !failed.load();
}

} // namespace lumora
