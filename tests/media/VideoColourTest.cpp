// Frames decode with the colours their tags ask for: tagged BT.709, BT.601 and full-range clips, an untagged
// HD clip (taken as BT.709) and a full-range MJPEG clip against libav's own conversion with the same matrix
// and range (the ffmpeg tool's), and the lossless bars against the picture they were made from. 10-bit clips
// decode to 16-bit frames and report their transfer and primaries.

#include "ColourBars.h"
#include "MediaTestSupport.h"
#include "TestEnvironment.h"
#include "media/VideoDecoder.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

namespace {

using lumora::VideoColour;
using lumora::VideoDecoder;
using lumora::test::testMediaPath;

// Frame 0 as the ffmpeg tool converts it to `pixFmt` (bgr24 or bgr48le), reading untagged HD clips as
// BT.709; empty when ffmpeg is missing or fails.
cv::Mat ffmpegFrame(const std::string& clip, int type, const char* pixFmt, cv::Size size) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("frame.raw"));
    QStringList args{QStringLiteral("-i"), QString::fromStdString(clip), QStringLiteral("-frames:v"),
                     QStringLiteral("1")};
    const QString filter = lumora::test::untaggedHdFilter(clip);
    if (!filter.isEmpty())
        args << QStringLiteral("-vf") << filter;
    args << QStringLiteral("-f") << QStringLiteral("rawvideo") << QStringLiteral("-pix_fmt")
         << QString::fromLatin1(pixFmt) << QStringLiteral("file:") + out;
    if (!lumora::test::runFfmpeg(args))
        return {};
    QFile file(out);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    cv::Mat frame(size, type);
    if (static_cast<size_t>(data.size()) != frame.total() * frame.elemSize())
        return {};
    std::memcpy(frame.data, data.constData(), static_cast<size_t>(data.size()));
    return frame;
}

double meanAbsDiff(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask = cv::Mat()) {
    cv::Mat d;
    cv::absdiff(a, b, d);
    const cv::Scalar m = cv::mean(d, mask);
    return (m[0] + m[1] + m[2]) / 3.0;
}

struct ColourCase {
    const char* clip;
    VideoColour::Matrix matrix;
    bool fullRange;
    bool tagged;
    bool bars; // made from renderColourBars
};

void PrintTo(const ColourCase& c, std::ostream* os) {
    *os << c.clip;
}

class TaggedColour : public ::testing::TestWithParam<ColourCase> {};

TEST_P(TaggedColour, FramesMatchTheConversionTheTagsAskFor) {
    const ColourCase& c = GetParam();
    const std::string path = testMediaPath(c.clip);
    const auto decoder = VideoDecoder::open(path).take();
    ASSERT_TRUE(decoder);
    const VideoColour& colour = decoder->colour();
    EXPECT_EQ(colour.matrix, c.matrix);
    EXPECT_EQ(colour.fullRange, c.fullRange);
    EXPECT_EQ(colour.matrixTagged, c.tagged);
    EXPECT_EQ(colour.bitDepth, 8);
    EXPECT_EQ(colour.transfer, VideoColour::Transfer::SDR);

    const cv::Mat frame = decoder->frameAt(0);
    ASSERT_EQ(frame.type(), CV_8UC3);
    const cv::Mat reference = ffmpegFrame(path, CV_8UC3, "bgr24", frame.size());
    if (reference.empty())
        GTEST_SKIP() << "ffmpeg is not available";
    // A wrong matrix is 5 to 30 levels off in saturated colours; rounding differences stay well below 1.
    EXPECT_LT(meanAbsDiff(frame, reference), 1.0);
    if (c.bars) {
        const cv::Mat truth = lumora::testmedia::renderColourBars(frame.size());
        cv::Mat inside(frame.size(), CV_8UC1);
        for (int y = 0; y < frame.rows; ++y)
            for (int x = 0; x < frame.cols; ++x)
                inside.at<uchar>(y, x) =
                    lumora::testmedia::insideColourPatch(frame.size(), x, y, 4) ? 255 : 0;
        EXPECT_LT(meanAbsDiff(frame, truth, inside), 1.0);
    }
}

using M = VideoColour::Matrix;
INSTANTIATE_TEST_SUITE_P(VideoColour, TaggedColour,
                         ::testing::Values(ColourCase{"bars_bt709.mp4", M::BT709, false, true, true},
                                           ColourCase{"bars_bt601.mp4", M::BT601, false, true, true},
                                           ColourCase{"bars_untagged.mp4", M::BT709, false, false, true},
                                           ColourCase{"bars_full.mp4", M::BT709, true, true, true},
                                           ColourCase{"counter_mjpg.avi", M::BT601, true, true, false}));

TEST(VideoColour, TenBitClipsDecodeToSixteenBitsWithTheirTransfer) {
    struct Case {
        const char* clip;
        VideoColour::Transfer transfer;
    };
    for (const Case& c :
         {Case{"hdr_hlg.mp4", VideoColour::Transfer::HLG}, Case{"hdr_pq.mp4", VideoColour::Transfer::PQ}}) {
        SCOPED_TRACE(c.clip);
        const std::string path = testMediaPath(c.clip);
        const auto decoder = VideoDecoder::open(path).take();
        ASSERT_TRUE(decoder);
        EXPECT_EQ(decoder->colour().bitDepth, 10);
        EXPECT_EQ(decoder->colour().transfer, c.transfer);
        EXPECT_EQ(decoder->colour().primaries, VideoColour::Primaries::BT2020);
        EXPECT_EQ(decoder->colour().matrix, VideoColour::Matrix::BT2020);
        const cv::Mat frame = decoder->frameAt(1);
        ASSERT_EQ(frame.type(), CV_16UC3);
        const cv::Mat reference = ffmpegFrame(path, CV_16UC3, "bgr48le", frame.size());
        if (reference.empty())
            GTEST_SKIP() << "ffmpeg is not available";
        // One 8-bit level is 257 at 16 bits; 10-bit samples keep four times finer steps.
        EXPECT_LT(meanAbsDiff(frame, reference), 257.0 / 4.0);
    }
}

} // namespace
