// Exact frame access on videos: every frame by index, in any order and in ranges, is the frame a sequential
// decode from the start delivers at that place, and the frame count is the number of frames that decode.

#include "CounterCode.h"
#include "MediaTestSupport.h"
#include "TestEnvironment.h"
#include "media/ImagesSequence.h"
#include "media/VideoDecoder.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>

using lumora::ImagesSequence;
using lumora::VideoDecoder;
using lumora::test::frameFingerprint;
using lumora::test::testMediaPath;
using lumora::testmedia::decodeCounterIndex;

namespace {

const std::string kForensics = "/usr/share/forensics-samples/original-files/movie2/";

// A clip re-muxed, re-encoded or damaged from the generated counter clip; "" when ffmpeg cannot make it.
std::string derived(const std::string& name) {
    static QTemporaryDir dir;
    const QString source = QString::fromStdString(testMediaPath("counter_gop12.mp4"));
    const QString out = dir.filePath(QString::fromStdString(name));
    bool ok = false;
    if (name == "remux.mkv") // Matroska stores presentation timestamps only
        ok = lumora::test::runFfmpeg({"-i", source, "-c", "copy", out});
    else if (name == "editlist.mp4") // a cut without re-encoding hides the frames before it in an edit list
        ok = lumora::test::runFfmpeg({"-ss", "1.3", "-i", source, "-c", "copy", out});
    else if (name == "vfr_bframes.mp4") // every third frame dropped, timestamps kept, B-frames
        ok = lumora::test::runFfmpeg({"-i", source, "-vf", "select='mod(n\\,3)'", "-fps_mode", "vfr", "-c:v",
                                      "libx264", "-bf", "3", "-g", "12", "-pix_fmt", "yuv420p", out});
    else if (name == "rotated90.mp4") // a portrait phone clip: landscape pictures with a display rotation
        ok = lumora::test::runFfmpeg({"-i", source, "-c", "copy", "-metadata:s:v:0", "rotate=90", out});
    else if (name == "truncated.mkv") { // cut off mid-write: the header promises more than the file holds
        ok = lumora::test::runFfmpeg({"-i", source, "-c", "copy", out});
        QFile file(out);
        ok = ok && file.resize(file.size() * 83 / 100);
    } else if (name == "tail.avi" ||
               name == "tail.mp4") // the last packet in the file zeroed: listed, undecodable
        ok = lumora::test::copyWithZeroedPacket(
            QString::fromStdString(
                testMediaPath(name == "tail.avi" ? "counter_mjpg.avi" : "counter_gop12.mp4")),
            out, -1);
    return ok ? out.toStdString() : std::string();
}

struct Clip {
    const char* name;
    std::string path;
    bool counter; // frame i shows the number i in the counter code
    int sampled;  // 0: every frame in each order; else this many in shuffled order only
    int backward; // frames read in descending order from the last one; 0: all
};

void PrintTo(const Clip& clip, std::ostream* os) {
    *os << clip.name;
}

class ExactFrameAccess : public ::testing::TestWithParam<Clip> {};

TEST_P(ExactFrameAccess, EveryReadReturnsTheFrameOfASequentialDecode) {
    const Clip& clip = GetParam();
    const std::string path = clip.path.empty() ? derived(clip.name) : clip.path;
    if (path.empty() || !QFile::exists(QString::fromStdString(path)))
        GTEST_SKIP() << clip.name << " is not available";
    const auto reference = lumora::test::decodeSequentially(path);
    const int n = static_cast<int>(reference.fingerprints.size());
    ASSERT_GT(n, 0);
    ImagesSequence sequence(path);
    ASSERT_TRUE(sequence.ready());
    EXPECT_EQ(sequence.frameCount(), n) << "the container lists " << reference.listedFrameCount;

    auto check = [&](int index, const cv::Mat& frame, const char* order) {
        ASSERT_EQ(frame.type(), CV_8UC3) << order << " frame " << index;
        EXPECT_EQ(frameFingerprint(frame), reference.fingerprints[size_t(index)])
            << order << " frame " << index;
        if (clip.counter) { // independent of any decoder: the generated clips show their own frame number
            EXPECT_EQ(decodeCounterIndex(frame), index) << order;
        }
    };
    std::vector<int> shuffled = lumora::test::shuffledIndices(n, 7);
    if (clip.sampled > 0) {
        shuffled.resize(size_t(std::min(n, clip.sampled)));
        shuffled.insert(shuffled.end(), {n - 1, 0});
    }
    for (int i : shuffled)
        check(i, sequence.getCvImageAt(i, false), "shuffled");
    for (int i = n - 1; clip.sampled == 0 && i >= (clip.backward > 0 ? std::max(0, n - clip.backward) : 0);
         --i)
        check(i, sequence.getCvImageAt(i, false), "backward");

    // Ranges at the start, across keyframes, at the end, and one reaching past the end.
    for (const auto& [first, last] : std::vector<std::pair<int, int>>{
             {0, 16}, {n / 2 - 8, n / 2 + 8}, {n / 3, n / 3 + 16}, {n - 17, n - 1}, {5, 5}, {n - 3, n + 2}}) {
        const std::vector<cv::Mat> frames = sequence.getCvImagesInRange(first, last);
        ASSERT_EQ(static_cast<int>(frames.size()), last - first + 1);
        for (int index = first; index <= last; ++index) {
            if (index < n)
                check(index, frames[size_t(index - first)], "range");
            else
                EXPECT_TRUE(frames[size_t(index - first)].empty()) << "frame " << index << " is past the end";
        }
    }
    EXPECT_TRUE(sequence.getCvImagesInRange(10, 9).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Clips, ExactFrameAccess,
    ::testing::Values(Clip{"gop12", testMediaPath("counter_gop12.mp4"), true, 0, 0},
                      // A 250-frame GOP: the backward pass crosses one keyframe.
                      Clip{"gop250", testMediaPath("counter_gop250.mp4"), true, 0, 80},
                      Clip{"mjpg", testMediaPath("counter_mjpg.avi"), true, 0, 0},
                      Clip{"hello_mp4", kForensics + "movie-hello.mp4", false, 0, 0},
                      // H.264 in AVI without presentation timestamps, one frame missing from the index.
                      Clip{"hello_avi", kForensics + "movie-hello.avi", false, 80, 0},
                      // MPEG-2 with timestamps on some packets only: found by decoding from the start.
                      Clip{"hello_mpeg", kForensics + "movie-hello.mpeg", false, 30, 0},
                      Clip{"remux.mkv", "", true, 0, 0}, Clip{"editlist.mp4", "", false, 0, 0},
                      Clip{"vfr_bframes.mp4", "", false, 0, 0}, Clip{"truncated.mkv", "", false, 0, 0},
                      Clip{"tail.avi", "", false, 0, 0}),
    [](const ::testing::TestParamInfo<Clip>& info) {
        std::string n = info.param.name;
        std::replace(n.begin(), n.end(), '.', '_');
        return n;
    });

TEST(FrameCount, FramesThatDoNotDecodeAreNotCountedAndFilesThatAreNoVideoDoNotOpen) {
    // The generated clips seek by timestamp rather than decoding from the start.
    for (const char* name : {"counter_gop12.mp4", "counter_gop250.mp4", "counter_mjpg.avi"}) {
        const auto decoder = VideoDecoder::open(testMediaPath(name)).take();
        ASSERT_TRUE(decoder) << name;
        EXPECT_TRUE(decoder->hasTimestampIndex()) << name;
    }
    // A zeroed B-frame near the end of an H.264 clip: one number missing near the end, the rest in order.
    const std::string tail = derived("tail.mp4");
    if (!tail.empty()) {
        ImagesSequence sequence(tail);
        ASSERT_EQ(sequence.frameCount(), 299) << "300 frames listed, the one in the zeroed packet lost";
        int gaps = 0, previous = -1;
        for (int i = 0; i < 299; ++i) {
            const int shown = decodeCounterIndex(sequence.getCvImageAt(i, false));
            EXPECT_TRUE(shown == previous + 1 || (shown == previous + 2 && i >= 279)) << "frame " << i;
            gaps += shown == previous + 2;
            previous = shown;
        }
        EXPECT_EQ(gaps, 1);
    }
    lumora::test::LogCapture log;
    const std::string text = log.folder() + "notes.mp4";
    ASSERT_TRUE(lumora::test::writeFileText(text, "this is not a video\n"));
    const auto notVideo = VideoDecoder::open(text);
    EXPECT_FALSE(notVideo);
    EXPECT_FALSE(notVideo.reason().empty());
    EXPECT_FALSE(VideoDecoder::open(log.folder() + "missing.mp4"));
    // A still picture opens in libavformat as a one-frame video; it belongs to the image reader.
    EXPECT_FALSE(VideoDecoder::open(testMediaPath("burst_png8/frame_000.png")));
}

// Portrait clips come out as players show them, as ffmpeg's automatic rotation does: "rotate=90" shows the
// stored pictures turned a quarter turn counterclockwise.
TEST(VideoRotation, PortraitClipsComeUpright) {
    const std::string path = derived("rotated90.mp4");
    if (path.empty())
        GTEST_SKIP() << "ffmpeg is not available";
    ImagesSequence rotated(path), stored(testMediaPath("counter_gop12.mp4"));
    ASSERT_TRUE(rotated.ready() && stored.ready());
    EXPECT_EQ(rotated.width(), 240);
    EXPECT_EQ(rotated.height(), 320);
    for (int i : {0, 7, 150, 299}) {
        cv::Mat turned;
        cv::rotate(stored.getCvImageAt(i, false), turned, cv::ROTATE_90_COUNTERCLOCKWISE);
        EXPECT_EQ(frameFingerprint(rotated.getCvImageAt(i, false)), frameFingerprint(turned))
            << "frame " << i;
    }
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.png"));
    ASSERT_TRUE(lumora::test::runFfmpeg({"-i", QString::fromStdString(path), "-frames:v", "1", first}));
    EXPECT_EQ(frameFingerprint(rotated.getCvImageAt(0, false)),
              frameFingerprint(cv::imread(first.toStdString(), cv::IMREAD_COLOR)));
}

} // namespace
