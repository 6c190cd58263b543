// Raw camera files developed by LibRaw: depth, channel order, even width and sizes, and the pictures against
// dcraw's own development with the same settings (its PPM output parsed here) where dcraw is installed.

#include "TestEnvironment.h"
#include "imageio/ImageFile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

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

// dcraw's development (half size and bilinear for a preview, else AHD) as 16-bit PPM (RGB, big-endian),
// read without any image library. Empty when dcraw is not installed.
cv::Mat dcrawPpm(const std::string& file, bool preview) {
    QStringList args{"-w", "-6", "-o", "3", "-g", "2.4", "12.92", "-H", "5"};
    args << (preview ? QStringList{"-q", "0", "-h"} : QStringList{"-q", "3"});
    QProcess dcraw;
    dcraw.start(QStringLiteral("dcraw"), args << "-c" << QString::fromStdString(file));
    if (!dcraw.waitForFinished(300000) || dcraw.exitStatus() != QProcess::NormalExit || dcraw.exitCode() != 0)
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

// LibRaw and dcraw 9.28 share their development code but not every table and rounding. Per channel the mean
// difference stays within kMeanTolerance and at most kOutlierShare of the pixels differ by more than
// kPixelTolerance (16-bit levels). Measured on this sample: the preview differs by 13 levels at most; the
// full AHD decode by 0.2 levels on average, with about 120 of 8.3 million pixels beyond 1% of the range.
constexpr double kMeanTolerance = 2.0;
constexpr double kPixelTolerance = 0.01 * 65535;
constexpr double kOutlierShare = 1e-4;

class RawAgainstDcraw : public RawDecode, public ::testing::WithParamInterface<bool> {};

TEST_P(RawAgainstDcraw, LibRawDevelopsAsDcrawDidInBgrWithAnEvenWidth) {
    const bool preview = GetParam();
    const cv::Mat reference = dcrawPpm(kCr2, preview);
    if (reference.empty())
        GTEST_SKIP() << "no dcraw to compare with";
    cv::Mat expected;
    cv::cvtColor(reference.colRange(0, reference.cols & ~1), expected, cv::COLOR_RGB2BGR);

    const cv::Mat decoded = readImage(kCr2, preview);
    ASSERT_EQ(decoded.type(), CV_16UC3);
    ASSERT_EQ(decoded.size(), expected.size());
    cv::Mat diff;
    cv::absdiff(decoded, expected, diff);
    const cv::Scalar mean = cv::mean(diff);
    for (int c = 0; c < 3; ++c) {
        EXPECT_LE(mean[c], kMeanTolerance) << "channel " << c;
        cv::Mat channel;
        cv::extractChannel(diff, channel, c);
        const int over = cv::countNonZero(channel > kPixelTolerance);
        EXPECT_LE(over, int(kOutlierShare * double(channel.total()))) << "channel " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RawAgainstDcraw, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Preview" : "Full";
                         });

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

TEST_F(RawDecode, UpperCaseExtensionsAreRawAndNonRawFilesGiveNothing) {
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
