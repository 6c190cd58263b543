// A video is read from the one file opened and from nothing else. Files that only describe streams found
// elsewhere (playlists, concatenation scripts, session descriptions) open as unreadable and never reach the
// network or other files; special files are refused without blocking; every container we accept still opens.

#include "CounterCode.h"
#include "MediaTestSupport.h"
#include "TestEnvironment.h"
#include "media/ImagesSequence.h"
#include "media/VideoDecoder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using lumora::VideoDecoder;
using lumora::testmedia::decodeCounterIndex;

namespace {

using namespace std::chrono_literals;

constexpr int kCounterFrames = 300; // length of the generated counter clips

// A TCP port on the loopback interface on which nothing is ever accepted during an opening: the kernel
// completes connections into the backlog, so any attempt is counted afterwards, even one the client gave up
// at once.
class LoopbackListener {
public:
    LoopbackListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fd_, 64) == 0 && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int port() const { return port_; }
    // Connections made since the last call.
    int takeConnections() {
        int count = 0;
        for (int client; (client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ++count)
            ::close(client);
        return count;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

enum class Outcome { Unreadable, Opened, Blocked, Crashed };

// Opens `path` the way the window opens a video, in a child process: an opening that blocks (a FIFO, a
// server that never answers) is killed at `limit` and fails the test instead of hanging it. The child writes
// its log entries into the current log file.
Outcome openInChild(const std::string& path, std::chrono::milliseconds limit = 20s) {
    const pid_t child = ::fork();
    if (child == 0) {
        bool ready = false;
        {
            lumora::ImagesSequence sequence(path);
            ready = sequence.ready() && !sequence.getCvImageAt(0, false).empty();
        }
        ::_exit(ready ? 1 : 0);
    }
    if (child < 0)
        return Outcome::Crashed;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) != child) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return Outcome::Blocked;
        }
        std::this_thread::sleep_for(10ms);
    }
    if (!WIFEXITED(status))
        return Outcome::Crashed;
    return WEXITSTATUS(status) == 1 ? Outcome::Opened : Outcome::Unreadable;
}

std::string counterClip() {
    return lumora::test::testMediaPath("counter_gop12.mp4");
}

// The log names the file and says why it was refused.
void expectLoggedAsUnreadable(const std::string& log, const std::string& path, const std::string& reason) {
    EXPECT_NE(log.find("'" + path + "': "), std::string::npos) << "no reason logged:\n" << log;
    EXPECT_NE(log.find(reason), std::string::npos) << "the reason does not mention '" << reason << "':\n"
                                                   << log;
}

struct StreamDescription {
    std::string name;
    // What the file holds, given the listener's port and a folder holding a copy of the counter clip
    // ("part.mp4").
    std::function<std::string(int port, const std::string& folder)> content;
    std::string reason; // a word the logged reason must contain: the kind of file it was recognised as
};

TEST(VideoInputs, StreamDescriptionsNamedLikeVideosOpenAsUnreadableWithoutConnecting) {
    const std::vector<StreamDescription> cases{
        {"HLS playlist with a segment on a web server",
         [](int port, const std::string&) {
             return "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\n#EXT-X-MEDIA-SEQUENCE:0\n"
                    "#EXTINF:10.0,\nhttp://127.0.0.1:" +
                    std::to_string(port) + "/seg.ts\n#EXT-X-ENDLIST\n";
         },
         "hls"},
        {"concatenation script with a web address",
         [](int port, const std::string&) {
             return "ffconcat version 1.0\nfile 'http://127.0.0.1:" + std::to_string(port) + "/a.mp4'\n";
         },
         "concat"},
        {"concatenation script with a local video beside it",
         [](int, const std::string&) { return std::string("ffconcat version 1.0\nfile 'part.mp4'\n"); },
         "concat"},
        {"session description with an RTSP control address",
         [](int port, const std::string&) {
             const std::string p = std::to_string(port);
             return "v=0\no=- 0 0 IN IP4 127.0.0.1\ns=clip\nc=IN IP4 127.0.0.1\nt=0 "
                    "0\na=control:rtsp://127.0.0.1:" +
                    p + "/clip\nm=video " + std::to_string(port + 2) +
                    " RTP/AVP 96\na=rtpmap:96 H264/90000\na=control:rtsp://127.0.0.1:" + p + "/clip/track1\n";
         },
         "sdp"},
    };

    LoopbackListener server;
    ASSERT_GT(server.port(), 0) << "no loopback port to listen on";
    for (const StreamDescription& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        ASSERT_TRUE(
            QFile::copy(QString::fromStdString(counterClip()), dir.filePath(QStringLiteral("part.mp4"))));
        const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
        ASSERT_TRUE(lumora::test::writeFileText(clip.toStdString(), c.content(server.port(), folder)));

        lumora::test::LogCapture log;
        EXPECT_EQ(openInChild(clip.toStdString()), Outcome::Unreadable);
        EXPECT_EQ(server.takeConnections(), 0) << "a connection reached the loopback server";
        expectLoggedAsUnreadable(log.text(), clip.toStdString(), c.reason);
        // The same file opened directly in this process.
        EXPECT_FALSE(VideoDecoder::open(clip.toStdString()));
        EXPECT_EQ(server.takeConnections(), 0);
    }
}

TEST(VideoInputs, ADamagedContainersComplaintsGoToTheLogNotTheTerminal) {
    QFile source(QString::fromStdString(counterClip()));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("cut.mp4")); // its index (moov) lost
    ASSERT_TRUE(
        lumora::test::writeFileText(clip.toStdString(), source.read(source.size() / 3).toStdString()));

    lumora::test::LogCapture log;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(VideoDecoder::open(clip.toStdString()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(log.text().find("libav"), std::string::npos) << log.text();
}

TEST(VideoInputs, SpecialFilesNamedLikeVideosAreRefusedWithoutBlocking) {
    QTemporaryDir dir;
    const std::string fifo = dir.filePath(QStringLiteral("fifo/clip.mp4")).toStdString();
    const std::string device = dir.filePath(QStringLiteral("device/clip.mp4")).toStdString();
    const std::string folder = dir.filePath(QStringLiteral("folder/clip.mp4")).toStdString();
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("fifo")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("device")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("folder/clip.mp4")));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", device.c_str()), 0);

    for (const std::string& path : {fifo, device, folder}) {
        SCOPED_TRACE(path);
        lumora::test::LogCapture log;
        // Nobody ever writes into the FIFO: an opening that waits for a writer is killed at the limit.
        EXPECT_EQ(openInChild(path, 10s), Outcome::Unreadable);
        expectLoggedAsUnreadable(log.text(), path, "regular file");
    }
}

TEST(VideoInputs, ALinkToAVideoOpensAsTheVideo) {
    QTemporaryDir dir;
    const std::string link = dir.filePath(QStringLiteral("clip.mp4")).toStdString();
    ASSERT_EQ(::symlink(counterClip().c_str(), link.c_str()), 0);
    EXPECT_EQ(openInChild(link), Outcome::Opened);
    const auto decoder = VideoDecoder::open(link).take();
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->frameCount(), kCounterFrames);
    EXPECT_EQ(decodeCounterIndex(decoder->frameAt(kCounterFrames - 1)), kCounterFrames - 1);
}

struct Container {
    const char* file;     // the extension picks ffmpeg's muxer
    QStringList encoding; // ffmpeg arguments between input and output
};

// The counter clip re-muxed (or re-encoded where the container cannot hold H.264) into each container family
// we read: every one opens with all its frames, and sampled frames show their own index.
TEST(VideoInputs, EveryAcceptedContainerStillOpens) {
    const QStringList copy{QStringLiteral("-c"), QStringLiteral("copy")};
    const QStringList mpeg2{QStringLiteral("-c:v"), QStringLiteral("mpeg2video"), QStringLiteral("-q:v"),
                            QStringLiteral("2")};
    const std::vector<Container> containers{
        {"clip.mov", copy},
        {"clip.3gp", copy},
        {"clip.mkv", copy},
        {"clip.avi", copy},
        {"clip.flv", copy},
        {"clip.wmv", copy},
        {"clip.mts", copy + QStringList{QStringLiteral("-f"), QStringLiteral("mpegts")}},
        {"clip.mpg", mpeg2},
        {"clip.m2v", mpeg2 + QStringList{QStringLiteral("-f"), QStringLiteral("mpeg2video")}},
        {"clip.mxf", mpeg2},
        {"clip.ogv",
         {QStringLiteral("-c:v"), QStringLiteral("libtheora"), QStringLiteral("-q:v"), QStringLiteral("8")}},
        {"clip.webm",
         {QStringLiteral("-c:v"), QStringLiteral("libvpx"), QStringLiteral("-b:v"), QStringLiteral("2M"),
          QStringLiteral("-deadline"), QStringLiteral("realtime")}},
        {"clip.dv",
         {QStringLiteral("-vf"), QStringLiteral("scale=720:576"), QStringLiteral("-c:v"),
          QStringLiteral("dvvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")}},
    };
    QTemporaryDir dir;
    for (const Container& c : containers) {
        SCOPED_TRACE(c.file);
        const QString out = dir.filePath(QString::fromLatin1(c.file));
        if (!lumora::test::runFfmpeg(QStringList{QStringLiteral("-i"), QString::fromStdString(counterClip()),
                                                 QStringLiteral("-an")} +
                                     c.encoding + QStringList{out})) {
            ADD_FAILURE() << "ffmpeg could not write " << c.file;
            continue;
        }
        auto opened = VideoDecoder::open(out.toStdString());
        ASSERT_TRUE(opened) << opened.reason();
        const auto decoder = opened.take();
        EXPECT_EQ(decoder->frameCount(), kCounterFrames);
        for (int index : {0, 1, 137, kCounterFrames - 1})
            EXPECT_EQ(decodeCounterIndex(decoder->frameAt(index)), index) << "frame " << index;
    }
}

} // namespace
