// Exact frame access on videos: every frame by index, in any order, must be the frame a sequential decode
// from the start delivers at that place, and the frame count must be the number of frames that decode.

#include "CounterCode.h"
#include "MediaTestSupport.h"
#include "TestEnvironment.h"
#include "media/ImagesSequence.h"
#include "media/VideoDecoder.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <functional>
#include <map>
#include <mutex>

using lumora::ImagesSequence;
using lumora::VideoDecoder;
using lumora::test::frameFingerprint;
using lumora::testmedia::decodeCounterIndex;

namespace {

const std::string kForensicsDir = "/usr/share/forensics-samples/original-files/movie2/";

bool fileExists(const std::string& path) {
    return QFile::exists(QString::fromStdString(path));
}

// Clips re-muxed or re-encoded from the generated counter clips, made once per test run.
class DerivedClips {
public:
    static std::string path(const std::string& name) {
        static DerivedClips clips;
        std::lock_guard<std::mutex> lock(clips.mutex_);
        auto it = clips.made_.find(name);
        if (it == clips.made_.end())
            it = clips.made_.emplace(name, clips.make(name)).first;
        return it->second;
    }

private:
    std::string make(const std::string& name) {
        const QString source12 = QString::fromStdString(lumora::test::testMediaPath("counter_gop12.mp4"));
        const QString out = dir_.filePath(QString::fromStdString(name));
        bool ok = false;
        if (name == "remux_gop12.mkv") {
            // Matroska stores presentation timestamps only.
            ok = lumora::test::runFfmpeg({"-i", source12, "-c", "copy", out});
        } else if (name == "editlist.mp4") {
            // Cutting without re-encoding starts on a keyframe before the cut and hides the frames before it
            // through an edit list: they are decoded for reference but never shown.
            ok = lumora::test::runFfmpeg({"-ss", "1.3", "-i", source12, "-c", "copy", out});
        } else if (name == "vfr_bframes.mp4") {
            // Every third frame dropped with the timestamps kept: a variable frame rate with B-frames.
            ok = lumora::test::runFfmpeg({"-i", source12, "-vf", "select='mod(n\\,3)'", "-fps_mode", "vfr",
                                          "-c:v", "libx264", "-bf", "3", "-g", "12", "-pix_fmt", "yuv420p",
                                          out});
        } else if (name == "rotated90.mp4") {
            // A portrait phone clip: landscape pictures with a display rotation.
            ok = lumora::test::runFfmpeg({"-i", source12, "-c", "copy", "-metadata:s:v:0", "rotate=90", out});
        } else if (name == "truncated.mkv") {
            // A recording cut off mid-write: the header promises more than the file holds.
            const QString full = dir_.filePath(QStringLiteral("full.mkv"));
            ok = lumora::test::runFfmpeg({"-i", source12, "-c", "copy", full});
            QFile file(full);
            ok = ok && file.resize(file.size() * 83 / 100) && QFile::rename(full, out);
        } else if (name == "corrupt_tail_mjpg.avi" || name == "corrupt_tail_gop12.mp4") {
            // The last packet in the file is overwritten with zeros: the container still lists it, but it
            // does not decode. In the H.264 clip it is a B-frame shown a little before the end.
            const bool mjpg = name == "corrupt_tail_mjpg.avi";
            const QString source = QString::fromStdString(
                lumora::test::testMediaPath(mjpg ? "counter_mjpg.avi" : "counter_gop12.mp4"));
            ok = lumora::test::copyWithZeroedPacket(source, out, -1);
        }
        return ok ? out.toStdString() : std::string();
    }

    QTemporaryDir dir_;
    std::mutex mutex_;
    std::map<std::string, std::string> made_;
};

struct Clip {
    std::string name;
    std::function<std::string()> path;
    bool counter;       // frame i shows the number i in the counter code
    int sampledIndices; // 0: every frame in each order; else this many in shuffled order only
    int backwardFrames; // frames read in descending order from the last one; 0: all
};

std::ostream& operator<<(std::ostream& os, const Clip& clip) {
    return os << clip.name;
}

std::string generated(const std::string& name) {
    return lumora::test::testMediaPath(name);
}

class ExactFrameAccess : public ::testing::TestWithParam<Clip> {};

TEST_P(ExactFrameAccess, EveryReadReturnsTheFrameOfASequentialDecode) {
    const Clip& clip = GetParam();
    const std::string path = clip.path();
    if (path.empty() || !fileExists(path))
        GTEST_SKIP() << clip.name << " is not available";
    const auto reference = lumora::test::decodeSequentially(path);
    ASSERT_FALSE(reference.fingerprints.empty());
    const int n = static_cast<int>(reference.fingerprints.size());

    ImagesSequence sequence(path);
    ASSERT_TRUE(sequence.ready());
    EXPECT_EQ(sequence.frameCount(), n) << "the container lists " << reference.listedFrameCount;

    auto check = [&](int index, const cv::Mat& frame, const char* order) {
        ASSERT_EQ(frame.type(), CV_8UC3) << order << " frame " << index;
        EXPECT_EQ(frameFingerprint(frame), reference.fingerprints[static_cast<size_t>(index)])
            << order << " frame " << index;
        // Independent of any decoder: the generated clips show their own frame number.
        if (clip.counter) {
            EXPECT_EQ(decodeCounterIndex(frame), index) << order;
        }
    };
    std::vector<std::pair<int, const char*>> reads;
    if (clip.sampledIndices > 0) {
        auto order = lumora::test::shuffledIndices(n, 7);
        order.resize(static_cast<size_t>(std::min(n, clip.sampledIndices)));
        order.push_back(n - 1);
        order.push_back(0);
        for (int i : order)
            reads.emplace_back(i, "shuffled");
    } else {
        for (int i : lumora::test::shuffledIndices(n, 7))
            reads.emplace_back(i, "shuffled");
        for (int i = n - 1; i >= (clip.backwardFrames > 0 ? std::max(0, n - clip.backwardFrames) : 0); --i)
            reads.emplace_back(i, "backward");
        for (int i = 0; i < n; i += 3)
            reads.emplace_back(i, "forward by 3");
    }
    for (const auto& [i, order] : reads)
        check(i, sequence.getCvImageAt(i, false), order);

    // Range reads: at the start, across keyframes, at the end, and one reaching past the end.
    const std::vector<std::pair<int, int>> windows{
        {0, 16}, {n / 2 - 8, n / 2 + 8}, {n / 3, n / 3 + 16}, {n - 17, n - 1}, {5, 5}, {n - 3, n + 2}};
    for (const auto& [first, last] : windows) {
        const std::vector<cv::Mat> frames = sequence.getCvImagesInRange(first, last);
        ASSERT_EQ(static_cast<int>(frames.size()), last - first + 1);
        for (int k = 0; k < static_cast<int>(frames.size()); ++k) {
            const int index = first + k;
            if (index >= n)
                EXPECT_TRUE(frames[size_t(k)].empty()) << "frame " << index << " is past the end";
            else
                EXPECT_EQ(frameFingerprint(frames[size_t(k)]), reference.fingerprints[size_t(index)])
                    << "window " << first << ".." << last << ", frame " << index;
        }
    }
    EXPECT_TRUE(sequence.getCvImagesInRange(10, 9).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Clips, ExactFrameAccess,
    ::testing::Values(
        Clip{"counter_gop12", [] { return generated("counter_gop12.mp4"); }, true, 0, 0},
        // A 250-frame GOP: a backward step decodes up to 250 frames, so the backward pass crosses one
        // keyframe.
        Clip{"counter_gop250", [] { return generated("counter_gop250.mp4"); }, true, 0, 80},
        Clip{"counter_mjpg", [] { return generated("counter_mjpg.avi"); }, true, 0, 0},
        Clip{"movie_hello_mp4", [] { return kForensicsDir + "movie-hello.mp4"; }, false, 0, 0},
        // H.264 in AVI without presentation timestamps, one frame missing from the index.
        Clip{"movie_hello_avi", [] { return kForensicsDir + "movie-hello.avi"; }, false, 80, 0},
        // MPEG-2 program stream with timestamps on some packets only: frames are found by decoding from the
        // start.
        Clip{"movie_hello_mpeg", [] { return kForensicsDir + "movie-hello.mpeg"; }, false, 30, 0},
        Clip{"remux_mkv", [] { return DerivedClips::path("remux_gop12.mkv"); }, true, 0, 0},
        Clip{"edit_list_mp4", [] { return DerivedClips::path("editlist.mp4"); }, false, 0, 0},
        Clip{"vfr_bframes_mp4", [] { return DerivedClips::path("vfr_bframes.mp4"); }, false, 0, 0},
        Clip{"truncated_mkv", [] { return DerivedClips::path("truncated.mkv"); }, false, 0, 0},
        Clip{"corrupt_tail_mjpg", [] { return DerivedClips::path("corrupt_tail_mjpg.avi"); }, false, 0, 0}),
    [](const ::testing::TestParamInfo<Clip>& info) { return info.param.name; });

TEST(CounterClips, OpenWithTheirSizeRateAndLengthAndSeekByTimestamp) {
    for (const char* name : {"counter_gop12.mp4", "counter_gop250.mp4", "counter_mjpg.avi"}) {
        SCOPED_TRACE(name);
        ImagesSequence sequence(generated(name));
        ASSERT_TRUE(sequence.ready());
        EXPECT_EQ(sequence.frameCount(), 300);
        EXPECT_EQ(sequence.width(), 320);
        EXPECT_EQ(sequence.height(), 240);
        EXPECT_FLOAT_EQ(sequence.fps(), 25.0f);
        EXPECT_EQ(decodeCounterIndex(sequence.currentImage()), 0);
        // Random access goes through seeking, not through the decode-from-start fallback.
        const auto decoder = VideoDecoder::open(generated(name));
        ASSERT_TRUE(decoder);
        EXPECT_TRUE(decoder->hasTimestampIndex());
    }
}

TEST(FrameCount, ListedFramesThatDoNotDecodeAreNotCounted) {
    const std::string path = kForensicsDir + "movie-hello.mp4";
    if (!fileExists(path))
        GTEST_SKIP() << "forensics-samples-files is not installed";
    const auto reference = lumora::test::decodeSequentially(path);
    // The container lists one frame more than decodes: the case this test is about.
    ASSERT_EQ(reference.listedFrameCount, static_cast<double>(reference.fingerprints.size() + 1));
    const auto decoder = VideoDecoder::open(path);
    ASSERT_TRUE(decoder);
    EXPECT_TRUE(decoder->hasTimestampIndex());
    EXPECT_EQ(decoder->frameCount(), static_cast<int>(reference.fingerprints.size()));
    EXPECT_TRUE(decoder->frameAt(decoder->frameCount()).empty());
    EXPECT_EQ(frameFingerprint(decoder->frameAt(decoder->frameCount() - 1)), reference.fingerprints.back());
}

TEST(FrameCount, APacketThatDoesNotDecodeNearTheEndLosesOnlyItsFrame) {
    const std::string path = DerivedClips::path("corrupt_tail_gop12.mp4");
    if (path.empty())
        GTEST_SKIP() << "ffmpeg/ffprobe are not available";
    ImagesSequence sequence(path);
    ASSERT_TRUE(sequence.ready());
    const int n = sequence.frameCount();
    ASSERT_EQ(n, 299) << "300 frames listed, the one in the zeroed packet lost";
    // Frame by frame, the numbers shown rise by one except for a single gap near the end.
    std::vector<int> shown(static_cast<size_t>(n));
    for (int i : lumora::test::shuffledIndices(n, 5))
        shown[static_cast<size_t>(i)] = decodeCounterIndex(sequence.getCvImageAt(i, false));
    int gaps = 0;
    EXPECT_EQ(shown.front(), 0);
    EXPECT_EQ(shown.back(), 299);
    for (int i = 1; i < n; ++i) {
        const int step = shown[static_cast<size_t>(i)] - shown[static_cast<size_t>(i - 1)];
        EXPECT_TRUE(step == 1 || step == 2) << "frame " << i;
        if (step == 2) {
            ++gaps;
            EXPECT_GE(i, n - 20) << "the lost frame is one of the last ones";
        }
    }
    EXPECT_EQ(gaps, 1);
    // OpenCV's reader stops at the packet that fails, before the frames still held in the decoder; up to
    // there both agree pixel for pixel.
    const auto reference = lumora::test::decodeSequentially(path);
    ASSERT_LE(static_cast<int>(reference.fingerprints.size()), n);
    ASSERT_GE(static_cast<int>(reference.fingerprints.size()), n - 20);
    for (size_t i = 0; i < reference.fingerprints.size(); ++i)
        EXPECT_EQ(frameFingerprint(sequence.getCvImageAt(static_cast<int>(i), false)),
                  reference.fingerprints[i]);
}

// Portrait clips come out the way players show them, as ffmpeg's automatic rotation does: the clip tagged
// "rotate=90" shows its stored pictures turned a quarter turn counterclockwise. (OpenCV 4.6 with FFmpeg 5
// turns them the other way, so it is no reference here.)
TEST(VideoRotation, PortraitClipsComeUpright) {
    const std::string path = DerivedClips::path("rotated90.mp4");
    if (path.empty())
        GTEST_SKIP() << "ffmpeg is not available";
    ImagesSequence rotated(path);
    ImagesSequence stored(generated("counter_gop12.mp4"));
    ASSERT_TRUE(rotated.ready());
    ASSERT_TRUE(stored.ready());
    EXPECT_EQ(rotated.frameCount(), 300);
    EXPECT_EQ(rotated.width(), 240);
    EXPECT_EQ(rotated.height(), 320);
    for (int i : lumora::test::shuffledIndices(300, 9)) {
        if (i % 5)
            continue;
        const cv::Mat frame = rotated.getCvImageAt(i, false);
        cv::Mat turned;
        cv::rotate(stored.getCvImageAt(i, false), turned, cv::ROTATE_90_COUNTERCLOCKWISE);
        EXPECT_EQ(frameFingerprint(frame), frameFingerprint(turned)) << "frame " << i;
        cv::Mat back;
        cv::rotate(frame, back, cv::ROTATE_90_CLOCKWISE);
        EXPECT_EQ(decodeCounterIndex(back), i);
    }
    QTemporaryDir dir;
    const QString firstFrame = dir.filePath(QStringLiteral("first.png"));
    ASSERT_TRUE(lumora::test::runFfmpeg({"-i", QString::fromStdString(path), "-frames:v", "1", firstFrame}));
    EXPECT_EQ(frameFingerprint(rotated.getCvImageAt(0, false)),
              frameFingerprint(cv::imread(firstFrame.toStdString(), cv::IMREAD_COLOR)));
}

TEST(FrameCount, FilesThatAreNoVideoDoNotOpen) {
    QTemporaryDir dir;
    const std::string text = dir.filePath(QStringLiteral("notes.mp4")).toStdString();
    ASSERT_TRUE(lumora::test::writeFileText(text, "this is not a video\n"));
    std::string why;
    EXPECT_FALSE(VideoDecoder::open(text, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(VideoDecoder::open(dir.filePath(QStringLiteral("missing.mp4")).toStdString()));
    // A still picture opens in libavformat as a one-frame video; it belongs to the image reader.
    EXPECT_FALSE(VideoDecoder::open(generated("burst_png8/frame_000.png")));
}

} // namespace
