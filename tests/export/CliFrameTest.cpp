// lumora-cli frame: one frame of a photo, a burst or a video written at the asked depth, with the EXIF data
// of the file the frame came from; bad requests write nothing.

#include "ExifTags.h"
#include "TestEnvironment.h"
#include "imageio/ImageFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>

namespace {

using namespace lumora;

const std::string kGpsVideo = "/usr/share/forensics-samples/original-files/movie1/VID_20191220_170832.mp4";

class CliFrame : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            GTEST_SKIP() << "exiftool is not installed";
        // The tool reads its settings and writes its log under the user's folders: keep both private.
        QDir().mkpath(home_.path() + QStringLiteral("/config/Tavrel"));
    }

    test::CliRun cli(const QStringList& args) {
        return test::runCli(QStringList{QStringLiteral("frame")} + args, home_.path());
    }
    void setJpegQuality(int quality) {
        ASSERT_TRUE(test::writeFileText(home_.path().toStdString() + "/config/Tavrel/Lumora 2.conf",
                                        "[GeneralSettings]\nJPGQuality=" + std::to_string(quality) + "\n"));
    }
    QString path(const QString& name) const { return work_.path() + QLatin1Char('/') + name; }
    std::string spath(const QString& name) const { return path(name).toStdString(); }

    // One tag of a written file, as exiftool prints it with numeric values.
    QJsonValue tag(const QString& name, const char* key) const {
        return test::exifTags(spath(name), {QString::fromLatin1(key)}).value(QLatin1String(key));
    }

    QTemporaryDir home_, work_;
};

TEST_F(CliFrame, SinglePhotoAtThirtyTwoBits) {
    cv::Mat photo(20, 30, CV_8UC3);
    cv::randu(photo, 0, 256);
    ASSERT_TRUE(cv::imwrite(spath("photo.png"), photo));
    ASSERT_TRUE(cv::imwrite(spath("photo.jpg"), photo));
    ASSERT_TRUE(test::runExiftool({QStringLiteral("-Make=CliProbe"), path("photo.jpg")}));

    const auto r =
        cli({path("photo.png"), QStringLiteral("--index"), QStringLiteral("0"), QStringLiteral("-o"),
             path("out.tif"), QStringLiteral("--bits"), QStringLiteral("32")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const cv::Mat back = readImage(spath("out.tif"));
    ASSERT_EQ(back.type(), CV_32FC3);
    EXPECT_EQ(cv::norm(back, convertDepth(photo, 32), cv::NORM_INF), 0.0);

    const auto tagged = cli({path("photo.jpg"), QStringLiteral("--index"), QStringLiteral("0"),
                             QStringLiteral("-o"), path("tagged.psd")});
    ASSERT_EQ(tagged.exitCode, 0) << tagged.err.toStdString();
    EXPECT_EQ(tag(QStringLiteral("tagged.psd"), "Make").toString(), QStringLiteral("CliProbe"));
    EXPECT_EQ(readImage(spath("tagged.psd")).depth(), CV_8U) << "PSD's default depth is 8 bits";
}

TEST_F(CliFrame, BurstFrameComesFromTheRightFileWithThatFilesExif) {
    QDir().mkpath(path("burst"));
    // Names chosen so that listing order and frame order differ from creation order.
    const QStringList names = {QStringLiteral("c.tif"), QStringLiteral("a.tif"), QStringLiteral("b.tif")};
    for (int i = 0; i < names.size(); ++i) {
        cv::Mat frame(8, 12, CV_16UC3, cv::Scalar(1000 * (i + 1), 2000 * (i + 1), 3000 * (i + 1)));
        const QString file = path("burst/") + names[i];
        ASSERT_TRUE(cv::imwrite(file.toStdString(), frame));
        ASSERT_TRUE(test::runExiftool({QStringLiteral("-Make=Frame%1").arg(names[i]), file}));
    }
    // Frame 1 in sorted order is b.tif, the third written.
    const auto r = cli({path("burst"), QStringLiteral("--index"), QStringLiteral("1"), QStringLiteral("-o"),
                        path("out.psd"), QStringLiteral("--bits"), QStringLiteral("16")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const cv::Mat back = readImage(spath("out.psd"));
    ASSERT_EQ(back.type(), CV_16UC3);
    EXPECT_EQ(back.at<cv::Vec3w>(4, 6), cv::Vec3w(3000, 6000, 9000));
    EXPECT_EQ(tag(QStringLiteral("out.psd"), "Make").toString(), QStringLiteral("Frameb.tif"));
}

TEST_F(CliFrame, RadianceFilesGetNoExifCopyAndNoWarningOthersStillDo) {
    // A tagged burst: the tool can copy its tags into TIFF, not into Radiance HDR, so no copy is tried there.
    QDir().mkpath(path("tagged"));
    for (int i = 0; i < 3; ++i) {
        const QString file = path("tagged/f%1.tif").arg(i);
        ASSERT_TRUE(cv::imwrite(file.toStdString(), cv::Mat(48, 64, CV_8UC3, cv::Scalar(40, 80 + i, 120))));
        ASSERT_TRUE(test::runExiftool({QStringLiteral("-Make=Burst%1").arg(i), file}));
    }
    const QStringList frame = QStringList{QStringLiteral("frame"), path("tagged")} +
                              QStringLiteral("--index 1 -o").split(QLatin1Char(' '));
    const QStringList stack = QStringList{QStringLiteral("stack"), path("tagged")} +
                              QStringLiteral("--index 1 --before 1 --after 1 -o").split(QLatin1Char(' '));
    for (const QStringList& command : {frame, stack}) {
        SCOPED_TRACE(command.front().toStdString());
        const QString hdr = command.front() + QStringLiteral(".hdr");
        const auto radiance = test::runCli(command + QStringList{path(hdr)}, home_.path());
        ASSERT_EQ(radiance.exitCode, 0) << radiance.err.toStdString();
        EXPECT_TRUE(QFileInfo::exists(path(hdr)));
        EXPECT_FALSE(radiance.err.contains("EXIF")) << radiance.err.toStdString();
        const QString tif = command.front() + QStringLiteral(".tif");
        const auto tiff = test::runCli(command + QStringList{path(tif)}, home_.path());
        ASSERT_EQ(tiff.exitCode, 0) << tiff.err.toStdString();
        EXPECT_EQ(tag(tif, "Make").toString(), QStringLiteral("Burst1"));
    }
}

TEST_F(CliFrame, VideoFrameCarriesTheVideosPosition) {
    if (!std::filesystem::exists(kGpsVideo))
        GTEST_SKIP() << kGpsVideo << " missing (Debian package forensics-samples-files)";
    const auto r = cli({QString::fromStdString(kGpsVideo), QStringLiteral("--index"), QStringLiteral("5"),
                        QStringLiteral("-o"), path("v.jpg")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const cv::Mat back = readImage(spath("v.jpg"));
    EXPECT_EQ(back.size(), cv::Size(1920, 1080));
    EXPECT_LT(tag(QStringLiteral("v.jpg"), "GPSLatitude").toDouble(), -15.0);
    EXPECT_LT(tag(QStringLiteral("v.jpg"), "GPSLongitude").toDouble(), -48.0);
}

TEST_F(CliFrame, JpegQualityComesFromTheSettings) {
    cv::Mat noisy(64, 64, CV_8UC3);
    cv::randu(noisy, 0, 256);
    ASSERT_TRUE(cv::imwrite(spath("n.png"), noisy));
    const QStringList base = {path("n.png"), QStringLiteral("--index"), QStringLiteral("0"),
                              QStringLiteral("-o")};
    setJpegQuality(15);
    ASSERT_EQ(cli(base + QStringList{path("low.jpg")}).exitCode, 0);
    setJpegQuality(98);
    ASSERT_EQ(cli(base + QStringList{path("high.jpg")}).exitCode, 0);
    EXPECT_LT(QFileInfo(path("low.jpg")).size() * 2, QFileInfo(path("high.jpg")).size());
}

TEST_F(CliFrame, BadRequestsWriteNothing) {
    ASSERT_TRUE(cv::imwrite(spath("p.png"), cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(3))));
    const auto frame = [&](const QString& index, const QString& out, const QStringList& extra = {}) {
        return cli(QStringList{path("p.png"), QStringLiteral("--index"), index, QStringLiteral("-o"),
                               path(out)} +
                   extra)
            .exitCode;
    };
    EXPECT_EQ(frame(QStringLiteral("0"), QStringLiteral("x.png")), 2) << "PNG is not an export format";
    EXPECT_EQ(
        frame(QStringLiteral("0"), QStringLiteral("x.jpg"), {QStringLiteral("--bits"), QStringLiteral("16")}),
        2);
    // HDR choices out of range, and depths the HDR formats do not store.
    for (const QStringList& extra : {QStringList{QStringLiteral("--transfer"), QStringLiteral("sdr")},
                                     QStringList{QStringLiteral("--peak"), QStringLiteral("150")},
                                     QStringList{QStringLiteral("--bits"), QStringLiteral("8")}})
        EXPECT_EQ(frame(QStringLiteral("0"), QStringLiteral("x.avif"), extra), 2)
            << extra.join(' ').toStdString();
    EXPECT_EQ(
        frame(QStringLiteral("0"), QStringLiteral("x.exr"), {QStringLiteral("--bits"), QStringLiteral("10")}),
        2);
    EXPECT_EQ(frame(QStringLiteral("1"), QStringLiteral("x.tif")), 1) << "a photo has one frame";
    EXPECT_EQ(frame(QStringLiteral("-3"), QStringLiteral("x.tif")), 2);
    EXPECT_EQ(cli({path("missing.mp4"), QStringLiteral("--index"), QStringLiteral("0"), QStringLiteral("-o"),
                   path("x.tif")})
                  .exitCode,
              1);
    EXPECT_EQ(QDir(work_.path()).entryList(QDir::Files), QStringList{QStringLiteral("p.png")});
}

} // namespace
