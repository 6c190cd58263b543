// Sizes read from headers without decoding, and the checks made before any decoder sees a file: files
// written by our own writers, hand-built headers declaring huge images (refused by our check or by the
// reader's own), paths that are not regular files, and headers cut short or damaged.

#include "imageio/ImageHeader.h"
#include "Crc32.h"
#include "ImageHeaderBytes.h"
#include "TestEnvironment.h"
#include "imageio/ImageFile.h"
#include "imageio/ImageLimits.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <random>

namespace {

using namespace lumora;
using namespace lumora::test;

// ---- byte builders -------------------------------------------------------------------------------------

void pngChunk(Bytes& b, const char* type, const Bytes& data) {
    be32(b, uint32_t(data.size()));
    const size_t start = b.size();
    put(b, type);
    b.insert(b.end(), data.begin(), data.end());
    be32(b, crc32(b.data() + start, b.size() - start));
}

// A well-formed PNG header (8-bit grey) for any declared size, followed by a token image stream.
Bytes pngDeclaring(uint32_t width, uint32_t height) {
    Bytes b;
    put(b, std::string("\x89PNG\r\n\x1a\n", 8));
    Bytes ihdr;
    be32(ihdr, width);
    be32(ihdr, height);
    for (uint8_t v : {8, 0, 0, 0, 0})
        ihdr.push_back(v);
    pngChunk(b, "IHDR", ihdr);
    pngChunk(b, "IDAT", Bytes{0x78, 0x9C, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01});
    pngChunk(b, "IEND", {});
    return b;
}

// A complete big-endian TIFF: one strip of 8-bit grey pixels; the sides are written as LONG.
Bytes bigEndianTiff(uint32_t width, uint32_t height) {
    const uint32_t pixels = width <= 64 && height <= 64 ? width * height : 16;
    Bytes b{'M', 'M', 0, 42};
    be32(b, 8);
    const uint16_t entries = 8;
    const uint32_t dataOffset = 8 + 2 + entries * 12 + 4;
    be16(b, entries);
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
        be16(b, tag);
        be16(b, type);
        be32(b, 1);
        be32(b, type == 3 ? value << 16 : value); // a SHORT sits in the first two bytes
    };
    entry(256, 4, width);
    entry(257, 4, height);
    entry(258, 3, 8);          // bits per sample
    entry(259, 3, 1);          // no compression
    entry(262, 3, 1);          // black is zero
    entry(273, 4, dataOffset); // strip offset
    entry(278, 4, height);     // rows per strip
    entry(279, 4, pixels);     // strip byte count
    be32(b, 0);                // no further directory
    for (uint32_t i = 0; i < pixels; ++i)
        b.push_back(uint8_t(i * 7));
    return b;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// ---- helpers -------------------------------------------------------------------------------------------

// The bytes placed so that the first byte past them is an inaccessible page: a probe that reads beyond
// the end faults at once instead of reading neighbouring memory.
class GuardedBytes {
public:
    explicit GuardedBytes(const Bytes& bytes) : size_(bytes.size()) {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        const size_t dataPages = std::max<size_t>(1, (size_ + page - 1) / page);
        mapped_ = (dataPages + 1) * page;
        void* base = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            std::abort();
        base_ = static_cast<unsigned char*>(base);
        if (mprotect(base_ + dataPages * page, page, PROT_NONE) != 0)
            std::abort();
        data_ = base_ + dataPages * page - size_;
        if (size_ > 0)
            std::memcpy(data_, bytes.data(), size_);
    }
    ~GuardedBytes() { munmap(base_, mapped_); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    std::optional<ImageDimensions> probe() const { return probeImageHeader(data_, size_); }

private:
    unsigned char* base_ = nullptr;
    unsigned char* data_ = nullptr;
    size_t size_ = 0, mapped_ = 0;
};

std::optional<ImageDimensions> probeGuarded(const Bytes& bytes) {
    return GuardedBytes(bytes).probe();
}

bool sameDimensions(const std::optional<ImageDimensions>& a, const std::optional<ImageDimensions>& b) {
    if (!a || !b)
        return !a && !b;
    return a->width == b->width && a->height == b->height && a->format == b->format;
}

std::string describe(const std::optional<ImageDimensions>& d) {
    return d ? d->format + " " + std::to_string(d->width) + " x " + std::to_string(d->height) : "nothing";
}

Bytes readAll(const std::string& path) {
    const std::string text = lumora::test::fileText(path);
    return Bytes(text.begin(), text.end());
}

// Runs `call` on its own thread; a call that does not return within the allowance is a failure, and
// `release` is then given the chance to unblock it so the test can finish.
template <typename T>
T withinSeconds(int seconds, std::function<T()> call, std::function<void()> release, const char* what) {
    auto result = std::async(std::launch::async, std::move(call));
    if (result.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
        ADD_FAILURE() << what << " blocked for more than " << seconds << " s";
        if (!release) {
            std::fprintf(stderr, "%s never returned; giving up on the test process\n", what);
            std::_Exit(3);
        }
        release();
    }
    return result.get();
}

class ImageHeader : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
    std::string write(const std::string& name, const Bytes& bytes) const {
        const std::string p = path(name);
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return p;
    }
    std::string log() const { return log_.text(); }

    QTemporaryDir dir_;
    lumora::test::LogCapture log_;
};

// ---- limits --------------------------------------------------------------------------------------------

TEST(ImageLimits, SidesAndPixelCountHaveInclusiveBounds) {
    EXPECT_TRUE(withinImageLimits(1, 1));
    EXPECT_TRUE(withinImageLimits(65535, 2048)); // 134,215,680 pixels
    EXPECT_FALSE(withinImageLimits(65535, 2049));
    EXPECT_TRUE(withinImageLimits(16384, 8192)); // exactly 2^27
    EXPECT_FALSE(withinImageLimits(16384, 8193));
    EXPECT_TRUE(withinImageLimits(65535, 1));
    EXPECT_FALSE(withinImageLimits(65536, 1));
    EXPECT_FALSE(withinImageLimits(1, 65536));
    EXPECT_FALSE(withinImageLimits(0, 10));
    EXPECT_FALSE(withinImageLimits(10, 0));
    EXPECT_FALSE(withinImageLimits(-10, 10));
    EXPECT_FALSE(withinImageLimits(10, -10));
    // Products that would wrap in 32 or 64 bits are still refused.
    EXPECT_FALSE(withinImageLimits(1LL << 32, 1LL << 32));
    EXPECT_FALSE(withinImageLimits(1LL << 62, 4));
    EXPECT_FALSE(withinImageLimits(-(1LL << 62), -(1LL << 62)));
}

// ---- files from our writers ----------------------------------------------------------------------------

struct WrittenFormat {
    const char *extension, *format;
    int type;
};

std::vector<WrittenFormat> writtenFormats() {
    // Only the formats left to DevIL and FreeImage have their headers parsed.
    return {{"psd", "psd", CV_8UC3}, {"exr", "exr", CV_32FC3}, {"gif", "gif", CV_8UC1}};
}

cv::Mat pattern(int width, int height, int type) {
    cv::Mat m(height, width, type);
    cv::randu(m, 0, CV_MAT_DEPTH(type) == CV_32F ? 1.0 : CV_MAT_DEPTH(type) == CV_16U ? 65535.0 : 255.0);
    return m;
}

TEST_F(ImageHeader, ProbeReadsTheSizeOfEveryFormatWeWrite) {
    // Odd, non-square sizes, one with sides above 255 so both bytes of each field matter.
    const std::vector<cv::Size> sizes{{37, 23}, {300, 5}, {6, 513}};
    for (const WrittenFormat& f : writtenFormats()) {
        for (const cv::Size size : sizes) {
            SCOPED_TRACE(std::string(f.extension) + " type " + std::to_string(f.type) + " " +
                         std::to_string(size.width) + "x" + std::to_string(size.height));
            const std::string file =
                path("img" + std::to_string(size.width) + "_" + std::to_string(f.type) + "." + f.extension);
            const WriteResult written = writeImage(file, pattern(size.width, size.height, f.type));
            ASSERT_TRUE(written.ok) << written.error;

            const auto fromFile = probeImageFile(file);
            ASSERT_TRUE(fromFile.has_value());
            EXPECT_EQ(fromFile->width, size.width);
            EXPECT_EQ(fromFile->height, size.height);
            EXPECT_EQ(fromFile->format, f.format);
            EXPECT_TRUE(sameDimensions(probeGuarded(readAll(file)), fromFile))
                << "memory and file probes differ";

            std::string reason;
            EXPECT_TRUE(checkImageFileBeforeDecoding(file, &reason)) << reason;
            // The decoders themselves (without the helper process around them) agree with the header.
            const cv::Mat decoded = readImageInProcess(file);
            if (std::string(f.extension) != "gif" || !decoded.empty()) {
                EXPECT_EQ(decoded.size(), size);
            }
        }
    }
}

TEST(ImageHeaderProbe, OtherContainersAndUnknownData) {
    EXPECT_TRUE(sameDimensions(probeGuarded(psdDeclaring(640, 480, 2)), ImageDimensions{640, 480, "psb"}));
    // A GIF frame reaching past its screen widens what a decoder has to hold.
    EXPECT_TRUE(
        sameDimensions(probeGuarded(gifDeclaring(10, 10, 5, 2, 20, 30)), ImageDimensions{25, 32, "gif"}));
    for (const std::string& s :
         std::vector<std::string>{"", "B", "hello, world", "RIFF....WEBPVP8 ", "8BP", "GIF8"})
        EXPECT_FALSE(probeGuarded(text(s)).has_value()) << s;
    EXPECT_FALSE(probeImageHeader(nullptr, 0).has_value());
}

TEST(ImageHeaderProbe, EndlessGifExtensionsEnd) {
    // A GIF of endless empty extension blocks.
    Bytes gif = gifDeclaring(8, 8, 0, 0, 8, 8);
    gif.resize(13 + 6);
    for (int i = 0; i < 100000; ++i)
        gif.insert(gif.end(), {0x21, 0xFE, 0x00});
    EXPECT_TRUE(sameDimensions(probeGuarded(gif), ImageDimensions{8, 8, "gif"}));
}

// ---- refusals ------------------------------------------------------------------------------------------

TEST_F(ImageHeader, HugeHeadersAreRefusedBeforeDecoding) {
    // One case per reader path (OpenCV's formats stand for all it reads, TIFF for its own path); `logged` is
    // what the log entry must hold: the size, where our header check refuses (formats left to DevIL and
    // FreeImage), or the reader's own check made before it allocates.
    const char* const openCv = "validateInputImageSize";
    struct Case {
        const char* name;
        Bytes bytes;
        bool ourCheck;
        const char* logged;
    };
    const std::vector<Case> cases{
        {"wide.png", pngDeclaring(70000, 10), false, openCv},
        {"motorola.tif", bigEndianTiff(100000, 2), false, openCv},
        {"sky.hdr", text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 70000 +X 10\n"), false, "out of bounds"},
        {"layers.psd", psdDeclaring(30000, 30000), true, "30000 x 30000"},
        {"screen.gif", gifDeclaring(65535, 65535, 0, 0, 1, 1), true, "65535 x 65535"},
        {"film.exr", exrWindow(-5, 0, 69995, 1), true, "70001 x 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = write(c.name, c.bytes);
        std::string reason;
        EXPECT_EQ(checkImageFileBeforeDecoding(file, &reason), !c.ourCheck) << reason;
        EXPECT_TRUE(readImage(file).empty());
        const std::string entries = log();
        EXPECT_NE(entries.find(file), std::string::npos) << entries;
        EXPECT_NE(entries.find(c.logged), std::string::npos) << entries;
    }
    // Zero sides are refused too; an image exactly at the limit is not, nor what no probe knows.
    std::string reason;
    EXPECT_FALSE(checkImageFileBeforeDecoding(write("empty.gif", gifDeclaring(0, 10, 0, 0, 0, 10)), &reason));
    EXPECT_NE(reason.find("0 x 10"), std::string::npos) << reason;
    EXPECT_TRUE(
        checkImageFileBeforeDecoding(write("edge.gif", gifDeclaring(65535, 2048, 0, 0, 1, 1)), &reason))
        << reason;
    EXPECT_FALSE(
        checkImageFileBeforeDecoding(write("over.gif", gifDeclaring(65535, 2049, 0, 0, 1, 1)), &reason));
    EXPECT_TRUE(checkImageFileBeforeDecoding(write("notes.txt", text("not an image")), &reason)) << reason;
    EXPECT_TRUE(checkImageFileBeforeDecoding(write("empty.jpg", {}), &reason)) << reason;
}

TEST_F(ImageHeader, OnlyRegularFilesReachTheDecoders) {
    std::string reason;
    const std::string missing = path("missing.jpg");
    EXPECT_FALSE(checkImageFileBeforeDecoding(missing, &reason));
    EXPECT_NE(reason.find(missing), std::string::npos) << reason;
    EXPECT_FALSE(checkImageFileBeforeDecoding(dir_.path().toStdString(), &reason));
    EXPECT_FALSE(reason.empty());

    // A FIFO: opening it to read would wait for a writer.
    const std::string fifo = path("frame.jpg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto releaseFifo = [fifo] {
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
    };
    EXPECT_FALSE(withinSeconds<bool>(
        10, [&] { return checkImageFileBeforeDecoding(fifo, &reason); }, releaseFifo, "checking a FIFO"));
    EXPECT_NE(reason.find(fifo), std::string::npos) << reason;
    EXPECT_TRUE(withinSeconds<cv::Mat>(
                    10, [&] { return readImage(fifo); }, releaseFifo, "reading a FIFO")
                    .empty());
    EXPECT_FALSE(probeImageFile(fifo).has_value());

    // A link to an endless device: followed, and refused as the device it is.
    const std::string zero = path("zero.png");
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    EXPECT_FALSE(withinSeconds<bool>(
        10, [&] { return checkImageFileBeforeDecoding(zero, &reason); }, nullptr, "checking /dev/zero"));
    EXPECT_NE(reason.find(zero), std::string::npos) << reason;
    EXPECT_TRUE(withinSeconds<cv::Mat>(
                    10, [&] { return readImage(zero); }, nullptr, "reading /dev/zero")
                    .empty());
    EXPECT_NE(log().find(zero), std::string::npos) << "refusal not logged with the file's name";

    // A link to a regular image is fine.
    const std::string image = write("real.pgm", text("P5 2 2 255\n\x01\x02\x03\x04"));
    const std::string link = path("link.pgm");
    ASSERT_EQ(symlink(image.c_str(), link.c_str()), 0);
    EXPECT_TRUE(checkImageFileBeforeDecoding(link, &reason)) << reason;
}

// ---- damaged headers -----------------------------------------------------------------------------------

TEST_F(ImageHeader, CutShortHeadersGiveNothingAndNeverReadPastTheEnd) {
    // Where the size is complete, for headers with a fixed layout: offset of the last byte of the size + 1.
    const std::pair<Bytes, size_t> cases[] = {
        {psdDeclaring(37, 23), 22},
        {gifDeclaring(37, 23, 0, 0, 37, 23), 11}, // the screen alone already tells the size
    };
    for (const auto& [bytes, sizeEnd] : cases) {
        const auto full = probeGuarded(bytes);
        ASSERT_TRUE(full.has_value());
        EXPECT_EQ(full->width, 37);
        EXPECT_EQ(full->height, 23);
        for (size_t n = 0; n <= std::min<size_t>(bytes.size(), sizeEnd + 64); ++n) {
            const auto cut = probeGuarded(Bytes(bytes.begin(), bytes.begin() + long(n)));
            if (n < sizeEnd)
                EXPECT_FALSE(cut.has_value()) << n << " bytes gave " << describe(cut);
            else
                EXPECT_TRUE(sameDimensions(cut, full)) << n << " bytes gave " << describe(cut);
        }
    }
}

TEST_F(ImageHeader, DamagedHeadersReadTheSameFromMemoryAndFromFile) {
    // Every written format, damaged at random in its first bytes: both readers must stay in bounds and agree.
    std::mt19937 random(20261206);
    std::vector<Bytes> originals;
    for (const WrittenFormat& f : writtenFormats()) {
        const std::string file = path(std::string("seed_") + std::to_string(f.type) + "." + f.extension);
        ASSERT_TRUE(writeImage(file, pattern(29, 17, f.type)).ok) << file;
        originals.push_back(readAll(file));
    }
    originals.push_back(gifDeclaring(9, 9, 1, 1, 4, 4));
    for (const Bytes& original : originals) {
        for (int i = 0; i < 150; ++i) {
            Bytes b = original;
            const size_t span = std::min<size_t>(b.size(), 600);
            const int edits = 1 + int(random() % 6);
            for (int e = 0; e < edits && span > 0; ++e) {
                // A flipped bit, a random byte, all ones or zero.
                const size_t at = random() % span;
                const uint32_t kind = random() % 4;
                b[at] = kind == 0   ? uint8_t(b[at] ^ (1u << (random() % 8)))
                        : kind == 1 ? uint8_t(random())
                        : kind == 2 ? 0xFF
                                    : 0;
            }
            if (random() % 4 == 0)
                b.resize(random() % (b.size() + 1));
            const auto fromMemory = probeGuarded(b);
            const auto fromFile = probeImageFile(write("damaged.bin", b));
            EXPECT_TRUE(sameDimensions(fromMemory, fromFile))
                << "memory: " << describe(fromMemory) << ", file: " << describe(fromFile);
        }
    }
}

} // namespace
