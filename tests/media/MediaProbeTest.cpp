// What a medium is and how many frames it has, through probeMedia and the "lumora-cli info" command.

#include "media/MediaProbe.h"
#include "MediaTestSupport.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

namespace {

using lumora::MediaInfo;
using lumora::probeMedia;
using lumora::test::testMediaPath;

int filesIn(const std::string& folder) {
    return static_cast<int>(QDir(QString::fromStdString(folder)).entryList(QDir::Files).size());
}

TEST(ProbeMedia, KindSizeAndFramesOfVideosBurstsAndPhotos) {
    QTemporaryDir dir;
    // Without a known extension a file is tried as a video first, then as a photo.
    const std::string clip = dir.filePath(QStringLiteral("clip.bin")).toStdString();
    const std::string picture = dir.filePath(QStringLiteral("picture.dat")).toStdString();
    ASSERT_TRUE(
        QFile::copy(QString::fromStdString(testMediaPath("counter_mjpg.avi")), QString::fromStdString(clip)));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(testMediaPath("burst_png8/frame_000.png")),
                            QString::fromStdString(picture)));
    const cv::Mat png = cv::imread(picture), tif = cv::imread(testMediaPath("burst_tif16/frame_000.tif"));
    struct Case {
        std::vector<std::string> paths;
        MediaInfo::Kind kind;
        int width, height, frames;
        double duration;
    };
    const Case cases[] = {
        {{testMediaPath("counter_gop12.mp4")}, MediaInfo::Kind::Video, 320, 240, 300, 299.0 / 25.0},
        {{clip}, MediaInfo::Kind::Video, 320, 240, 300, 299.0 / 25.0},
        {{testMediaPath("burst_tif16")},
         MediaInfo::Kind::Burst,
         tif.cols,
         tif.rows,
         filesIn(testMediaPath("burst_tif16")),
         (filesIn(testMediaPath("burst_tif16")) - 1) / 25.0},
        {{testMediaPath("burst_png8/frame_004.png"), testMediaPath("burst_png8/frame_001.png"),
          testMediaPath("burst_png8/frame_007.png")},
         MediaInfo::Kind::Burst,
         png.cols,
         png.rows,
         3,
         2.0 / 25.0},
        {{picture}, MediaInfo::Kind::Photo, png.cols, png.rows, 1, -1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.paths.front());
        const auto info = c.paths.size() == 1 ? probeMedia(c.paths.front()) : probeMedia(c.paths);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->kind, c.kind);
        EXPECT_EQ(info->width, c.width);
        EXPECT_EQ(info->height, c.height);
        EXPECT_EQ(info->frameCount, c.frames);
        if (c.duration >= 0) { // a photo has no rate or duration to speak of
            EXPECT_DOUBLE_EQ(info->fps, 25.0);
            EXPECT_NEAR(info->durationSeconds, c.duration, 1e-5);
        }
    }
    // A video counts the frames that decode, not those its container lists.
    const std::string hello = "/usr/share/forensics-samples/original-files/movie2/movie-hello.mp4";
    if (QFile::exists(QString::fromStdString(hello))) {
        EXPECT_EQ(probeMedia(hello)->frameCount,
                  static_cast<int>(lumora::test::decodeSequentially(hello).fingerprints.size()));
    }

    QTemporaryDir empty;
    EXPECT_FALSE(probeMedia(empty.path().toStdString()));
    EXPECT_FALSE(
        probeMedia(std::vector<std::string>{testMediaPath("burst_png8/frame_001.png"), "/no/such/file.png"}));
    EXPECT_FALSE(probeMedia(dir.filePath(QStringLiteral("missing.mp4")).toStdString()));
}

TEST(CliInfo, DescribesVideosBurstsAndPhotosAsJson) {
    struct Case {
        QStringList args;
        const char* kind;
        int frames;
        int bitDepth;
        const char* transfer;
        const char* primaries;
    };
    const QString folder = QString::fromStdString(testMediaPath("burst_png8"));
    const std::vector<Case> cases{
        {{QString::fromStdString(testMediaPath("counter_gop250.mp4"))}, "video", 300, 8, "SDR", "BT.601"},
        {{QString::fromStdString(testMediaPath("hdr_hlg.mp4"))}, "video", 5, 10, "HLG", "BT.2020"},
        {{folder}, "burst", filesIn(folder.toStdString()), 8, "SDR", "BT.709"},
        {{folder + "/frame_002.png", folder + "/frame_000.png"}, "burst", 2, 8, "SDR", "BT.709"},
        {{QString::fromStdString(testMediaPath("burst_tif16/frame_000.tif"))},
         "photo",
         1,
         16,
         "SDR",
         "BT.709"},
    };
    QTemporaryDir home;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const auto run = lumora::test::runCli(
            QStringList{QStringLiteral("info"), QStringLiteral("--json")} + c.args, home.path());
        ASSERT_EQ(run.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(run.out).object();
        EXPECT_EQ(o.value(QStringLiteral("kind")).toString().toStdString(), c.kind);
        EXPECT_EQ(o.value(QStringLiteral("frameCount")).toInt(), c.frames);
        EXPECT_GT(o.value(QStringLiteral("width")).toInt(), 0);
        EXPECT_GT(o.value(QStringLiteral("height")).toInt(), 0);
        EXPECT_TRUE(o.contains(QStringLiteral("fps")) && o.contains(QStringLiteral("durationSeconds")));
        EXPECT_EQ(o.value(QStringLiteral("bitDepth")).toInt(), c.bitDepth);
        EXPECT_EQ(o.value(QStringLiteral("transfer")).toString().toStdString(), c.transfer);
        EXPECT_EQ(o.value(QStringLiteral("primaries")).toString().toStdString(), c.primaries);
    }
    EXPECT_EQ(lumora::test::runCli({QStringLiteral("info"), QStringLiteral("/no/such/clip.mp4")}, home.path())
                  .exitCode,
              1);
    EXPECT_EQ(lumora::test::runCli({QStringLiteral("info")}, home.path()).exitCode, 2);
}

} // namespace
