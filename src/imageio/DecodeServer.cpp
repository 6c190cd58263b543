#include "imageio/DecodeServer.h"

#include "app/EventLog.h"
#include "imageio/DecodeProtocol.h"
#include "imageio/ImageFile.h"
#include "imageio/ImageHeader.h"
#include "imageio/ImageLimits.h"

#include <opencv2/core.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace lumora::decode {
namespace {

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

// Reads one whole request; false at the end of the input or on bytes that are not a request.
enum class ReadOutcome { Request, End, Garbage };
ReadOutcome readRequest(int fd, Bytes& buffer, Request* request) {
    for (;;) {
        std::size_t consumed = 0;
        std::string error;
        const ParseStatus status = parseRequest(buffer.data(), buffer.size(), request, &consumed, &error);
        if (status == ParseStatus::Complete) {
            buffer.erase(buffer.begin(), buffer.begin() + std::ptrdiff_t(consumed));
            return ReadOutcome::Request;
        }
        if (status == ParseStatus::Invalid)
            return ReadOutcome::Garbage;
        unsigned char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return buffer.empty() ? ReadOutcome::End : ReadOutcome::Garbage;
        buffer.insert(buffer.end(), chunk, chunk + n);
    }
}

// CPU time is counted for the whole process, so each request gets its allowance on top of what earlier
// requests used. SIGXCPU then ends the helper, which the pool sees as a failed read.
void limitCpuForNextRequest(int seconds) {
    if (seconds <= 0)
        return;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    rlimit limit{};
    getrlimit(RLIMIT_CPU, &limit);
    const rlim_t used = rlim_t(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + 1;
    limit.rlim_cur = used + rlim_t(seconds);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur > limit.rlim_max)
        limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_CPU, &limit);
}

// Entries the readers log while serving one request travel back in the response.
std::mutex notesMutex;
std::string notes;

void takeNote(const std::string& entry) {
    std::lock_guard<std::mutex> lock(notesMutex);
    if (notes.size() < kMaxErrorBytes)
        notes += entry;
}

std::string takeNotes() {
    std::lock_guard<std::mutex> lock(notesMutex);
    std::string out;
    out.swap(notes);
    return out;
}

// The standard output and error streams of the helper, pointed at a file in memory: the libraries' messages
// are collected there and handed out per request.
class LibraryOutput {
public:
    bool start() {
        fd_ = ::memfd_create("lumora-decode-messages", MFD_CLOEXEC);
        if (fd_ < 0)
            return false;
        std::fflush(stdout);
        std::fflush(stderr);
        if (::dup2(fd_, 1) < 0 || ::dup2(fd_, 2) < 0) {
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        return true;
    }

    // What was printed since the last call (at most `limit` bytes), and the file emptied.
    std::string take(std::size_t limit) {
        if (fd_ < 0)
            return {};
        std::fflush(stdout);
        std::fflush(stderr);
        const off_t size = ::lseek(1, 0, SEEK_CUR);
        std::string text(std::size_t(std::max<off_t>(0, std::min<off_t>(size, off_t(limit)))), '\0');
        const ssize_t n = text.empty() ? 0 : ::pread(fd_, text.data(), text.size(), 0);
        text.resize(std::size_t(std::max<ssize_t>(0, n)));
        if (::ftruncate(fd_, 0) == 0)
            ::lseek(1, 0, SEEK_SET); // 1 and 2 share this file position
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        return text;
    }

private:
    int fd_ = -1;
};

[[noreturn]] void hangForever() {
    volatile unsigned long spin = 0;
    for (;;)
        spin = spin + 1;
}

// Tries to reach a loopback port and to create a file in a folder, as a subverted decoder might.
void tryToEscape(const std::string& target) {
    const auto bar = target.find('|');
    const int port = std::atoi(target.substr(0, bar).c_str());
    std::string outcome = "connect: ";
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        outcome += std::strerror(errno);
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        outcome += ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
                       ? "connected"
                       : std::strerror(errno);
        ::close(s);
    }
    outcome += "; write: ";
    const std::string file =
        bar == std::string::npos ? std::string() : target.substr(bar + 1) + "/escaped.txt";
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    outcome += fd >= 0 ? "written" : std::strerror(errno);
    if (fd >= 0)
        ::close(fd);
    logError("readImage", outcome);
}

// Runs a deliberate fault. Allocate returns with an error when the address-space limit refuses the memory.
ResponseHeader misbehave(Fault fault, const std::string& path) {
    ResponseHeader header;
    switch (fault) {
    case Fault::Crash:
        // The default action, even where a sanitizer has installed its own handler.
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
        break;
    case Fault::Abort:
        std::abort();
    case Fault::Allocate: {
        // Touches every page, as a decoder filling a huge image would.
        std::vector<char> memory(std::size_t(8) << 30, char(1));
        logError("readImage", "allocated " + std::to_string(memory.size()) + " bytes");
        return header;
    }
    case Fault::Hang:
        hangForever();
    case Fault::Escape:
        tryToEscape(path);
        return header;
    case Fault::None:
        break;
    }
    logError("readImage", "no fault requested");
    return header;
}

ResponseHeader decodeInto(const Request& request, cv::Mat* image) {
    ResponseHeader header;
    std::string reason;
    if (!checkImageFileBeforeDecoding(request.path, &reason)) {
        header.status = Status::Refused;
        logError("readImage", reason);
        return header;
    }
    cv::Mat decoded = readImageInProcess(request.path, request.preview);
    if (decoded.empty()) {
        header.status = Status::Unreadable;
        return header;
    }
    if (!isTransportableType(decoded.type()) || !withinImageLimits(decoded.cols, decoded.rows)) {
        header.status = Status::Refused;
        logError("readImage", request.path + ": the decoded image (" + std::to_string(decoded.cols) + " x " +
                                  std::to_string(decoded.rows) + ", type " + std::to_string(decoded.type()) +
                                  ") is not one Lumora accepts");
        return header;
    }
    if (!decoded.isContinuous())
        decoded = decoded.clone();
    header.status = Status::Ok;
    header.rows = decoded.rows;
    header.cols = decoded.cols;
    header.type = decoded.type();
    *image = decoded;
    return header;
}

} // namespace

namespace {
const char* const kOpenCvLimits[] = {"OPENCV_IO_MAX_IMAGE_WIDTH", "OPENCV_IO_MAX_IMAGE_HEIGHT",
                                     "OPENCV_IO_MAX_IMAGE_PIXELS"};
const long long kOpenCvLimitValues[] = {kMaxImageSide, kMaxImageSide, kMaxImagePixels};
} // namespace

void setOpenCvLimits() {
    for (int i = 0; i < 3; ++i)
        ::setenv(kOpenCvLimits[i], std::to_string(kOpenCvLimitValues[i]).c_str(), 1);
}

bool applyProcessLimits(const ServeOptions& options) {
    bool ok = true;
    // A crash leaves no core file behind in the user's folders.
    rlimit none{0, 0};
    ok &= setrlimit(RLIMIT_CORE, &none) == 0;
    if (options.addressSpaceBytes > 0) {
        rlimit space{rlim_t(options.addressSpaceBytes), rlim_t(options.addressSpaceBytes)};
        ok &= setrlimit(RLIMIT_AS, &space) == 0;
    }
    return ok;
}

int serveRequests(int inputFd, int outputFd, const ServeOptions& options) {
    redirectLog(takeNote);
    LibraryOutput libraries;
    if (options.captureLibraryOutput && !libraries.start())
        logError("lumora-decode",
                 std::string("image library messages stay on the terminal: ") + std::strerror(errno));
    // A pool that went away must end the helper through a failed write, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    Bytes buffer;
    for (;;) {
        Request request;
        const ReadOutcome got = readRequest(inputFd, buffer, &request);
        if (got == ReadOutcome::End)
            return 0;
        if (got == ReadOutcome::Garbage)
            return 2;

        limitCpuForNextRequest(options.cpuSecondsPerRequest);
        ResponseHeader header;
        cv::Mat image;
        try {
            if (request.kind == RequestKind::Fault) {
                if (options.allowFaults) {
                    header = misbehave(request.fault, request.path);
                } else {
                    header.status = Status::Refused;
                    logError("readImage", "this helper does not run test faults");
                }
            } else {
                header = decodeInto(request, &image);
            }
        } catch (const std::bad_alloc&) {
            header = ResponseHeader{};
            logError("readImage", "out of memory while reading " + request.path);
            image.release();
        } catch (const std::exception& e) {
            header = ResponseHeader{};
            logError("readImage", "error while reading " + request.path + ": " + e.what());
            image.release();
        }
        const std::string printed = libraries.take(kMaxErrorBytes / 2);
        if (!printed.empty())
            logError("readImage", "image libraries reading " + request.path + " said: " + printed);
        // The response carries the log entries of this request; Lumora writes them to its own log.
        header.error += takeNotes();

        const Bytes head = encodeResponseHeader(header);
        iovec parts[2] = {{const_cast<unsigned char*>(head.data()), head.size()},
                          {image.data, header.pixelBytes()}};
        // One writev for the common case; the loop below finishes partial writes.
        ssize_t n;
        do {
            n = ::writev(outputFd, parts, header.pixelBytes() > 0 ? 2 : 1);
        } while (n < 0 && errno == EINTR);
        if (n < 0)
            return 0;
        std::size_t done = std::size_t(n);
        if (done < head.size()) {
            if (!writeAll(outputFd, head.data() + done, head.size() - done))
                return 0;
            done = head.size();
        }
        const std::size_t pixelsDone = done - head.size();
        if (pixelsDone < header.pixelBytes() &&
            !writeAll(outputFd, image.data + pixelsDone, header.pixelBytes() - pixelsDone))
            return 0;
    }
}

} // namespace lumora::decode
