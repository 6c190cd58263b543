// Raw camera files: dcraw's development taken from its standard output, and the result's
// depth, channel order and width, checked against dcraw's own PPM output parsed here.

#include "TestEnvironment.h"
#include "imageio/ImageFile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

using namespace lumora;

const std::string kCr2 = "/usr/share/doc/rawtran/IMG_5952.CR2"; // Debian package rawtran-doc

class RawDecode : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kCr2))
            GTEST_SKIP() << kCr2 << " missing (install the Debian package rawtran-doc)";
    }
    std::string copyAs(const std::string& name) const {
        const std::string target = dir_.path().toStdString() + "/" + name;
        std::filesystem::copy_file(kCr2, target);
        return target;
    }
    QTemporaryDir dir_;
};

// dcraw's half-size development as 16-bit PPM (RGB, big-endian), read without any image library.
cv::Mat dcrawPpm(const std::string& file) {
    QProcess dcraw;
    dcraw.start(QStringLiteral("dcraw"), {"-w", "-6", "-o", "3", "-g", "2.4", "12.92", "-H", "5", "-q", "0",
                                          "-h", "-c", QString::fromStdString(file)});
    if (!dcraw.waitForFinished(120000) || dcraw.exitCode() != 0)
        return {};
    const QByteArray out = dcraw.readAllStandardOutput();
    std::istringstream header(out.left(64).toStdString());
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    header >> magic >> width >> height >> maxval;
    if (magic != "P6" || maxval != 65535)
        return {};
    const auto start = static_cast<std::size_t>(header.tellg()) + 1; // one whitespace byte after maxval
    if (out.size() < static_cast<int>(start + std::size_t(width) * height * 6))
        return {};
    cv::Mat rgb(height, width, CV_16UC3);
    const auto* p = reinterpret_cast<const unsigned char*>(out.constData()) + start;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c, p += 2)
                rgb.at<cv::Vec3w>(y, x)[c] = static_cast<ushort>(p[0] << 8 | p[1]);
    return rgb;
}

TEST_F(RawDecode, PreviewMatchesDcrawInBgrWithAnEvenWidth) {
    const cv::Mat reference = dcrawPpm(kCr2);
    ASSERT_FALSE(reference.empty()) << "dcraw did not produce a PPM";
    ASSERT_EQ(reference.cols % 2, 1) << "this sample's half-size width is odd; the trim is what is tested";

    const cv::Mat decoded = decodeRaw(kCr2, true);
    ASSERT_EQ(decoded.type(), CV_16UC3);
    EXPECT_EQ(decoded.rows, reference.rows);
    EXPECT_EQ(decoded.cols, reference.cols - 1);
    for (int y = 0; y < decoded.rows; y += 7)
        for (int x = 0; x < decoded.cols; x += 5) {
            const cv::Vec3w rgb = reference.at<cv::Vec3w>(y, x);
            ASSERT_EQ(decoded.at<cv::Vec3w>(y, x), cv::Vec3w(rgb[2], rgb[1], rgb[0]))
                << "at " << x << "," << y;
        }
}

TEST_F(RawDecode, FullDecodeIsSixteenBitBgrOfTwiceThePreviewSize) {
    const cv::Mat full = readImage(kCr2, false);
    const cv::Mat preview = readImage(kCr2, true);
    ASSERT_EQ(full.type(), CV_16UC3);
    ASSERT_EQ(preview.type(), CV_16UC3);
    EXPECT_EQ(full.cols % 2, 0);
    EXPECT_NEAR(full.cols, 2 * preview.cols, 2);
    EXPECT_NEAR(full.rows, 2 * preview.rows, 1);
    // A developed daylight photo uses a good part of the 16-bit range.
    double minV = 0, maxV = 0;
    cv::minMaxLoc(full.reshape(1), &minV, &maxV);
    EXPECT_GT(maxV, 20000);
}

TEST_F(RawDecode, UpperCaseExtensionsGoToDcrawAndNonRawFilesGiveNothing) {
    const cv::Mat expected = readImage(kCr2, true);
    for (const char* name : {"PHOTO.CR2", "PHOTO.NEF"}) {
        const cv::Mat got = readImage(copyAs(name), true);
        ASSERT_EQ(got.type(), CV_16UC3) << name;
        EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0.0) << name;
    }
    EXPECT_EQ(test::folderEntries(dir_.path().toStdString()).size(), 2u)
        << "no developed file is left behind";
    const std::string bad = dir_.path().toStdString() + "/bad.NEF";
    ASSERT_TRUE(test::writeFileText(bad, "no sensor data here"));
    EXPECT_TRUE(readImage(bad).empty());
    EXPECT_TRUE(readImage(dir_.path().toStdString() + "/absent.cr2").empty());
}

} // namespace
