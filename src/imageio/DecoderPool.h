#pragma once
// Keeps photo and raw decoding out of Lumora's process: a few lumora-decode helpers, started on demand,
// reused and restarted after they die. Every request runs under an address-space ceiling, a CPU allowance and
// a wall-clock timeout; a crash, abort, hang or limit hit reads as an unreadable file.

#include "imageio/DecodeProtocol.h"

#include <opencv2/core.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumora {

struct DecoderPoolOptions {
    std::string helperPath; // empty: lumora-decode beside the program, else on PATH
    int size = 0;           // helpers at most; 0: one per core, at least 2
    int timeoutMs = 60000;  // per request at most, from sending it to the last pixel
    // Photos (not raw files) get less: this much, plus perMiBMs for each MiB of file. A still that takes
    // seconds per megabyte is stuck, and a burst must not wait a minute per broken file.
    int stillTimeoutMs = 10000;
    int perMiBMs = 2000;
    int cpuSeconds = 60; // per request
    std::size_t addressSpaceBytes = std::size_t(4) << 30;
    bool sandbox = true; // run helpers inside bwrap (no network, read-only files) when it works here
    bool allowFaults = false;
};

// Outcome of one pooled read, for callers that want the reason rather than just an empty matrix.
struct PooledRead {
    cv::Mat image;
    decode::Status status = decode::Status::Unreadable;
    std::string error;         // what the helper reported or how it ended; empty on success
    bool helperFailed = false; // the helper crashed, hung or broke the protocol
};

// The wall-clock limit for reading a file of `bytes` bytes under `options`.
int decodeTimeoutMs(const DecoderPoolOptions& options, std::uint64_t bytes, bool raw);

class DecoderPool {
public:
    explicit DecoderPool(DecoderPoolOptions options = {});
    ~DecoderPool();
    DecoderPool(const DecoderPool&) = delete;
    DecoderPool& operator=(const DecoderPool&) = delete;

    // The pool readImage uses.
    static DecoderPool& shared();

    PooledRead read(const std::string& path, bool preview);
    // Asks a helper to misbehave; only helpers started with allowFaults obey. `timeoutMs` 0: the pool's.
    PooledRead injectFault(decode::Fault fault, int timeoutMs = 0, const std::string& detail = {});

    // True when helpers run inside bwrap (tested now if no read has settled it yet).
    bool sandboxed();
    // Helpers started so far (first starts and restarts).
    int helpersStarted() const { return started_.load(); }

private:
    class Helper;
    PooledRead run(const decode::Request& request, int timeoutMs);
    std::unique_ptr<Helper> acquire();
    void release(std::unique_ptr<Helper> helper);
    std::vector<std::string> helperCommand(bool sandboxed) const;
    // Whether bwrap really runs a helper here, tested once and only when needed; see the constructor.
    bool sandboxWorks();
    std::unique_ptr<Helper> startHelper(std::string* error);
    void launcherLoop();

    DecoderPoolOptions options_;
    std::string helperPath_;
    enum class Sandbox { Off, Untested, Works, Refused };
    std::atomic<Sandbox> sandbox_{Sandbox::Off};
    std::mutex probeMutex_;
    std::mutex mutex_;
    std::condition_variable available_;
    std::vector<std::unique_ptr<Helper>> idle_;
    int busy_ = 0;
    std::atomic<int> started_{0};

    // Helpers are started from this one long-lived thread: the kernel ends a helper (through bwrap's
    // --die-with-parent and the helper's own parent-death signal) when the thread that started it exits,
    // and a reader's thread may be gone long before the helper it started.
    std::mutex launchMutex_;
    std::condition_variable launchWake_;
    std::deque<std::function<void()>> launchJobs_;
    bool launcherStopping_ = false;
    std::thread launcher_;
};

} // namespace lumora
