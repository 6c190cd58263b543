// The helper pool against real lumora-decode processes: pixels arrive unchanged, and a helper that crashes,
// aborts, runs out of memory, hangs or lies about what it sends costs one read, never the caller.

#include "imageio/DecoderPool.h"
#include "imageio/ImageFile.h"

#include "TestEnvironment.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#define POOL_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define POOL_TEST_SANITIZED 1
#endif
#endif

namespace {

using namespace lumora;
using decode::Fault;

class DecoderPoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // A 16-bit gradient with a marked corner: any reordering, truncation or byte swap shows.
        gradient_.create(37, 53, CV_16UC3);
        for (int y = 0; y < gradient_.rows; ++y)
            for (int x = 0; x < gradient_.cols; ++x)
                gradient_.at<cv::Vec3w>(y, x) = cv::Vec3w(ushort(x * 1000), ushort(y * 1500), ushort(x * y));
        gradient_.at<cv::Vec3w>(0, 0) = cv::Vec3w(65535, 1, 2);
        ASSERT_TRUE(cv::imwrite(path("gradient.png"), gradient_));
    }

    std::string path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

    static DecoderPoolOptions faultOptions() {
        DecoderPoolOptions o;
        o.allowFaults = true;
        o.size = 1;
        return o;
    }

    void expectGradient(const cv::Mat& m) const {
        ASSERT_EQ(m.type(), CV_16UC3);
        ASSERT_EQ(m.size(), gradient_.size());
        EXPECT_EQ(cv::norm(m, gradient_, cv::NORM_INF), 0.0);
    }

    // Writes an executable stand-in for the helper that answers with `bytes` (octal escapes for printf).
    std::string fakeHelper(const std::string& name, const std::string& printfFormat) const {
        const std::string file = path(name);
        std::ofstream(file) << "#!/bin/sh\nprintf '" << printfFormat << "'\nsleep 5\n";
        QFile::setPermissions(QString::fromStdString(file), QFile::ReadOwner | QFile::ExeOwner);
        return file;
    }

    QTemporaryDir dir_;
    cv::Mat gradient_;
};

// Pixels arrive exactly as the in-process reader gives them, several socket buffers' worth too (900 x 700 x 3
// x 2 bytes), all from one helper, and the image is Lumora's own: writable and shared by its copies.
TEST_F(DecoderPoolTest, PixelsArriveIntactFromOneHelperAndStayUsable) {
    cv::Mat big(700, 900, CV_16UC3);
    cv::randu(big, 0, 65535);
    ASSERT_TRUE(cv::imwrite(path("big.tif"), big));
    cv::Mat bgr8;
    big.convertTo(bgr8, CV_8U, 1.0 / 257);
    ASSERT_TRUE(cv::imwrite(path("big.png"), bgr8));

    DecoderPool pool;
    const PooledRead got = pool.read(path("gradient.png"), false);
    EXPECT_EQ(got.status, decode::Status::Ok) << got.error;
    EXPECT_FALSE(got.helperFailed) << got.error;
    expectGradient(got.image);
    EXPECT_EQ(cv::norm(got.image, readImageInProcess(path("gradient.png")), cv::NORM_INF), 0.0);
    for (int round = 0; round < 3; ++round) {
        const cv::Mat tiff = pool.read(path("big.tif"), false).image;
        ASSERT_EQ(tiff.type(), CV_16UC3);
        EXPECT_EQ(cv::norm(tiff, big, cv::NORM_INF), 0.0);
        const cv::Mat png = pool.read(path("big.png"), false).image;
        ASSERT_EQ(png.type(), CV_8UC3);
        EXPECT_EQ(cv::norm(png, bgr8, cv::NORM_INF), 0.0);
        cv::Mat edited = tiff;
        edited.setTo(cv::Scalar::all(7));
        EXPECT_EQ(cv::norm(tiff, cv::Mat(tiff.size(), tiff.type(), cv::Scalar::all(7)), cv::NORM_INF), 0.0);
    }
    EXPECT_EQ(pool.helpersStarted(), 1);
}

TEST_F(DecoderPoolTest, UnreadableFilesAreOrdinaryFailuresThatKeepTheHelper) {
    std::ofstream(path("notes.jpg")) << "not a picture";
    // Cut in the middle of its pixel data: the image libraries complain as they give up.
    QFile png(QString::fromStdString(path("gradient.png")));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const QByteArray bytes = png.readAll();
    std::ofstream(path("cut.png"), std::ios::binary).write(bytes.constData(), bytes.size() / 2);

    testing::internal::CaptureStderr(); // the helpers inherit it
    DecoderPool pool;
    for (const char* name : {"missing.png", "notes.jpg", "cut.png"}) {
        const PooledRead got = pool.read(path(name), false);
        EXPECT_TRUE(got.image.empty()) << name;
        EXPECT_FALSE(got.helperFailed) << name;
        if (std::string(name) == "cut.png") {
            EXPECT_NE(got.error.find(path(name)), std::string::npos) << "the complaint goes to the log";
        }
    }
    const std::string printed = testing::internal::GetCapturedStderr();
#ifndef POOL_TEST_SANITIZED
    EXPECT_EQ(printed, "") << "nothing reaches the terminal";
#endif
    expectGradient(pool.read(path("gradient.png"), false).image);
    EXPECT_EQ(pool.helpersStarted(), 1);
}

// The four kinds of misbehaviour in turn, 100 requests in all, each followed by a real read that must be
// served.
TEST_F(DecoderPoolTest, EveryFaultCostsOneReadAndTheNextIsServed) {
    struct FaultCase {
        Fault fault;
        bool helperSurvives;
    };
    std::vector<FaultCase> faults = {{Fault::Crash, false}, {Fault::Abort, false}, {Fault::Hang, false}};
#ifndef POOL_TEST_SANITIZED
    // The address-space ceiling turns 8 GiB into a refused allocation the helper reports and survives.
    // Sanitizer builds run the helper without that ceiling.
    faults.push_back({Fault::Allocate, true});
#endif
    DecoderPool pool(faultOptions());
    int served = 0, survived = 0;
    const int rounds = 100;
    for (int round = 0; round < rounds; ++round) {
        const FaultCase c = faults[std::size_t(round) % faults.size()];
        // A hang is cut by the wall clock; the short limit keeps them quick.
        const PooledRead bad = pool.injectFault(c.fault, c.fault == Fault::Hang ? 250 : 0);
        EXPECT_TRUE(bad.image.empty());
        EXPECT_EQ(bad.helperFailed, !c.helperSurvives) << "round " << round << ": " << bad.error;
        survived += c.helperSurvives ? 1 : 0;
        const PooledRead next = pool.read(path("gradient.png"), false);
        if (!next.image.empty() && cv::norm(next.image, gradient_, cv::NORM_INF) == 0.0)
            ++served;
        else
            ADD_FAILURE() << "round " << round << ": " << next.error;
    }
    EXPECT_EQ(served, rounds);
    EXPECT_EQ(pool.helpersStarted(), 1 + rounds - survived);
}

TEST_F(DecoderPoolTest, CpuAllowanceStopsABusyLoopBeforeTheWallClock) {
    DecoderPoolOptions o = faultOptions();
    o.sandbox = false;
    o.cpuSeconds = 1;
    o.timeoutMs = 30000;
    DecoderPool pool(o);
    const auto start = std::chrono::steady_clock::now();
    const PooledRead got = pool.injectFault(Fault::Hang);
    EXPECT_TRUE(got.helperFailed);
    EXPECT_NE(got.error.find("signal " + std::to_string(SIGXCPU)), std::string::npos) << got.error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25));
    // Earlier requests' CPU time does not count against the next one.
    expectGradient(pool.read(path("gradient.png"), false).image);
}

// A helper that lies about what it sends, says nothing, or is not there at all (it then is named).
TEST_F(DecoderPoolTest, LyingOrMissingHelpersCannotMakeTheCallerAllocateOrHang) {
    struct Lie {
        const char* name;
        const char* answer; // printf format, little-endian fields; none: no helper at all
    };
    // Header: magic LMRS, version 1, status, rows, cols, type, error length.
    const Lie lies[] = {
        {"garbage", "hello, world"},
        {"huge", "LMRS\\001\\000\\000\\000\\000\\000\\000\\000\\140\\352\\000\\000\\140\\352\\000\\000"
                 "\\020\\000\\000\\000\\000\\000\\000\\000"}, // 60000 x 60000 x 3 bytes
        {"short", "LMRS\\001\\000\\000\\000\\000\\000\\000\\000\\012\\000\\000\\000\\012\\000\\000\\000"
                  "\\000\\000\\000\\000\\000\\000\\000\\000abc"}, // 100 pixels announced, 3 sent
        {"silent", ""},
        {"no-such-helper", nullptr},
    };
    for (const Lie& lie : lies) {
        DecoderPoolOptions o;
        o.helperPath = lie.answer ? fakeHelper(lie.name, lie.answer) : path(lie.name);
        o.sandbox = false;
        o.timeoutMs = 2000;
        DecoderPool pool(o);
        const PooledRead got = pool.read(path("gradient.png"), false);
        EXPECT_TRUE(got.image.empty()) << lie.name;
        EXPECT_TRUE(got.helperFailed) << lie.name;
        EXPECT_FALSE(got.error.empty()) << lie.name;
        if (!lie.answer) {
            EXPECT_NE(got.error.find(lie.name), std::string::npos) << got.error;
        }
    }
}

TEST_F(DecoderPoolTest, ConcurrentReadersShareASmallPool) {
    DecoderPoolOptions o;
    o.size = 2;
    DecoderPool pool(o);
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                const PooledRead r = pool.read(path("gradient.png"), false);
                if (!r.image.empty() && cv::norm(r.image, gradient_, cv::NORM_INF) == 0.0)
                    ++good;
                else
                    ADD_FAILURE() << r.error;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(good.load(), 40);
    EXPECT_LE(pool.helpersStarted(), 2);
}

// The same escape attempt with and without bwrap: without it the attempt works (so the probe is real), inside
// it neither the loopback listener nor the folder sees anything.
TEST_F(DecoderPoolTest, SandboxedHelpersReachNoNetworkAndWriteNoFiles) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string target = std::to_string(ntohs(address.sin_port)) + "|" + dir_.path().toStdString();
    const std::string written = path("escaped.txt");
    const auto connectionsWaiting = [&] {
        int n = 0;
        for (int c; (c = ::accept(listener, nullptr, nullptr)) >= 0; ++n)
            ::close(c);
        return n;
    };

    DecoderPoolOptions open = faultOptions();
    open.sandbox = false;
    const PooledRead control = DecoderPool(open).injectFault(Fault::Escape, 0, target);
    EXPECT_NE(control.error.find("connect: connected; write: written"), std::string::npos) << control.error;
    EXPECT_EQ(connectionsWaiting(), 1);
    EXPECT_TRUE(QFile::remove(QString::fromStdString(written)));

    DecoderPool sandboxed(faultOptions());
    if (!sandboxed.sandboxed()) {
        ::close(listener);
        GTEST_SKIP() << "bwrap is missing or cannot create namespaces here";
    }
    const PooledRead escape = sandboxed.injectFault(Fault::Escape, 0, target);
    EXPECT_FALSE(escape.helperFailed) << escape.error;
    EXPECT_EQ(escape.error.find("connected"), std::string::npos) << escape.error;
    EXPECT_EQ(escape.error.find("written"), std::string::npos) << escape.error;
    EXPECT_EQ(connectionsWaiting(), 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(written)));
    // Reading still works inside the sandbox.
    expectGradient(sandboxed.read(path("gradient.png"), false).image);
    ::close(listener);
}

// The sandbox is not tested before the first read: where bwrap works, the first read is its test; where it
// cannot run (user namespaces refused), the first read finds out and is served without it.
TEST_F(DecoderPoolTest, TheFirstReadTestsTheSandbox) {
    struct Case {
        const char* name;
        bool works;
        int bwrapRuns; // the helper's start, and the test after a failed start
    };
    for (const Case& c : {Case{"bwrap works", true, 1}, Case{"bwrap refused", false, 2}}) {
        SCOPED_TRACE(c.name);
        QTemporaryDir bin;
        const std::string calls = bin.path().toStdString() + "/calls",
                          bwrap = bin.path().toStdString() + "/bwrap";
        // A stand-in that counts its runs, then runs the command after "--" (unconfined) or refuses.
        std::ofstream(bwrap) << "#!/bin/sh\necho run >> '" << calls << "'\n"
                             << (c.works
                                     ? "while [ \"$1\" != -- ]; do shift; done; shift; exec \"$@\"\n"
                                     : "echo 'bwrap: No permissions to create new namespace' >&2; exit 1\n");
        QFile::setPermissions(QString::fromStdString(bwrap), QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit() + ":" + oldPath);
        {
            DecoderPool pool;
            expectGradient(pool.read(path("gradient.png"), false).image);
            std::ifstream in(calls);
            EXPECT_EQ(std::count(std::istreambuf_iterator<char>(in), {}, '\n'), c.bwrapRuns);
            EXPECT_EQ(pool.sandboxed(), c.works);
            expectGradient(pool.read(path("gradient.png"), false).image);
        }
        qputenv("PATH", oldPath);
    }
}

// In a program started with its standard input closed the helper's socket is descriptor 0, and it must be
// closed with the helper like any other, or every restart leaks one.
TEST_F(DecoderPoolTest, DescriptorZeroIsReleasedWhenItIsTheHelpersSocket) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(0);
        int code = 0;
        {
            DecoderPool pool;
            struct stat info {};
            if (pool.read(path("gradient.png"), false).image.empty())
                code = 2;
            else if (::fstat(0, &info) != 0 || !S_ISSOCK(info.st_mode))
                code = 3;
        }
        if (code == 0 && ::fcntl(0, F_GETFD) != -1)
            code = 1;
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "descriptor 0 went to something other than the helper's socket";
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: descriptor 0 still open after the pool stopped; 2: the read failed";
}

} // namespace
