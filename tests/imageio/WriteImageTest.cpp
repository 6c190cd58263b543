// writeImage and saveImage: every export format and depth read back against closed-form expectations, the
// format actually written, JPEG quality, and what a failed or cancelled write leaves behind.

#include "TestEnvironment.h"
#include "imageio/ImageFile.h"
#include "imageio/LibraryAdapters.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

using namespace lumora;

// Smooth, different ramps per channel (so a channel swap or a flip shows), odd size (so row padding shows).
cv::Mat ramps(int width = 37, int height = 23) {
    cv::Mat m(height, width, CV_32FC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            m.at<cv::Vec3f>(y, x) = cv::Vec3f(float(x) / float(width - 1), float(y) / float(height - 1),
                                              float(x + y) / float(width + height - 2) * 0.8f + 0.1f);
    return m;
}

using test::fileText;

std::vector<std::string> entriesOf(const QTemporaryDir& dir) {
    return test::folderEntries(dir.path().toStdString());
}

struct FormatCase {
    const char* extension;
    int bits;
    int readBackType;
    const char* magic; // first bytes of a file of that format
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.extension << "@" << c.bits;
}

class RoundTrip : public ::testing::TestWithParam<FormatCase> {
protected:
    QTemporaryDir dir_;
};

TEST_P(RoundTrip, ReadsBackWhatWasSaved) {
    const FormatCase& c = GetParam();
    const std::string file = dir_.path().toStdString() + "/ramps." + c.extension;
    const cv::Mat source = ramps();
    const WriteResult written = saveImage(file, source, c.bits);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(fileText(file).rfind(c.magic, 0), 0u) << "not a ." << c.extension << " file";
    if (std::string(c.extension) == "jpg") {
        EXPECT_EQ(fileText(file).substr(13, 5), std::string("\x01\x00\x48\x00\x48", 5)) << "72 dpi";
    }
    EXPECT_EQ(entriesOf(dir_), std::vector<std::string>{std::string("ramps.") + c.extension})
        << "stray files";

    const cv::Mat expected = convertDepth(source, c.bits);
    const std::string ext = c.extension;
    const auto check = [&](const std::string& reader, const cv::Mat& back, double jpegMax = 6.0,
                           double jpegMean = 1.0) {
        SCOPED_TRACE(reader);
        ASSERT_EQ(back.size(), source.size());
        ASSERT_EQ(back.type(), c.readBackType);
        if (ext == "jpg") {
            cv::Mat diff;
            cv::absdiff(back, expected, diff);
            EXPECT_LE(cv::norm(diff, cv::NORM_INF), jpegMax);
            EXPECT_LE(cv::mean(diff.reshape(1))[0], jpegMean);
        } else if (ext == "hdr") {
            // RGBE keeps an 8-bit mantissa per channel under a shared exponent: each channel is within 1/128
            // of the pixel's largest channel.
            for (int y = 0; y < back.rows; ++y)
                for (int x = 0; x < back.cols; ++x) {
                    const cv::Vec3f a = expected.at<cv::Vec3f>(y, x), b = back.at<cv::Vec3f>(y, x);
                    const float tolerance = std::max({a[0], a[1], a[2]}) / 128.0f + 1e-6f;
                    for (int ch = 0; ch < 3; ++ch)
                        ASSERT_NEAR(b[ch], a[ch], tolerance) << "at " << x << "," << y << " channel " << ch;
                }
        } else {
            EXPECT_EQ(cv::norm(back, expected, cv::NORM_INF), 0.0) << "lossless format changed pixels";
        }
    };
    check("readImage", readImage(file));
    // Each library on its own reads the file the same way. OpenCV has no PSD reader; DevIL declines float
    // TIFFs (readImage then falls back to OpenCV); FreeImage's normal JPEG load uses the fast, coarser IDCT.
    if (!(ext == "tif" && c.bits == 32))
        check("DevIL", imageio::devil::read(file));
    else
        EXPECT_TRUE(imageio::devil::read(file).empty()) << "DevIL now reads float TIFFs: check its result";
    check("FreeImage", imageio::freeimage::read(file, false), 16.0, 4.0);
    if (ext != "psd")
        check("OpenCV", imageio::opencv::read(file));
}

INSTANTIATE_TEST_SUITE_P(
    ExportFormats, RoundTrip,
    ::testing::Values(FormatCase{"jpg", 8, CV_8UC3, "\xFF\xD8"}, FormatCase{"hdr", 32, CV_32FC3, "#?"},
                      FormatCase{"tif", 16, CV_16UC3, "II*"}, FormatCase{"tif", 8, CV_8UC3, "II*"},
                      FormatCase{"tif", 32, CV_32FC3, "II*"}, FormatCase{"psd", 8, CV_8UC3, "8BPS"},
                      FormatCase{"psd", 16, CV_16UC3, "8BPS"}, FormatCase{"bmp", 8, CV_8UC3, "BM"}));

class WriteImage : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
    QTemporaryDir dir_;
};

// Every writer reorders channels for its library on a copy: the caller's image (a light image still on
// screen, say) must come out of an export untouched.
TEST_F(WriteImage, WritingLeavesTheCallersPixelsAlone) {
    const std::pair<std::string, int> cases[] = {{"tif", CV_16UC3}, {"tif", CV_32FC3}, {"hdr", CV_32FC3},
                                                 {"psd", CV_8UC3},  {"jpg", CV_8UC3},  {"bmp", CV_8UC3},
                                                 {"tif", CV_8UC3}};
    for (const auto& [ext, type] : cases) {
        const cv::Mat image = convertDepth(ramps(), CV_MAT_DEPTH(type) == CV_16U  ? 16
                                                    : CV_MAT_DEPTH(type) == CV_8U ? 8
                                                                                  : 32);
        const cv::Mat before = image.clone();
        ASSERT_TRUE(writeImage(path("kept." + ext), image).ok) << ext;
        EXPECT_EQ(cv::norm(image, before, cv::NORM_INF), 0.0) << ext << " type " << type;
    }
}

TEST_F(WriteImage, JpegQualityIsApplied) {
    cv::Mat noisy(64, 64, CV_8UC3);
    cv::randu(noisy, 0, 256);
    ASSERT_TRUE(writeImage(path("low.jpg"), noisy, {}, {}, 20).ok);
    ASSERT_TRUE(writeImage(path("high.jpg"), noisy, {}, {}, 99).ok);
    EXPECT_LT(fileText(path("low.jpg")).size() * 2, fileText(path("high.jpg")).size());
    EXPECT_LT(cv::norm(readImage(path("high.jpg")), noisy, cv::NORM_L1),
              cv::norm(readImage(path("low.jpg")), noisy, cv::NORM_L1));
}

// Lumora writes JPEGs on libjpeg itself: the bytes must be those OpenCV's writer makes (the reference the
// exports were made with), with the density set to 72 dots per inch. Sizes that are no multiple of the
// 16-pixel blocks, grey and colour, the qualities at the ends; a picture larger than the first output block.
TEST_F(WriteImage, JpegBytesAreOpenCvsWithSeventyTwoDotsPerInch) {
    struct Case {
        int rows, cols, type, quality;
    };
    for (const Case c :
         {Case{1, 1, CV_8UC3, 99}, Case{23, 37, CV_8UC3, 1}, Case{300, 411, CV_8UC3, 99},
          Case{300, 411, CV_8UC3, 100}, Case{17, 9, CV_8UC1, 50}, Case{240, 320, CV_8UC1, 95}}) {
        cv::Mat image(c.rows, c.cols, c.type);
        cv::randu(image, 0, 256);
        cv::GaussianBlur(image, image, cv::Size(5, 5), 0); // photo-like, and noise keeps the files large
        image += cv::Scalar(0, 40, 80);
        std::vector<unsigned char> reference, ours;
        ASSERT_TRUE(cv::imencode(".jpg", image, reference, {cv::IMWRITE_JPEG_QUALITY, c.quality}));
        ASSERT_GT(reference.size(), 18u);
        const unsigned char density[] = {1, 0, 72, 0, 72}; // JFIF units (inches), x and y big-endian
        std::copy(density, density + sizeof density, reference.begin() + 13);
        std::string error;
        ASSERT_TRUE(imageio::jpeg::encode(image, c.quality, &ours, &error)) << error;
        EXPECT_TRUE(ours == reference)
            << c.cols << "x" << c.rows << " type " << c.type << " quality " << c.quality << ": "
            << ours.size() << " vs " << reference.size() << " bytes";
    }
    std::vector<unsigned char> none;
    std::string why;
    EXPECT_FALSE(imageio::jpeg::encode(cv::Mat(4, 4, CV_16UC3), 90, &none, &why));
    EXPECT_FALSE(why.empty());
    // The writer's other paths still take what this one leaves: 16-bit pictures go through OpenCV.
    EXPECT_TRUE(writeImage(path("deep.jpg"), cv::Mat(8, 8, CV_16UC3, cv::Scalar::all(3000))).ok);
}

TEST_F(WriteImage, ReplacesAnExistingFileCompletelyWithOrdinaryPermissions) {
    std::ofstream(path("old.tif"), std::ios::binary) << std::string(100000, 'x');
    ASSERT_TRUE(writeImage(path("old.tif"), cv::Mat(2, 2, CV_8UC3, cv::Scalar(1, 2, 3))).ok);
    const cv::Mat back = readImage(path("old.tif"));
    ASSERT_EQ(back.type(), CV_8UC3);
    EXPECT_EQ(back.at<cv::Vec3b>(1, 1), cv::Vec3b(1, 2, 3));
    EXPECT_EQ(entriesOf(dir_), std::vector<std::string>{"old.tif"});
    const auto perms = std::filesystem::status(path("old.tif")).permissions();
    EXPECT_NE(perms & std::filesystem::perms::group_read, std::filesystem::perms::none)
        << "the temporary file's private mode leaked into the result";
}

TEST_F(WriteImage, FailuresReportAReasonLeaveNothingAndKeepTheExistingFile) {
    const cv::Mat image(4, 4, CV_8UC3, cv::Scalar::all(7));
    const std::pair<std::string, cv::Mat> failures[] = {{"empty.tif", cv::Mat()},
                                                        {"strange.xyz", image},
                                                        {"noextension", image},
                                                        {"no/such/folder/a.tif", image}};
    for (const auto& [name, img] : failures) {
        const WriteResult r = writeImage(path(name), img);
        EXPECT_FALSE(r.ok) << name;
        EXPECT_FALSE(r.error.empty()) << name;
        if (name.find('/') != std::string::npos) {
            EXPECT_NE(r.error.find(std::strerror(ENOENT)), std::string::npos)
                << "the system's reason: " << r.error;
        }
    }
    EXPECT_TRUE(entriesOf(dir_).empty());
    std::ofstream(path("keep.tif"), std::ios::binary) << "precious";
    EXPECT_FALSE(writeImage(path("keep.tif"), cv::Mat()).ok);
    EXPECT_EQ(fileText(path("keep.tif")), "precious");
}

// A cancel landing as any step begins ends the write there: no file, temporary or final, and an existing file
// of that name as it was. A stop request (keep what is done) lets the write finish.
TEST_F(WriteImage, ACancelledWriteEndsAtItsStepAndLeavesNothing) {
    QTemporaryDir sources;
    const std::string exifSource = sources.path().toStdString() + "/source.jpg";
    ASSERT_TRUE(writeImage(exifSource, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(90))).ok);
    const std::vector<WriteStep> steps = {WriteStep::Encode, WriteStep::WriteFile, WriteStep::CopyExif,
                                          WriteStep::Commit};
    const std::pair<const char*, int> formats[] = {
        {"jpg", 8}, {"hdr", 32}, {"tif", 16}, {"psd", 16}, {"bmp", 8}};
    for (const auto& [ext, bits] : formats) {
        const std::string name = std::string("keep.") + ext;
        std::ofstream(path(name), std::ios::binary) << "precious";
        for (std::size_t at = 0; at <= steps.size(); ++at) { // past the last step: a stop request only
            SCOPED_TRACE(name + " at step " + std::to_string(at));
            const bool cancel = at < steps.size();
            RunControl control;
            std::vector<WriteStep> seen;
            const auto hook = [&](WriteStep step) {
                seen.push_back(step);
                if (!cancel)
                    control.requestStop();
                else if (step == steps[at])
                    control.requestCancel();
            };
            const WriteResult r = saveImage(path(name), ramps(), bits, exifSource, 90, {&control, hook});
            EXPECT_EQ(r.canceled, cancel);
            EXPECT_EQ(r.ok, !cancel) << r.error;
            EXPECT_TRUE(r.error.empty()) << r.error;
            EXPECT_EQ(seen,
                      std::vector<WriteStep>(steps.begin(), steps.begin() + std::min(at + 1, steps.size())));
            EXPECT_EQ(entriesOf(dir_), std::vector<std::string>{name});
            EXPECT_EQ(fileText(path(name)) == "precious", cancel);
        }
        std::filesystem::remove(path(name));
    }
}

TEST_F(WriteImage, DevilWritesWhatTheOthersRefuse) {
    // FreeImage never writes BMP and OpenCV writes no float images: a float BMP is DevIL's, encoded in
    // memory.
    const cv::Mat source = ramps();
    const WriteResult r = writeImage(path("float.bmp"), source);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(fileText(path("float.bmp")).rfind("BM", 0), 0u);
    const cv::Mat back = readImage(path("float.bmp"));
    ASSERT_EQ(back.type(), CV_8UC3);
    cv::Mat expected;
    source.convertTo(expected, CV_8U, 255.0);
    EXPECT_LE(cv::norm(back, expected, cv::NORM_INF), 1.0) << "rows flipped or channels swapped";
}

} // namespace
