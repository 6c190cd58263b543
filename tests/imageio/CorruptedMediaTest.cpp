// Damaged photos (HEIC and AVIF among them) and a damaged raw file through the real import path (a burst
// opened and read frame by frame, and readImage on each file): every file ends as unreadable or as a valid
// image, and none takes the test process down or holds it up.

#include "CorruptedMedia.h"
#include "HeifFiles.h"

#include "app/EventLog.h"
#include "imageio/ImageFile.h"
#include "imageio/ImageLimits.h"
#include "media/ImagesSequence.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using namespace lumora;
using namespace lumora::test;
using Clock = std::chrono::steady_clock;

constexpr int kMutants = 200;
// A damaged file may take a decoder to its timeout, never longer.
constexpr double kLongestReadSeconds = 65.0;

struct Tally {
    int unreadable = 0, valid = 0;
};

class CorruptedMedia : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // Unreadable frames are logged; the entries stay in the test's folder.
        setLogDirectory(dir_.path().toStdString() + "/");
    }
    void TearDown() override { setLogDirectory(""); }

    std::string path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

    // Judges one read; a result that is neither empty nor acceptable fails the test with the file's name.
    void judge(const cv::Mat& image, const std::string& file, Mutation mutation, Tally* tally,
               double seconds) {
        longest_ = std::max(longest_, seconds);
        EXPECT_LE(seconds, kLongestReadSeconds) << file << " took " << seconds << " s";
        if (image.empty()) {
            ++tally->unreadable;
            return;
        }
        EXPECT_TRUE(acceptableImage(image))
            << file << " (" << mutationName(mutation) << ") came back as " << image.cols << " x "
            << image.rows << " of type " << image.type();
        ++tally->valid;
    }

    enum class Paths { Burst, ReadImage, Both };

    // Writes the mutants of `base` as m000.ext..m199.ext, opens "a-base.ext" and the mutants as one burst
    // and reads every frame, and/or reads each mutant with readImage. Still formats run the two paths as
    // separate tests: a decoder hang costs a whole request timeout on each path. With `splitPaths` (the raw
    // file, slow to develop) each mutant goes through one of the two paths only.
    void run(const std::string& format, const std::string& extension, const std::string& baseFile,
             bool preview, bool splitPaths, Paths paths) {
        const bool viaBurst = paths != Paths::ReadImage, viaReadImage = paths != Paths::Burst;
        const Bytes base = readFileBytes(baseFile);
        ASSERT_FALSE(base.empty());
        const auto start = Clock::now();
        std::vector<std::string> files{baseFile};
        std::vector<Mutation> mutations;
        std::vector<std::string> mutants;
        for (int i = 0; i < kMutants; ++i) {
            const Mutant m = mutate(base, format, i);
            char name[32];
            std::snprintf(name, sizeof name, "m%03d.%s", i, extension.c_str());
            mutants.push_back(path(name));
            mutations.push_back(m.mutation);
            if (!splitPaths || i % 2 == 0) {
                ASSERT_TRUE(writeFileBytes(mutants.back(), m.bytes));
                files.push_back(mutants.back());
            }
        }

        Tally burst, direct;
        if (viaBurst) {
            ImagesSequence sequence(files);
            ASSERT_TRUE(sequence.ready()) << "the undamaged first file did not open the burst";
            ASSERT_EQ(sequence.frameCount(), int(files.size()));
            for (int frame = 1; frame < sequence.frameCount(); ++frame) {
                const int i = splitPaths ? 2 * (frame - 1) : frame - 1;
                const auto t0 = Clock::now();
                const cv::Mat image = sequence.getCvImageAt(frame, preview);
                judge(image, mutants[size_t(i)], mutations[size_t(i)], &burst,
                      std::chrono::duration<double>(Clock::now() - t0).count());
            }
        }
        for (int i = 0; viaReadImage && i < kMutants; ++i) {
            if (splitPaths) {
                if (i % 2 == 0)
                    continue;
                ASSERT_TRUE(writeFileBytes(mutants[size_t(i)], mutate(base, format, i).bytes));
            }
            const auto t0 = Clock::now();
            const cv::Mat image = readImage(mutants[size_t(i)], preview);
            judge(image, mutants[size_t(i)], mutations[size_t(i)], &direct,
                  std::chrono::duration<double>(Clock::now() - t0).count());
            if (splitPaths)
                std::remove(mutants[size_t(i)].c_str());
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_EQ(burst.unreadable + burst.valid + direct.unreadable + direct.valid,
                  splitPaths ? kMutants : (int(viaBurst) + int(viaReadImage)) * kMutants);

        std::printf(
            "[corrupted media] %-6s burst: %3d unreadable, %3d valid | readImage: %3d unreadable, %3d "
            "valid | %.1f s, slowest read %.2f s\n",
            format.c_str(), burst.unreadable, burst.valid, direct.unreadable, direct.valid, seconds,
            longest_);
        std::fflush(stdout);
    }

    QTemporaryDir dir_;
    double longest_ = 0.0;
};

// Each still format: the undamaged file reads back as the image written (exactly for lossless formats,
// within the codec's error otherwise), then its 200 mutants go through both paths.
void checkBaseImage(const cv::Mat& read, const cv::Mat& written, const std::string& format) {
    ASSERT_EQ(read.size(), written.size());
    ASSERT_EQ(read.type(), written.type());
    if (format == "jpeg" || format == "heic" || format == "avif") {
        // Quality 99 (95 for HEIC and AVIF) keeps brightness to a level or two; colour is subsampled, so the
        // per-channel noise only survives smoothed.
        cv::Mat a, b, diff;
        cv::cvtColor(read, a, cv::COLOR_BGR2GRAY);
        cv::cvtColor(written, b, cv::COLOR_BGR2GRAY);
        cv::absdiff(a, b, diff);
        EXPECT_LT(cv::mean(diff)[0], 3.0);
        cv::blur(read, a, cv::Size(8, 8));
        cv::blur(written, b, cv::Size(8, 8));
        cv::absdiff(a, b, diff);
        const cv::Scalar channels = cv::mean(diff);
        EXPECT_LT(std::max({channels[0], channels[1], channels[2]}), 3.0);
    } else if (format == "hdr") {
        // RGBE keeps 8 bits of mantissa against the largest channel of each pixel.
        for (int y = 0; y < read.rows; ++y)
            for (int x = 0; x < read.cols; ++x) {
                const cv::Vec3f a = read.at<cv::Vec3f>(y, x), b = written.at<cv::Vec3f>(y, x);
                const float largest = std::max({b[0], b[1], b[2]});
                for (int c = 0; c < 3; ++c)
                    ASSERT_LE(std::abs(a[c] - b[c]), largest / 128.0f + 1e-6f) << x << "," << y;
            }
    } else {
        EXPECT_EQ(cv::norm(read, written, cv::NORM_INF), 0.0);
    }
}

// `name/burst` or `name/readImage` as a test name.
std::string caseName(const ::testing::TestParamInfo<std::string>& info) {
    std::string n = info.param;
    n.erase(n.find('/'), 1);
    return n;
}

// One test per still format and path, so they run side by side; `name/burst` or `name/readImage`.
class CorruptedStill : public CorruptedMedia, public ::testing::WithParamInterface<std::string> {};

TEST_P(CorruptedStill, EveryMutantEndsUnreadableOrValid) {
    const std::string name = GetParam().substr(0, GetParam().find('/'));
    const auto& formats = stillFormats();
    const auto it =
        std::find_if(formats.begin(), formats.end(), [&](const StillFormat& f) { return name == f.name; });
    ASSERT_NE(it, formats.end());
    const cv::Mat written = baseImage(it->type);
    const std::string baseFile = path(std::string("a-base.") + it->extension);
    // OpenEXR light is written in full float, so it reads back exactly.
    LinearWriteOptions exact;
    exact.halfFloat = false;
    const WriteResult result =
        isLinearFormat(baseFile) ? writeLinearImage(baseFile, written, exact) : writeImage(baseFile, written);
    ASSERT_TRUE(result.ok) << result.error;
    checkBaseImage(readImage(baseFile), written, name);
    run(name, it->extension, baseFile, false, false,
        GetParam().find("/burst") != std::string::npos ? Paths::Burst : Paths::ReadImage);
}

std::vector<std::string> stillCases() {
    std::vector<std::string> cases;
    for (const StillFormat& f : stillFormats())
        for (const char* path : {"/burst", "/readImage"})
            cases.push_back(std::string(f.name) + path);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Formats, CorruptedStill, ::testing::ValuesIn(stillCases()), caseName);

// HEIC and AVIF photos, made by heif-enc from the same base image; libheif is not instrumented for the
// fuzzers, so these mutants are its main check.
class CorruptedHeif : public CorruptedMedia, public ::testing::WithParamInterface<std::string> {};

TEST_P(CorruptedHeif, EveryMutantEndsUnreadableOrValid) {
    if (!heifEncoderAvailable())
        GTEST_SKIP() << "heif-enc missing (install the Debian package libheif-examples)";
    const std::string format = GetParam().substr(0, GetParam().find('/'));
    const cv::Mat written = baseImage(CV_8UC3);
    const std::string png = path("base.png");
    const std::string baseFile = path("a-base." + format);
    ASSERT_TRUE(writeImage(png, written).ok);
    ASSERT_TRUE(heifEnc({QStringLiteral("-q"), QStringLiteral("95"), QString::fromStdString(png),
                         QStringLiteral("-o"), QString::fromStdString(baseFile)}));
    std::remove(png.c_str());
    checkBaseImage(readImage(baseFile), written, format);
    run(format, format, baseFile, false, false,
        GetParam().find("/burst") != std::string::npos ? Paths::Burst : Paths::ReadImage);
}

INSTANTIATE_TEST_SUITE_P(Formats, CorruptedHeif,
                         ::testing::Values("heic/burst", "heic/readImage", "avif/burst", "avif/readImage"),
                         caseName);

TEST_F(CorruptedMedia, CameraRaw) {
    const std::string raw = rawBaseFile();
    if (raw.empty())
        GTEST_SKIP() << "the sample raw file of rawtran-doc is not installed";
    // The preview decode: half size with the even-width rule, 16-bit BGR.
    const cv::Mat base = readImage(raw, true);
    ASSERT_EQ(base.type(), CV_16UC3);
    EXPECT_EQ(base.cols % 2, 0);
    EXPECT_NEAR(base.cols, 3522 / 2, 2);
    EXPECT_NEAR(base.rows, 2348 / 2, 2);
    // A copy named to sort before the mutants, so the burst opens on the undamaged file.
    const std::string copy = path("a-base.cr2");
    ASSERT_TRUE(writeFileBytes(copy, readFileBytes(raw)));
    run("raw", "cr2", copy, true, true, Paths::Both);
}

} // namespace
