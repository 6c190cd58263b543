#include "imageio/DecoderPool.h"

#include "app/EventLog.h"
#include "app/Parallel.h"
#include "app/ProcessRunner.h"
#include "imageio/ImageFile.h"
#include "imageio/ImageHeader.h"
#include "imageio/ImageLimits.h"

#include <QStandardPaths>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>

namespace lumora {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::max<long long>(0, left));
}

// Waits until `fd` is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r > 0)
            return true;
        if (r == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

std::string describeEnd(int status) {
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const char* name = strsignal(sig);
        return "ended by signal " + std::to_string(sig) + (name ? std::string(" (") + name + ")" : "");
    }
    if (WIFEXITED(status))
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    return "ended";
}

} // namespace

// One running helper and the socket to it. Destroying it kills the process.
class DecoderPool::Helper {
public:
    static std::unique_ptr<Helper> start(const std::vector<std::string>& command, std::string* error) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
            *error = std::string("cannot create a socket pair: ") + std::strerror(errno);
            return nullptr;
        }
        // Large buffers let a whole band of pixels cross per wake-up instead of a few hundred kilobytes.
        const int bufferBytes = 8 << 20;
        for (int fd : fds) {
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // The helper reads requests on its standard input and answers on its standard output; nothing else of
        // ours leaks into it.
        posix_spawn_file_actions_adddup2(&actions, fds[1], 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t mask;
        sigemptyset(&mask);
        posix_spawnattr_setsigmask(&attributes, &mask);
        sigfillset(&mask);
        sigdelset(&mask, SIGKILL);
        sigdelset(&mask, SIGSTOP);
        posix_spawnattr_setsigdefault(&attributes, &mask);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

        std::vector<char*> argv;
        for (const std::string& a : command)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        // Its heap in 2 MiB pages, as exiftool's: fewer of the faults this machine's kind pays dearly for.
        std::vector<QByteArray> environment;
        for (const QString& entry : largePageHeapEnvironment().toStringList())
            environment.push_back(entry.toLocal8Bit());
        std::vector<char*> envp;
        for (QByteArray& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        pid_t pid = -1;
        const int r = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(fds[1]);
        if (r != 0) {
            ::close(fds[0]);
            *error = "cannot start " + command.front() + ": " + std::strerror(r);
            return nullptr;
        }
        return std::unique_ptr<Helper>(new Helper(pid, fds[0]));
    }

    ~Helper() { stop(); }

    // Sends one request and receives its response. False when the helper failed: it is then stopped and
    // `*how` says how it ended.
    bool exchange(const decode::Bytes& request, int timeoutMs, PooledRead* out, std::string* how) {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        if (!sendAll(request, deadline, how) || !receive(deadline, out, how)) {
            stop();
            if (endStatus_ >= 0)
                *how = describeEnd(endStatus_) + (how->empty() ? "" : " (" + *how + ")");
            return false;
        }
        return true;
    }

private:
    Helper(pid_t pid, int fd) : pid_(pid), fd_(fd) {}

    bool sendAll(const decode::Bytes& bytes, Clock::time_point deadline, std::string* how) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            if (!waitFor(fd_, POLLOUT, deadline)) {
                *how = "did not take the request in time";
                return false;
            }
            // MSG_NOSIGNAL: a helper that died must not take Lumora down with SIGPIPE.
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0) {
                *how = "closed its input";
                return false;
            }
            sent += std::size_t(n);
        }
        return true;
    }

    // Reads into `dst`; false on timeout, end of stream or error.
    bool receiveSome(unsigned char* dst, std::size_t room, Clock::time_point deadline, std::size_t* got,
                     std::string* how) {
        for (;;) {
            if (!waitFor(fd_, POLLIN, deadline)) {
                *how = "did not answer in time";
                return false;
            }
            const ssize_t n = ::recv(fd_, dst, room, 0);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0) {
                peerClosed_ = n == 0;
                *how = n == 0 ? "" : std::string("read failed: ") + std::strerror(errno);
                return false;
            }
            *got = std::size_t(n);
            return true;
        }
    }

    bool receive(Clock::time_point deadline, PooledRead* out, std::string* how) {
        decode::Bytes buffer;
        decode::ResponseHeader header;
        std::size_t consumed = 0;
        for (;;) {
            std::string error;
            const decode::ParseStatus status =
                decode::parseResponseHeader(buffer.data(), buffer.size(), &header, &consumed, &error);
            if (status == decode::ParseStatus::Complete)
                break;
            if (status == decode::ParseStatus::Invalid) {
                *how = "broke the protocol: " + error;
                return false;
            }
            // Small reads for the header, so the pixels land straight in the image below.
            unsigned char chunk[512];
            std::size_t got = 0;
            if (!receiveSome(chunk, sizeof chunk, deadline, &got, how))
                return false;
            buffer.insert(buffer.end(), chunk, chunk + got);
        }

        out->status = header.status;
        out->error = header.error;
        const std::size_t pixelBytes = header.pixelBytes();
        const std::size_t early = buffer.size() - consumed;
        if (early > pixelBytes) {
            *how = "sent more than it announced";
            return false;
        }
        if (pixelBytes == 0)
            return true;
        cv::Mat image(header.rows, header.cols, header.type);
        std::memcpy(image.data, buffer.data() + consumed, early);
        std::size_t filled = early;
        while (filled < pixelBytes) {
            std::size_t got = 0;
            if (!receiveSome(image.data + filled, pixelBytes - filled, deadline, &got, how)) {
                if (how->empty())
                    *how = "stopped in the middle of the pixels";
                return false;
            }
            filled += got;
        }
        out->image = image;
        return true;
    }

    void stop() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (pid_ > 0) {
            // A helper that already ended is reaped as it is; a live one is killed. bwrap takes its sandbox
            // down with it (--die-with-parent).
            int status = 0;
            pid_t r = ::waitpid(pid_, &status, WNOHANG);
            // A helper that closed its socket is on its way out: give it a moment so its end can be told.
            for (int i = 0; r == 0 && peerClosed_ && i < 100; ++i) {
                ::usleep(2000);
                r = ::waitpid(pid_, &status, WNOHANG);
            }
            if (r == 0) {
                ::kill(pid_, SIGKILL);
                do
                    r = ::waitpid(pid_, &status, 0);
                while (r < 0 && errno == EINTR);
                endStatus_ = -1; // killed by us: the reason is the timeout or protocol fault already given
            } else if (r == pid_) {
                endStatus_ = status;
            }
            pid_ = -1;
        }
    }

    pid_t pid_;
    int fd_;
    int endStatus_ = -1;
    bool peerClosed_ = false;
};

DecoderPool::DecoderPool(DecoderPoolOptions options) : options_(std::move(options)) {
    // A reader blocks while its helper decodes, so helpers and readers never run at once: one helper per core
    // that may be waiting for a read lets every waiting caller decode at the same time.
    if (options_.size <= 0)
        options_.size = std::max(2, workerCount(WorkerUse::Waiting));
    helperPath_ = options_.helperPath.empty()
                      ? findHelperProgram(QStringLiteral("lumora-decode")).toStdString()
                      : options_.helperPath;
    if (helperPath_.empty()) {
        logError("DecoderPool",
                 "lumora-decode was not found beside the program or on PATH; photos cannot be read");
        return;
    }
    // With bwrap installed, helpers start inside it straight away: testing first that it works here (user
    // namespaces may be refused) would delay the first read. A first read that fails tests it then, and
    // without a working sandbox the read is tried again with an unsandboxed helper.
    if (options_.sandbox && !QStandardPaths::findExecutable(QStringLiteral("bwrap")).isEmpty())
        sandbox_ = Sandbox::Untested;
}

bool DecoderPool::sandboxWorks() {
    std::lock_guard<std::mutex> lock(probeMutex_);
    if (sandbox_ == Sandbox::Untested) {
        std::vector<std::string> command = helperCommand(true);
        command.push_back("--check");
        QStringList arguments;
        for (std::size_t i = 1; i < command.size(); ++i)
            arguments << QString::fromStdString(command[i]);
        const ProcessOutcome probe = runProcess(QString::fromStdString(command.front()), arguments, 10000);
        sandbox_ = probe.succeeded() ? Sandbox::Works : Sandbox::Refused;
        if (!probe.succeeded())
            logError("DecoderPool", "bwrap is installed but cannot run lumora-decode (" + probe.error +
                                        "); decoding runs without a sandbox");
    }
    return sandbox_ == Sandbox::Works;
}

DecoderPool::~DecoderPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        idle_.clear();
    }
    {
        std::lock_guard<std::mutex> lock(launchMutex_);
        launcherStopping_ = true;
    }
    launchWake_.notify_all();
    if (launcher_.joinable())
        launcher_.join();
}

void DecoderPool::launcherLoop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(launchMutex_);
            launchWake_.wait(lock, [this] { return launcherStopping_ || !launchJobs_.empty(); });
            if (launchJobs_.empty())
                return;
            job = std::move(launchJobs_.front());
            launchJobs_.pop_front();
        }
        job();
    }
}

std::unique_ptr<DecoderPool::Helper> DecoderPool::startHelper(std::string* error) {
    const Sandbox sandbox = sandbox_;
    const std::vector<std::string> command =
        helperCommand(sandbox == Sandbox::Untested || sandbox == Sandbox::Works);
    std::packaged_task<std::unique_ptr<Helper>()> task(
        [&command, error] { return Helper::start(command, error); });
    std::future<std::unique_ptr<Helper>> started = task.get_future();
    {
        std::lock_guard<std::mutex> lock(launchMutex_);
        if (launcherStopping_) {
            *error = "the decoder pool is shutting down";
            return nullptr;
        }
        if (!launcher_.joinable())
            launcher_ = std::thread([this] { launcherLoop(); });
        launchJobs_.push_back([&task] { task(); });
    }
    launchWake_.notify_one();
    return started.get();
}

DecoderPool& DecoderPool::shared() {
    static DecoderPool pool;
    return pool;
}

bool DecoderPool::sandboxed() {
    return sandbox_ != Sandbox::Off && sandbox_ != Sandbox::Refused && sandboxWorks();
}

std::vector<std::string> DecoderPool::helperCommand(bool sandboxed) const {
    std::vector<std::string> command;
    if (sandboxed) {
        command = {QStandardPaths::findExecutable(QStringLiteral("bwrap")).toStdString(),
                   "--ro-bind",
                   "/",
                   "/",
                   "--dev",
                   "/dev",
                   "--proc",
                   "/proc",
                   "--unshare-all",
                   "--die-with-parent",
                   "--new-session",
                   "--"};
    }
    command.push_back(helperPath_);
    command.push_back("--cpu-seconds=" + std::to_string(options_.cpuSeconds));
    command.push_back("--address-space=" + std::to_string(options_.addressSpaceBytes));
    if (options_.allowFaults)
        command.push_back("--allow-faults");
    return command;
}

std::unique_ptr<DecoderPool::Helper> DecoderPool::acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    available_.wait(lock, [this] { return !idle_.empty() || busy_ < options_.size; });
    ++busy_;
    if (!idle_.empty()) {
        std::unique_ptr<Helper> helper = std::move(idle_.back());
        idle_.pop_back();
        return helper;
    }
    return nullptr; // the caller starts a new one in the free slot
}

void DecoderPool::release(std::unique_ptr<Helper> helper) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --busy_;
        if (helper)
            idle_.push_back(std::move(helper));
    }
    available_.notify_one();
}

PooledRead DecoderPool::run(const decode::Request& request, int timeoutMs) {
    PooledRead result;
    if (helperPath_.empty()) {
        result.helperFailed = true;
        result.error = "lumora-decode is not installed";
        return result;
    }
    std::unique_ptr<Helper> helper = acquire();
    if (!helper) {
        std::string error;
        helper = startHelper(&error);
        if (!helper) {
            release(nullptr);
            result.helperFailed = true;
            result.error = error;
            return result;
        }
        ++started_;
    }
    std::string how;
    if (!helper->exchange(decode::encodeRequest(request), timeoutMs, &result, &how)) {
        // The dead helper is dropped; the next request starts a fresh one.
        helper.reset();
        release(nullptr);
        result = PooledRead{};
        result.helperFailed = true;
        result.error = "lumora-decode " + how;
        // Until a sandboxed helper has answered once, its failure may be the sandbox's and not the file's.
        if (sandbox_ == Sandbox::Untested && !sandboxWorks())
            return run(request, timeoutMs);
        return result;
    }
    Sandbox untested = Sandbox::Untested;
    sandbox_.compare_exchange_strong(untested, Sandbox::Works); // a sandboxed helper has answered
    release(std::move(helper));
    return result;
}

int decodeTimeoutMs(const DecoderPoolOptions& options, std::uint64_t bytes, bool raw) {
    if (raw)
        return options.timeoutMs;
    const std::uint64_t mib = (bytes + (1u << 20) - 1) >> 20;
    const std::uint64_t ms = std::uint64_t(options.stillTimeoutMs) + mib * std::uint64_t(options.perMiBMs);
    return int(std::min<std::uint64_t>(ms, std::uint64_t(options.timeoutMs)));
}

PooledRead DecoderPool::read(const std::string& path, bool preview) {
    decode::Request request;
    request.path = path;
    request.preview = preview;
    struct stat info {};
    const std::uint64_t bytes = ::stat(path.c_str(), &info) == 0 ? std::uint64_t(info.st_size) : 0;
    PooledRead result = run(request, decodeTimeoutMs(options_, bytes, isRawFile(path)));
    if (result.helperFailed)
        logError("readImage", result.error + " while reading " + path);
    else
        logForwarded(result.error);
    return result;
}

PooledRead DecoderPool::injectFault(decode::Fault fault, int timeoutMs, const std::string& detail) {
    decode::Request request;
    request.path = detail;
    request.kind = decode::RequestKind::Fault;
    request.fault = fault;
    return run(request, timeoutMs > 0 ? timeoutMs : options_.timeoutMs);
}

cv::Mat readImage(const std::string& path, bool preview) {
    if (path.empty())
        return {};
    std::string reason;
    // A FIFO or a device never even reaches a helper. The header is parsed there only: untrusted bytes are
    // not parsed in this process.
    if (!checkRegularFile(path, &reason)) {
        logError("readImage", reason);
        return {};
    }
    return DecoderPool::shared().read(path, preview).image;
}

} // namespace lumora
