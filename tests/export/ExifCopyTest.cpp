// EXIF copied into written images by exiftool, read back with exiftool: GPS signs from photos and videos,
// orientation against the pixels, awkward file names, and the cases where no tags can be written.

#include "imageio/ExifCopy.h"
#include "ExifTags.h"
#include "TestEnvironment.h"
#include "imageio/ExifToolSession.h"
#include "imageio/ImageFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <optional>
#include <tuple>

namespace {

using namespace lumora;
using test::exifTags;
using test::runExiftool;

const std::string kSamples = "/usr/share/forensics-samples/original-files/"; // Debian forensics-samples-files
const std::string kRotatedPhoto = kSamples + "pic2/IMG_20200124_231153.jpg"; // Orientation 3, 15°S 48°W
const std::string kGpsVideo = kSamples + "movie1/VID_20191220_170832.mp4";   // GPS 15°S 48°W
const std::string kPlainVideo = kSamples + "movie2/movie-hello.mp4";         // no GPS

QStringList keywordsOf(const QJsonObject& tags) {
    const QJsonValue v = tags.value(QStringLiteral("Keywords"));
    QStringList out;
    if (v.isArray())
        for (const QJsonValue& k : v.toArray())
            out << k.toVariant().toString();
    else if (!v.isUndefined())
        out << v.toVariant().toString();
    return out;
}

class ExifCopy : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
            GTEST_SKIP() << "exiftool is not installed (Debian package libimage-exiftool-perl)";
    }
    static void requireSample(const std::string& file) {
        if (!std::filesystem::exists(file))
            GTEST_SKIP() << file << " missing (install the Debian package forensics-samples-files)";
    }
    std::string path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
    std::vector<std::string> entries() const { return test::folderEntries(dir_.path().toStdString()); }
    // A small JPEG carrying a few tags, written under a plain name first and then renamed to `name`.
    std::string taggedSource(const std::string& name, const QStringList& tagArgs) {
        const std::string plain = sourceDir_.path().toStdString() + "/plain-source.jpg";
        cv::Mat m(16, 24, CV_8UC3, cv::Scalar(40, 80, 120));
        if (!cv::imwrite(plain, m))
            return {};
        QStringList args = tagArgs;
        args << QString::fromStdString(plain);
        if (!runExiftool(args))
            return {};
        const std::string target = sourceDir_.path().toStdString() + "/" + name;
        std::filesystem::rename(plain, target);
        return target;
    }

    // The tags of `source` copied into `exported`: its position (both samples lie at 15°S 48°W) within
    // `tolerance` degrees with the hemispheres restored, the tags `same` unchanged, and the program's marks.
    static void expectCopied(const std::string& source, const std::string& exported, const QStringList& same,
                             double tolerance) {
        const QStringList position = {"GPSLatitude", "GPSLongitude"};
        const QJsonObject in = exifTags(source, position + same);
        const QJsonObject out =
            exifTags(exported, position + same +
                                   QStringList{"GPSLatitudeRef", "GPSLongitudeRef", "Keywords", "Firmware"});
        for (const QString& t : position)
            EXPECT_NEAR(out.value(t).toDouble(), in.value(t).toDouble(), tolerance) << t.toStdString();
        for (const QString& t : same)
            EXPECT_EQ(out.value(t).toString(), in.value(t).toString()) << t.toStdString();
        EXPECT_EQ(out.value("GPSLatitudeRef").toString(), "S");
        EXPECT_EQ(out.value("GPSLongitudeRef").toString(), "W");
        EXPECT_TRUE(keywordsOf(out).contains("Lumora"));
        EXPECT_EQ(out.value("Firmware").toString(), "Lumora");
    }

    QTemporaryDir dir_, sourceDir_;
    test::LogCapture log_;
};

TEST_F(ExifCopy, FromARotatedPhotoGpsIsKeptAndTheExportIsNotTurnedTwice) {
    requireSample(kRotatedPhoto);
    ASSERT_EQ(exifTags(kRotatedPhoto, {"Orientation"}).value("Orientation").toInt(), 3) << "sample changed";
    const cv::Mat upright = readImage(kRotatedPhoto);
    ASSERT_FALSE(upright.empty());
    const WriteResult r = saveImage(path("export.jpg"), upright, 8, kRotatedPhoto);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.exifWarning.empty()) << r.exifWarning;
    expectCopied(kRotatedPhoto, path("export.jpg"), {"Make"}, 1e-6);
    EXPECT_EQ(exifTags(path("export.jpg"), {"Orientation"}).value("Orientation").toInt(1), 1)
        << "pixels are already upright; a copied tag would turn them again";

    // What a viewer shows: OpenCV applies the EXIF orientation of both files the way viewers do.
    const cv::Mat shownSource = cv::imread(kRotatedPhoto);
    const cv::Mat shownExport = cv::imread(path("export.jpg"));
    ASSERT_EQ(shownExport.size(), shownSource.size());
    cv::Mat diff;
    cv::absdiff(shownSource, shownExport, diff);
    EXPECT_LT(cv::mean(diff.reshape(1))[0], 3.0);
    EXPECT_EQ(entries(), std::vector<std::string>{"export.jpg"});
}

TEST_F(ExifCopy, FromAVideoTheGpsHemispheresAreRestored) {
    requireSample(kGpsVideo);
    ASSERT_LT(exifTags(kGpsVideo, {"GPSLatitude"}).value("GPSLatitude").toDouble(), 0.0) << "sample changed";
    const WriteResult r =
        saveImage(path("frame.tif"), cv::Mat(12, 20, CV_8UC3, cv::Scalar(1, 2, 3)), 16, kGpsVideo);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.exifWarning.empty()) << r.exifWarning;
    expectCopied(kGpsVideo, path("frame.tif"), {"CreateDate"}, 1e-4);
    // The 16-bit pixels are intact after exiftool rewrote the file.
    EXPECT_EQ(readImage(path("frame.tif")).at<cv::Vec3w>(5, 5), cv::Vec3w(257, 514, 771));

    // A video without a position gives none.
    requireSample(kPlainVideo);
    ASSERT_TRUE(saveImage(path("hello.jpg"), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(9)), 8, kPlainVideo).ok);
    const QJsonObject plain = exifTags(path("hello.jpg"), {"GPSLatitude", "Firmware"});
    EXPECT_FALSE(plain.contains("GPSLatitude"));
    EXPECT_EQ(plain.value("Firmware").toString(), "Lumora");
}

TEST_F(ExifCopy, KeywordsAreAddedToTheSourcesKeywords) {
    const std::string source = taggedSource("keyworded.jpg", {"-Keywords=Holiday", "-Keywords=Beach"});
    ASSERT_FALSE(source.empty());
    ASSERT_TRUE(writeImage(path("k.jpg"), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(0)), source, "Lumora").ok);
    const QStringList keywords = keywordsOf(exifTags(path("k.jpg"), {"Keywords"}));
    EXPECT_TRUE(keywords.contains("Holiday") && keywords.contains("Beach") && keywords.contains("Lumora"))
        << keywords.join(',').toStdString();
}

// With and without a running exiftool session (whose command file carries one argument per line).
class ExifCopyAwkwardNames : public ExifCopy,
                             public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};

TEST_P(ExifCopyAwkwardNames, SourceAndDestinationNamesReachExiftoolIntact) {
    const std::string name = std::get<0>(GetParam());
    std::optional<ExifToolSession> session;
    if (std::get<1>(GetParam()))
        session.emplace();
    const std::string source = taggedSource(
        name, {"-Make=AwkwardProbe", "-GPSLatitude=10.5", "-GPSLatitudeRef=S", "-Orientation#=1"});
    ASSERT_FALSE(source.empty());
    const WriteResult r =
        writeImage(path(name), cv::Mat(10, 10, CV_8UC3, cv::Scalar(5, 6, 7)), source, "Lumora");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.exifWarning.empty()) << r.exifWarning;
    const QJsonObject out = exifTags(path(name), {"Make", "GPSLatitude", "Firmware"});
    EXPECT_EQ(out.value("Make").toString(), "AwkwardProbe");
    EXPECT_NEAR(out.value("GPSLatitude").toDouble(), -10.5, 1e-6);
    EXPECT_EQ(out.value("Firmware").toString(), "Lumora");
    EXPECT_EQ(entries(), std::vector<std::string>{name}) << "temporary or backup files left behind";
    // A line break cannot travel through the session's command file; that copy runs exiftool on its own.
    if (session) {
        EXPECT_EQ(session->commandsRun(), name.find('\n') == std::string::npos ? 1 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, ExifCopyAwkwardNames,
                         ::testing::Combine(::testing::Values("with spaces.jpg", "quote\"double'single.jpg",
                                                              "%d%f%e.jpg", "100%.jpg", "-leading dash.jpg",
                                                              "--all.jpg", "ünïcødé 漢字.jpg",
                                                              "semi;colon$HOME`x`.jpg", "line\nbreak #1.jpg",
                                                              "-execute.jpg", " trailing .jpg "),
                                            ::testing::Bool()));

// Where no tags can be written the image is still delivered, the reason reported, nothing left beside it.
TEST_F(ExifCopy, WhenTagsCannotBeCopiedTheImageStaysAndTheReasonIsGiven) {
    requireSample(kRotatedPhoto);
    const WriteResult hdr = saveImage(
        path("light.hdr"), cv::Mat(6, 9, CV_32FC3, cv::Scalar(0.25f, 0.5f, 1.0f)), 32, kRotatedPhoto);
    ASSERT_TRUE(hdr.ok) << hdr.error;
    EXPECT_FALSE(hdr.exifWarning.empty());
    EXPECT_EQ(readImage(path("light.hdr")).type(), CV_32FC3);
    EXPECT_NE(log_.text().find("light.hdr"), std::string::npos) << "the failure was not logged";

    const QByteArray oldPath = qgetenv("PATH");
    QTemporaryDir emptyBin;
    qputenv("PATH", emptyBin.path().toLocal8Bit());
    const WriteResult noTool =
        saveImage(path("plain.jpg"), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(50)), 8, kRotatedPhoto);
    qputenv("PATH", oldPath);
    ASSERT_TRUE(noTool.ok) << noTool.error;
    EXPECT_FALSE(noTool.exifWarning.empty());
    EXPECT_EQ(readImage(path("plain.jpg")).size(), cv::Size(8, 8));

    // A run cut by its time limit leaves the destination as it was; a missing source is reported.
    const std::string dst = path("slow.jpg");
    ASSERT_TRUE(cv::imwrite(dst, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(70))));
    const std::string before = test::fileText(dst);
    ExifCopyOptions options;
    options.timeoutMs = 1; // exiftool needs far longer than that to start, or to read a photo
    for (bool withSession : {false, true}) {
        std::optional<ExifToolSession> session;
        if (withSession)
            session.emplace();
        const ExifCopyResult slow = copyExif(kRotatedPhoto, dst, "Lumora", options);
        EXPECT_FALSE(slow.ok) << withSession;
        EXPECT_FALSE(slow.error.empty());
        EXPECT_EQ(test::fileText(dst), before);
    }
    const ExifCopyResult missing = copyExif(path("absent.jpg"), dst, "Lumora");
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.error.empty());
    EXPECT_EQ(entries(), (std::vector<std::string>{"light.hdr", "plain.jpg", "slow.jpg"}));
}

// A session whose exiftool takes commands but never answers gives up after the time asked for, and says so.
TEST_F(ExifCopy, ASessionWhoseExiftoolNeverAnswersGivesUpInTime) {
    QTemporaryDir bin;
    QFile mute(bin.filePath(QStringLiteral("exiftool")));
    ASSERT_TRUE(mute.open(QIODevice::WriteOnly));
    mute.write("#!/bin/sh\nexec cat >/dev/null\n");
    mute.close();
    mute.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + oldPath);
    {
        ExifToolSession session;
        ProcessOutcome outcome;
        QElapsedTimer waited;
        waited.start();
        ASSERT_TRUE(session.run({QStringLiteral("-ver")}, 300, &outcome));
        EXPECT_FALSE(outcome.finished);
        EXPECT_NE(outcome.error.find("did not finish"), std::string::npos) << outcome.error;
        EXPECT_LT(waited.elapsed(), 10000);
    }
    qputenv("PATH", oldPath);
}

} // namespace
