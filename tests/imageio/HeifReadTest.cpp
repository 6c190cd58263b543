// Phone photos in HEIC and AVIF, made here with Debian's encoder: read upright and at their depth, stacked as
// a burst and exported with their EXIF tags, and refused before decoding when they declare a huge image.

#include "CorruptedMedia.h"
#include "ExifTags.h"
#include "HeifEncode.h"
#include "HeifFiles.h"
#include "TestEnvironment.h"
#include "imageio/ImageFile.h"
#include "imageio/LibraryAdapters.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <set>

namespace {

using namespace lumora;

// Lossy HEVC and AV1 at quality 90 on smooth pictures: the mean difference per channel, in 8-bit levels.
constexpr double kCodecMeanError = 4.0;

double meanDifference(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    const cv::Scalar m = cv::mean(diff);
    return (m[0] + m[1] + m[2]) / 3.0;
}

// A smooth picture with a bright square near the top-left corner, so a turn or a mirror shows.
cv::Mat marked(int width, int height) {
    cv::Mat image(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at<cv::Vec3b>(y, x) =
                cv::Vec3b(uchar(40 + x * 120 / width), uchar(60 + y * 100 / height), 90);
    cv::rectangle(image, cv::Rect(4, 4, width / 4, height / 4), cv::Scalar(240, 240, 240), cv::FILLED);
    return image;
}

class HeifRead : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::heifEncoderAvailable())
            GTEST_SKIP() << "heif-enc missing (install the Debian package libheif-examples)";
    }
    std::string path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

    // `image` as a JPEG tagged with `artist`, then encoded by heif-enc into `name`.
    std::string encoded(const cv::Mat& image, const std::string& name, const QString& artist) {
        const std::string jpeg = path(name + ".jpg");
        EXPECT_TRUE(cv::imwrite(jpeg, image, {cv::IMWRITE_JPEG_QUALITY, 98}));
        EXPECT_TRUE(test::runExiftool({QStringLiteral("-Artist=") + artist, QString::fromStdString(jpeg)}));
        EXPECT_TRUE(test::heifEnc({QStringLiteral("-q"), QStringLiteral("90"), QString::fromStdString(jpeg),
                                   QStringLiteral("-o"), QString::fromStdString(path(name))}));
        return path(name);
    }

    QTemporaryDir dir_;
};

TEST_F(HeifRead, HeicBurstStacksAndAvifPhotoExportsWithTheirExif) {
    // Three shots of the same scene with different sensor noise.
    const cv::Mat scene = marked(160, 120);
    QStringList burst;
    cv::RNG rng(24);
    for (int i = 0; i < 3; ++i) {
        cv::Mat noise(scene.size(), CV_16SC3), shot;
        rng.fill(noise, cv::RNG::NORMAL, 0, 4);
        scene.convertTo(shot, CV_16SC3);
        cv::Mat(shot + noise).convertTo(shot, CV_8UC3);
        burst << QString::fromStdString(
            encoded(shot, "IMG_000" + std::to_string(i) + ".heic", QStringLiteral("Burst %1").arg(i)));
    }
    const std::string avif = encoded(scene, "photo.avif", QStringLiteral("Avif photo"));

    for (const QString& file : burst) {
        const cv::Mat read = readImage(file.toStdString());
        ASSERT_EQ(read.type(), CV_8UC3) << file.toStdString();
        EXPECT_LT(meanDifference(read, scene), kCodecMeanError + 4.0) << "sensor noise of 4 levels on top";
    }
    const cv::Mat photo = readImage(avif);
    ASSERT_EQ(photo.type(), CV_8UC3);
    EXPECT_LT(meanDifference(photo, scene), kCodecMeanError);

    const QString light = dir_.path() + QStringLiteral("/light.tif");
    const test::CliRun stacked =
        test::runCli(QStringList{QStringLiteral("stack"), QStringLiteral("--index"), QStringLiteral("1"),
                                 QStringLiteral("-o"), light, QStringLiteral("--")} +
                         burst,
                     dir_.path());
    ASSERT_EQ(stacked.exitCode, 0) << stacked.err.toStdString();
    const cv::Mat merged = readImage(light.toStdString());
    ASSERT_EQ(merged.size(), scene.size());
    cv::Mat merged8;
    convertDepth(merged, 8).convertTo(merged8, CV_8UC3);
    EXPECT_LT(meanDifference(merged8, scene), kCodecMeanError + 4.0);
    EXPECT_EQ(test::exifTags(light.toStdString(), {QStringLiteral("Artist")})
                  .value(QStringLiteral("Artist"))
                  .toString(),
              QStringLiteral("Burst 1"))
        << "the EXIF comes from the chosen frame's file";

    const std::string exported = path("photo-export.jpg");
    ASSERT_TRUE(saveImage(exported, photo, 8, avif).ok);
    EXPECT_EQ(test::exifTags(exported, {QStringLiteral("Artist")}).value(QStringLiteral("Artist")).toString(),
              QStringLiteral("Avif photo"));
}

// libheif's own encoder: heif-enc has no way to store a rotation. Tagged afterwards, as phones do, with the
// same turn in EXIF.
bool writeRotatedHeic(const cv::Mat& bgr, const std::string& file) {
    const std::string bytes = test::encodeHeif(bgr, heif_compression_HEVC, heif_orientation_rotate_90_cw);
    return !bytes.empty() && test::writeFileBytes(file, test::Bytes(bytes.begin(), bytes.end())) &&
           test::runExiftool({QStringLiteral("-Orientation#=6"), QStringLiteral("-Artist=Turned"),
                              QString::fromStdString(file)});
}

TEST_F(HeifRead, ARotatedHeicIsTurnedOnceAndItsExportIsUpright) {
    const cv::Mat stored = marked(96, 64);
    cv::Mat upright;
    cv::rotate(stored, upright, cv::ROTATE_90_CLOCKWISE);
    const std::string heic = path("turned.heic");
    ASSERT_TRUE(writeRotatedHeic(stored, heic));
    EXPECT_EQ(
        test::exifTags(heic, {QStringLiteral("Orientation")}).value(QStringLiteral("Orientation")).toInt(),
        6);

    const cv::Mat read = readImage(heic);
    ASSERT_EQ(read.size(), upright.size()) << "the file's rotation was not applied";
    EXPECT_LT(meanDifference(read, upright), kCodecMeanError);
    EXPECT_TRUE(readerAppliesOrientation(heic));

    // An EXIF-aware reader (ours turns JPEGs by their tag) sees the export as it was read: turned once.
    const std::string exported = path("turned.jpg");
    ASSERT_TRUE(saveImage(exported, read, 8, heic).ok);
    const QJsonObject tags =
        test::exifTags(exported, {QStringLiteral("Orientation"), QStringLiteral("Artist")});
    EXPECT_LE(tags.value(QStringLiteral("Orientation")).toInt(1), 1);
    EXPECT_EQ(tags.value(QStringLiteral("Artist")).toString(), QStringLiteral("Turned"));
    const cv::Mat viewed = readImage(exported);
    ASSERT_EQ(viewed.size(), upright.size());
    EXPECT_LT(meanDifference(viewed, upright), kCodecMeanError + 2.0);
}

TEST_F(HeifRead, TenBitHeicReadsAsSixteenBits) {
    // A ramp over 1024 columns: ten bits give every column its own level, eight bits only a quarter.
    cv::Mat ramp(16, 1024, CV_16UC3);
    for (int x = 0; x < ramp.cols; ++x)
        ramp.col(x).setTo(cv::Scalar::all(x * 64));
    const std::string png = path("ramp.png");
    ASSERT_TRUE(cv::imwrite(png, ramp));
    const std::string heic = path("ramp.heic");
    ASSERT_TRUE(
        test::heifEnc({QStringLiteral("-b"), QStringLiteral("10"), QStringLiteral("-q"), QStringLiteral("95"),
                       QString::fromStdString(png), QStringLiteral("-o"), QString::fromStdString(heic)}));

    const cv::Mat read = readImage(heic);
    ASSERT_EQ(read.type(), CV_16UC3);
    ASSERT_EQ(read.size(), ramp.size());
    std::set<ushort> levels;
    for (int x = 0; x < read.cols; ++x)
        levels.insert(read.at<cv::Vec3w>(8, x)[1]);
    EXPECT_GT(levels.size(), 400u) << "more levels than eight bits hold";
    // White stretched to 65535: the ramp's values within 1% of the range.
    EXPECT_LT(meanDifference(read, ramp), 0.01 * 65535);
}

// The declared sizes in every "ispe" property (the picture and its coded tiles), patched after encoding.
TEST_F(HeifRead, AHugeDeclaredSizeIsRefusedBeforeDecoding) {
    const std::string heic = encoded(marked(64, 48), "small.heic", QStringLiteral("Small"));
    const test::Bytes original = test::readFileBytes(heic);
    const std::string property = "ispe";
    std::vector<std::size_t> sizes;
    for (auto at = original.begin();
         (at = std::search(at, original.end(), property.begin(), property.end())) != original.end(); ++at)
        sizes.push_back(std::size_t(at - original.begin()) + 8);
    ASSERT_FALSE(sizes.empty());
    struct Case {
        uint32_t width, height;
    };
    for (const Case c : {Case{40000, 40000}, Case{70000, 16}, Case{0xFFFFFFFFu, 0xFFFFFFFFu}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        test::Bytes bytes = original;
        for (const std::size_t at : sizes)
            for (int i = 0; i < 4; ++i) {
                bytes[at + std::size_t(i)] = uchar(c.width >> (24 - 8 * i));
                bytes[at + 4 + std::size_t(i)] = uchar(c.height >> (24 - 8 * i));
            }
        const std::string huge = path("huge.heic");
        ASSERT_TRUE(test::writeFileBytes(huge, bytes));
        cv::Mat image;
        std::string why;
        EXPECT_EQ(imageio::heif::read(huge, &image, &why), imageio::ReaderOutcome::Refused);
        EXPECT_TRUE(image.empty());
        // Refused on the declared size, not by a failed allocation or a broken stream.
        EXPECT_NE(why.find(std::to_string(c.width)), std::string::npos) << why;
        EXPECT_TRUE(readImage(huge).empty());
    }
}

} // namespace
