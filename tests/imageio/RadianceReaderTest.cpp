// Lumora's Radiance reader: our writer's files read back within half a mantissa step, the closed form
// (m + 0.5) * 2^(e - 136) for hand-made files, and clean refusal of headers and scanlines it must not guess
// at.

#include "imageio/ImageFile.h"
#include "imageio/LibraryAdapters.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace lumora;
using imageio::radiance::Outcome;

TEST(RadianceReader, ReadsOurWritersFilesWithinHalfAStep) {
    QTemporaryDir dir;
    // 37 wide: run-length rows; 5 wide: flat rows (too narrow to encode). Light from 1e-8 to 1e5, black at
    // the corner, and a band of equal pixels that the writer stores as runs.
    for (const cv::Size size : {cv::Size(37, 23), cv::Size(5, 4)}) {
        cv::Mat light(size, CV_32FC3);
        cv::randu(light, -8 * 2.3026, 5 * 2.3026);
        cv::exp(light, light);
        light.colRange(0, size.width / 2).setTo(cv::Scalar(0.5, 0.25, 1.0));
        light.at<cv::Vec3f>(0, 0) = cv::Vec3f(0, 0, 0);
        const std::string file = dir.filePath("light.hdr").toStdString();
        ASSERT_TRUE(writeImage(file, light).ok);
        cv::Mat read;
        std::string error;
        ASSERT_EQ(imageio::radiance::read(file, &read, &error), Outcome::Read) << error;
        ASSERT_EQ(read.type(), CV_32FC3);
        EXPECT_EQ(cv::norm(read, readImage(file), cv::NORM_INF), 0.0) << "through the decoding helper";
        // Writers round the 8-bit mantissa (shared exponent of the largest channel) down; the middle of the
        // step is at most half a step, 1/256 of the largest channel, from the original.
        for (int i = 0; i < int(light.total()); ++i) {
            const cv::Vec3f a = read.at<cv::Vec3f>(i), b = light.at<cv::Vec3f>(i);
            const float largest = std::max({b[0], b[1], b[2]});
            for (int c = 0; c < 3; ++c)
                ASSERT_LE(std::abs(a[c] - b[c]), largest / 256.0f) << size << " pixel " << i;
        }
    }
}

// A 3 x 2 flat image after `header`; each pixel's RGBE bytes follow a pattern with exponents 0 to 255.
const unsigned char kPixels[6][4] = {{1, 2, 3, 0},      {255, 128, 0, 128},   {17, 34, 51, 1},
                                     {200, 1, 99, 255}, {128, 128, 128, 136}, {9, 0, 250, 60}};

std::string flatFile(const std::string& header) {
    std::string bytes = header;
    for (const auto& p : kPixels)
        bytes.append(reinterpret_cast<const char*>(p), 4);
    return bytes;
}

// A 16 x 1 run-length file written by OpenCV; its scanline starts at `*start` (2, 2, 0, 16, then counts).
std::string runLengthFile(std::size_t* start) {
    cv::Mat row(1, 16, CV_32FC3, cv::Scalar(0.25, 0.5, 1.0));
    std::vector<unsigned char> bytes;
    cv::imencode(".hdr", row, bytes);
    const std::string s(bytes.begin(), bytes.end());
    *start = s.find("+X 16\n") + 6;
    return s;
}

TEST(RadianceReader, ReadsTheCommonHeadersAndRefusesTheRest) {
    const std::string res = "-Y 2 +X 3\n";
    struct Case {
        const char* what;
        std::string bytes;
        Outcome expected;
    };
    std::size_t rl = 0;
    const std::string runs = runLengthFile(&rl);
    const auto patched = [&](std::size_t offset, unsigned char value) {
        std::string s = runs;
        s[rl + offset] = char(value);
        return s;
    };
    const Case cases[] = {
        {"format line", flatFile("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n" + res), Outcome::Read},
        {"tabs and a carriage return", flatFile("#?RADIANCE\n\n-Y\t2  +X 3 \r\n"), Outcome::Read},
        {"no format line", flatFile("#?RGBE\n\n" + res), Outcome::Read},
        // EXPOSURE describes the stored pixels; they are kept as stored.
        {"exposure, comments, other fields",
         flatFile("#?RADIANCE\n# made by hand\nEXPOSURE=2.5\nSOFTWARE=x\nFORMAT=32-bit_rle_rgbe\n\n" + res),
         Outcome::Read},
        {"CIE XYZ pixels", flatFile("#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n" + res), Outcome::Refused},
        {"bottom row first", flatFile("#?RADIANCE\n\n+Y 2 +X 3\n"), Outcome::Refused},
        {"columns first", flatFile("#?RADIANCE\n\n+X 3 -Y 2\n"), Outcome::Refused},
        {"right to left", flatFile("#?RADIANCE\n\n-Y 2 -X 3\n"), Outcome::Refused},
        {"signed size", flatFile("#?RADIANCE\n\n-Y +2 +X 3\n"), Outcome::Refused},
        {"no rows", flatFile("#?RADIANCE\n\n-Y 0 +X 3\n"), Outcome::Refused},
        {"too tall", flatFile("#?RADIANCE\n\n-Y 70000 +X 3\n"), Outcome::Refused},
        {"too many pixels", flatFile("#?RADIANCE\n\n-Y 60000 +X 60000\n"), Outcome::Refused},
        {"header never ends", "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n" + std::string(70000, 'x'),
         Outcome::Refused},
        {"no magic", flatFile("RADIANCE\n\n" + res), Outcome::NotMine},
        {"flat pixels cut short", flatFile("#?RADIANCE\n\n" + res).substr(0, 30), Outcome::Refused},
        {"undamaged run-length row", runs, Outcome::Read},
        {"run longer than the row", patched(4, 128 + 17), Outcome::Refused},
        {"literal longer than the row", patched(4, 17), Outcome::Refused},
        {"empty run", patched(4, 0), Outcome::Refused},
        {"row header of another width", patched(3, 15), Outcome::Refused},
        {"run-length row cut short", runs.substr(0, rl + 9), Outcome::Refused},
    };
    for (const Case& c : cases) {
        cv::Mat image;
        std::string error;
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.bytes.data());
        EXPECT_EQ(imageio::radiance::decode(bytes, c.bytes.size(), &image, &error), c.expected) << c.what;
        EXPECT_EQ(error.empty(), c.expected != Outcome::Refused) << c.what << ": a refusal says why";
        if (c.expected != Outcome::Read)
            continue;
        if (image.cols == 3) {
            for (int i = 0; i < 6; ++i) {
                // The middle of each mantissa step; exponent 0 is black.
                const auto& p = kPixels[i];
                const double scale = p[3] == 0 ? 0.0 : std::ldexp(1.0, p[3] - 136);
                const cv::Vec3f v = image.at<cv::Vec3f>(i);
                EXPECT_EQ(cv::Vec3d(v), cv::Vec3d(p[2] + 0.5, p[1] + 0.5, p[0] + 0.5) * scale) << c.what << i;
            }
        } else {
            // 0.25, 0.5 and 1 share the exponent of 1, whose steps are 1/128: each reads 1/256 above.
            const cv::Mat expected(image.size(), CV_32FC3,
                                   cv::Scalar(0.25, 0.5, 1.0) + cv::Scalar::all(1.0 / 256));
            EXPECT_EQ(cv::norm(image, expected, cv::NORM_INF), 0.0) << c.what;
        }
    }
}

} // namespace
