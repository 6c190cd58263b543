// What a medium is and how many frames it has, through probeMedia and the "lumora-cli info" command.

#include "media/MediaProbe.h"
#include "MediaTestSupport.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

using lumora::MediaInfo;
using lumora::probeMedia;

namespace {

std::string media(const std::string& name) {
    return lumora::test::testMediaPath(name);
}

int filesIn(const std::string& folder) {
    return static_cast<int>(QDir(QString::fromStdString(folder)).entryList(QDir::Files).size());
}

TEST(ProbeMedia, VideosReportTheFramesThatDecode) {
    const auto info = probeMedia(media("counter_gop12.mp4"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, MediaInfo::Kind::Video);
    EXPECT_EQ(info->width, 320);
    EXPECT_EQ(info->height, 240);
    EXPECT_EQ(info->frameCount, 300);
    EXPECT_DOUBLE_EQ(info->fps, 25.0);
    EXPECT_NEAR(info->durationSeconds, 299.0 / 25.0, 1e-5);

    const std::string hello = "/usr/share/forensics-samples/original-files/movie2/movie-hello.mp4";
    if (QFile::exists(QString::fromStdString(hello))) {
        const auto helloInfo = probeMedia(hello);
        ASSERT_TRUE(helloInfo);
        EXPECT_EQ(helloInfo->frameCount,
                  static_cast<int>(lumora::test::decodeSequentially(hello).fingerprints.size()));
    }
}

TEST(ProbeMedia, FoldersAndFileListsAreBursts) {
    const std::string folder = media("burst_tif16");
    const auto info = probeMedia(folder);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, MediaInfo::Kind::Burst);
    EXPECT_EQ(info->frameCount, filesIn(folder));
    const cv::Mat first = cv::imread(folder + "/frame_000.tif", cv::IMREAD_UNCHANGED);
    EXPECT_EQ(info->width, first.cols);
    EXPECT_EQ(info->height, first.rows);
    EXPECT_DOUBLE_EQ(info->fps, 25.0);

    const auto list = probeMedia(std::vector<std::string>{media("burst_png8/frame_004.png"),
                                                          media("burst_png8/frame_001.png"),
                                                          media("burst_png8/frame_007.png")});
    ASSERT_TRUE(list);
    EXPECT_EQ(list->kind, MediaInfo::Kind::Burst);
    EXPECT_EQ(list->frameCount, 3);
    EXPECT_NEAR(list->durationSeconds, 2.0 / 25.0, 1e-6);

    QTemporaryDir empty;
    EXPECT_FALSE(probeMedia(empty.path().toStdString()));
    EXPECT_FALSE(
        probeMedia(std::vector<std::string>{media("burst_png8/frame_001.png"), "/no/such/file.png"}));
}

TEST(ProbeMedia, SinglePhotosAndUnknownExtensions) {
    const auto photo = probeMedia(media("burst_jpg8/IMG_000.jpg"));
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->kind, MediaInfo::Kind::Photo);
    EXPECT_EQ(photo->frameCount, 1);
    const cv::Mat image = cv::imread(media("burst_jpg8/IMG_000.jpg"));
    EXPECT_EQ(photo->width, image.cols);
    EXPECT_EQ(photo->height, image.rows);

    // Without a known extension a file is tried as a video first, then as a photo.
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.bin"));
    const QString picture = dir.filePath(QStringLiteral("picture.dat"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(media("counter_mjpg.avi")), clip));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(media("burst_png8/frame_000.png")), picture));
    const auto clipInfo = probeMedia(clip.toStdString());
    ASSERT_TRUE(clipInfo);
    EXPECT_EQ(clipInfo->kind, MediaInfo::Kind::Video);
    EXPECT_EQ(clipInfo->frameCount, 300);
    const auto pictureInfo = probeMedia(picture.toStdString());
    ASSERT_TRUE(pictureInfo);
    EXPECT_EQ(pictureInfo->kind, MediaInfo::Kind::Photo);

    EXPECT_FALSE(probeMedia(dir.filePath(QStringLiteral("missing.mp4")).toStdString()));
}

// Runs lumora-cli with a private user folder (its event log goes there) and returns stdout, or empty.
QByteArray runCli(const QStringList& args, int* exitCode) {
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    process.setProcessEnvironment(env);
    process.start(QString::fromStdString(lumora::test::binDir()) + QStringLiteral("/lumora-cli"), args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        *exitCode = -1;
        return {};
    }
    *exitCode = process.exitCode();
    return process.readAllStandardOutput();
}

TEST(CliInfo, DescribesVideosBurstsAndPhotosAsJson) {
    struct Case {
        QStringList args;
        const char* kind;
        int frames;
    };
    const QString folder = QString::fromStdString(media("burst_png8"));
    const std::vector<Case> cases{
        {{QString::fromStdString(media("counter_gop250.mp4"))}, "video", 300},
        {{folder}, "burst", filesIn(folder.toStdString())},
        {{folder + "/frame_002.png", folder + "/frame_000.png"}, "burst", 2},
        {{QString::fromStdString(media("burst_tif16/frame_000.tif"))}, "photo", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        int exitCode = 0;
        const QByteArray out =
            runCli(QStringList{QStringLiteral("info"), QStringLiteral("--json")} + c.args, &exitCode);
        ASSERT_EQ(exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(out).object();
        EXPECT_EQ(o.value(QStringLiteral("kind")).toString().toStdString(), c.kind);
        EXPECT_EQ(o.value(QStringLiteral("frameCount")).toInt(), c.frames);
        EXPECT_GT(o.value(QStringLiteral("width")).toInt(), 0);
        EXPECT_GT(o.value(QStringLiteral("height")).toInt(), 0);
        EXPECT_TRUE(o.contains(QStringLiteral("fps")));
        EXPECT_TRUE(o.contains(QStringLiteral("durationSeconds")));
    }
    int exitCode = 0;
    runCli({QStringLiteral("info"), QStringLiteral("/no/such/clip.mp4")}, &exitCode);
    EXPECT_EQ(exitCode, 1);
    runCli({QStringLiteral("info")}, &exitCode);
    EXPECT_EQ(exitCode, 2);
}

} // namespace
