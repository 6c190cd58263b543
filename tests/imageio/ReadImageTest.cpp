// readImage on files made here: what each library hands back (channels, depth, orientation, row order) and
// how unreadable files end.

#include "ExifTags.h"
#include "TestEnvironment.h"
#include "imageio/ImageFile.h"
#include "imageio/LibraryAdapters.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>

namespace {

using namespace lumora;

class ReadImage : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

    QTemporaryDir dir_;
};

TEST_F(ReadImage, PngAlphaIsDroppedByDevil) {
    cv::Mat bgra(3, 4, CV_8UC4, cv::Scalar(10, 20, 30, 0));
    bgra.at<cv::Vec4b>(1, 2) = cv::Vec4b(200, 100, 50, 255);
    ASSERT_TRUE(cv::imwrite(path("alpha.png"), bgra));

    for (const cv::Mat& m : {imageio::devil::read(path("alpha.png")), readImage(path("alpha.png"))}) {
        ASSERT_EQ(m.type(), CV_8UC3);
        EXPECT_EQ(m.at<cv::Vec3b>(0, 0), cv::Vec3b(10, 20, 30))
            << "colour of a transparent pixel kept, in BGR";
        EXPECT_EQ(m.at<cv::Vec3b>(1, 2), cv::Vec3b(200, 100, 50));
    }
}

// An 8-bit palette BMP built byte by byte: 3 x 2 pixels, rows stored bottom-up and padded to 4 bytes.
std::string paletteBmp() {
    const auto le32 = [](std::uint32_t v) {
        return std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
    };
    const auto le16 = [](std::uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    const std::string palette = std::string("\x0A\x14\x1E\0", 4) + std::string("\xC8\x64\x32\0", 4); // BGR0
    const std::string rows = std::string("\x01\x01\x00\0", 4)    // bottom row: 1 1 0
                             + std::string("\x00\x01\x00\0", 4); // top row:    0 1 0
    const std::uint32_t offset = 14 + 40 + std::uint32_t(palette.size());
    std::string info = le32(40) + le32(3) + le32(2) + le16(1) + le16(8) + le32(0) +
                       le32(std::uint32_t(rows.size())) + le32(2835) + le32(2835) + le32(2) + le32(0);
    return "BM" + le32(offset + std::uint32_t(rows.size())) + le32(0) + le32(offset) + info + palette + rows;
}

TEST_F(ReadImage, PaletteImagesComeOutAsColoursNotIndices) {
    ASSERT_TRUE(test::writeFileText(path("palette.bmp"), paletteBmp()));
    const cv::Vec3b first(10, 20, 30), second(200, 100, 50);
    for (const cv::Mat& m : {imageio::devil::read(path("palette.bmp")), readImage(path("palette.bmp")),
                             imageio::freeimage::read(path("palette.bmp"), false)}) {
        ASSERT_EQ(m.type(), CV_8UC3);
        ASSERT_EQ(m.size(), cv::Size(3, 2));
        EXPECT_EQ(m.at<cv::Vec3b>(0, 0), first);
        EXPECT_EQ(m.at<cv::Vec3b>(0, 1), second);
        EXPECT_EQ(m.at<cv::Vec3b>(1, 0), second);
        EXPECT_EQ(m.at<cv::Vec3b>(1, 2), first);
    }
}

TEST_F(ReadImage, GreyStaysOneChannel) {
    cv::Mat grey(4, 6, CV_8UC1);
    cv::randu(grey, 0, 256);
    ASSERT_TRUE(cv::imwrite(path("grey.png"), grey));
    const cv::Mat g = readImage(path("grey.png"));
    ASSERT_EQ(g.type(), CV_8UC1);
    EXPECT_EQ(cv::norm(g, grey, cv::NORM_INF), 0.0);
}

// TIFFs are OpenCV's: each kind comes back as written (alpha dropped), float TIFFs stay float (DevIL would
// narrow another program's to 8 bits), and a TIFF with an orientation tag, which OpenCV would turn, is read
// as stored by DevIL once OpenCV has checked its size.
TEST_F(ReadImage, TiffsComeBackAsWrittenWithoutAlphaOrTurning) {
    cv::Mat bgr(5, 7, CV_8UC3);
    cv::randu(bgr, 0, 256);
    cv::Mat bgra, grey, deep, deepGrey, light;
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    bgr.convertTo(deep, CV_16U, 257.0);
    cv::randu(deepGrey = cv::Mat(9, 11, CV_16UC1), 0, 65536);
    bgr.convertTo(light, CV_32F, 1.0 / 300.0);
    const std::pair<const char*, cv::Mat> cases[] = {{"bgr", bgr},           {"bgra", bgra},
                                                     {"grey", grey},         {"deep", deep},
                                                     {"deepGrey", deepGrey}, {"light", light}};
    for (const auto& [name, written] : cases) {
        SCOPED_TRACE(name);
        const std::string file = path(std::string(name) + ".tif");
        ASSERT_TRUE(writeImage(file, written).ok);
        const cv::Mat expected = written.channels() == 4 ? bgr : written;
        const cv::Mat got = readImage(file);
        ASSERT_EQ(got.type(), expected.type());
        EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0.0);
    }
    // A float TIFF of another program's making.
    ASSERT_TRUE(cv::imwrite(path("other.tif"), light));
    EXPECT_EQ(readImage(path("other.tif")).type(), CV_32FC3);

    if (!test::runExiftool({QStringLiteral("-Orientation#=6"), QString::fromStdString(path("bgr.tif"))}))
        GTEST_SKIP() << "no exiftool to tag the orientation";
    const cv::Mat tagged = readImage(path("bgr.tif"));
    ASSERT_EQ(tagged.size(), bgr.size()) << "turned";
    EXPECT_EQ(cv::norm(tagged, imageio::devil::read(path("bgr.tif")), cv::NORM_INF), 0.0);
}

// A JPEG of four flat quadrants (blue, green, red, white from top-left, clockwise) tagged with an EXIF
// orientation by exiftool; every reader must hand back the upright picture.
class ReadImageOrientation : public ReadImage, public ::testing::WithParamInterface<int> {};

cv::Mat quadrants() {
    cv::Mat m(48, 80, CV_8UC3);
    m(cv::Rect(0, 0, 40, 24)).setTo(cv::Scalar(255, 0, 0));
    m(cv::Rect(40, 0, 40, 24)).setTo(cv::Scalar(0, 255, 0));
    m(cv::Rect(40, 24, 40, 24)).setTo(cv::Scalar(0, 0, 255));
    m(cv::Rect(0, 24, 40, 24)).setTo(cv::Scalar(255, 255, 255));
    return m;
}

// Colour at the centre of each quadrant of `m`, in the order top-left, top-right, bottom-right, bottom-left.
std::vector<cv::Vec3b> quadrantColours(const cv::Mat& m) {
    const int w = m.cols, h = m.rows;
    return {m.at<cv::Vec3b>(h / 4, w / 4), m.at<cv::Vec3b>(h / 4, 3 * w / 4),
            m.at<cv::Vec3b>(3 * h / 4, 3 * w / 4), m.at<cv::Vec3b>(3 * h / 4, w / 4)};
}

TEST_P(ReadImageOrientation, EveryReaderTurnsTheJpegUpright) {
    const int orientation = GetParam();
    const std::string file = path("tagged.jpg");
    const cv::Mat stored = quadrants();
    ASSERT_TRUE(cv::imwrite(file, stored, {cv::IMWRITE_JPEG_QUALITY, 100}));
    ASSERT_TRUE(test::runExiftool(
        {QStringLiteral("-Orientation#=%1").arg(orientation), QString::fromStdString(file)}))
        << "exiftool could not tag the test file";

    cv::Mat upright = stored;
    if (orientation != 1)
        cv::rotate(stored, upright,
                   orientation == 3   ? cv::ROTATE_180
                   : orientation == 6 ? cv::ROTATE_90_CLOCKWISE
                                      : cv::ROTATE_90_COUNTERCLOCKWISE);
    EXPECT_EQ(readerAppliesOrientation(file), orientation != 1);

    const std::pair<const char*, cv::Mat> readers[] = {{"readImage", readImage(file)},
                                                       {"FreeImage", imageio::freeimage::read(file, false)}};
    const auto expected = quadrantColours(upright);
    for (const auto& [name, m] : readers) {
        ASSERT_EQ(m.size(), upright.size()) << name;
        const auto got = quadrantColours(m);
        for (int q = 0; q < 4; ++q)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(got[q][c], expected[q][c], 6) << name << " quadrant " << q << " channel " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Orientations, ReadImageOrientation, ::testing::Values(1, 3, 6, 8));

} // namespace
