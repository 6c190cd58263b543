// OpenEXR light images through the OpenEXR library: written as R, G, B in half or full float with ZIP
// compression, BT.709 chromaticities and the nits that 1.0 stands for; read (RGB, luminance or
// luminance-chroma files, scanline or tiled) into BGR floats after the data window has been checked against
// Lumora's limits.

#include "app/Parallel.h"
#include "imageio/ImageLimits.h"
#include "imageio/LibraryAdapters.h"

#include <OpenEXR/ImfArray.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfRgbaFile.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <OpenEXR/ImfThreading.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

namespace lumora::imageio::exr {
namespace {

// OpenEXR's own worker pool; set once, from the same rule every heavy loop follows.
void startThreads() {
    static std::once_flag once;
    std::call_once(once, [] { Imf::setGlobalThreadCount(workerCount(WorkerUse::Waiting)); });
}

// The file in memory, so that the writer's safe-write steps apply as to every other format.
class MemoryStream : public Imf::OStream {
public:
    explicit MemoryStream(Bytes* out) : Imf::OStream("memory"), out_(out) { out_->clear(); }
    void write(const char c[], int n) override {
        if (n <= 0)
            return;
        const std::size_t end = pos_ + std::size_t(n);
        if (end > out_->size())
            out_->resize(end);
        std::memcpy(out_->data() + pos_, c, std::size_t(n));
        pos_ = end;
    }
    uint64_t tellp() override { return pos_; }
    void seekp(uint64_t pos) override { pos_ = std::size_t(pos); }

private:
    Bytes* out_;
    std::size_t pos_ = 0;
};

// Reads R, G and B of the file at `path` into the BGR floats of `bgr` (sized to the data window).
void readFloats(const std::string& path, const Imath::Box2i& window, cv::Mat& bgr) {
    Imf::InputFile file(path.c_str());
    const std::size_t xStride = sizeof(float) * 3, yStride = bgr.step[0];
    // Addressed by the data window's own coordinates.
    char* origin = reinterpret_cast<char*>(bgr.data) -
                   std::ptrdiff_t(window.min.x) * std::ptrdiff_t(xStride) -
                   std::ptrdiff_t(window.min.y) * std::ptrdiff_t(yStride);
    Imf::FrameBuffer frame;
    frame.insert("B", Imf::Slice(Imf::FLOAT, origin, xStride, yStride));
    frame.insert("G", Imf::Slice(Imf::FLOAT, origin + sizeof(float), xStride, yStride));
    frame.insert("R", Imf::Slice(Imf::FLOAT, origin + 2 * sizeof(float), xStride, yStride));
    file.setFrameBuffer(frame);
    file.readPixels(window.min.y, window.max.y);
}

} // namespace

bool encode(const cv::Mat& linearBgr, bool halfSamples, double whiteNits, Bytes* out, std::string* error) {
    if (linearBgr.empty() || linearBgr.type() != CV_32FC3) {
        *error = "OpenEXR: only a three-channel float picture is written";
        return false;
    }
    startThreads();
    // OpenEXR writes samples as the frame buffer holds them: half floats come from OpenCV's own conversion
    // (IEEE binary16, round to nearest even, as OpenEXR's half).
    cv::Mat pixels;
    if (halfSamples)
        linearBgr.convertTo(pixels, CV_16F);
    else
        pixels = linearBgr.isContinuous() ? linearBgr : linearBgr.clone();
    try {
        Imf::Header header(pixels.cols, pixels.rows);
        const Imf::PixelType type = halfSamples ? Imf::HALF : Imf::FLOAT;
        for (const char* name : {"R", "G", "B"})
            header.channels().insert(name, Imf::Channel(type));
        header.compression() = Imf::ZIP_COMPRESSION;
        Imf::addChromaticities(header, Imf::Chromaticities()); // BT.709 primaries, D65
        if (whiteNits > 0.0)
            Imf::addWhiteLuminance(header, float(whiteNits));
        char* base = reinterpret_cast<char*>(pixels.data);
        const std::size_t sample = pixels.elemSize1(), xStride = sample * 3, yStride = pixels.step[0];
        Imf::FrameBuffer frame;
        frame.insert("B", Imf::Slice(type, base, xStride, yStride));
        frame.insert("G", Imf::Slice(type, base + sample, xStride, yStride));
        frame.insert("R", Imf::Slice(type, base + 2 * sample, xStride, yStride));
        MemoryStream stream(out);
        Imf::OutputFile file(stream, header);
        file.setFrameBuffer(frame);
        file.writePixels(pixels.rows);
    } catch (const std::exception& e) {
        *error = std::string("OpenEXR: ") + e.what();
        return false;
    }
    return true;
}

ReaderOutcome read(const std::string& path, cv::Mat* image, std::string* error) {
    std::array<unsigned char, 4> start{};
    {
        std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
        if (!file || std::fread(start.data(), 1, start.size(), file.get()) != start.size())
            return ReaderOutcome::NotMine;
    }
    if (!looksLikeExr(start.data(), start.size()))
        return ReaderOutcome::NotMine;
    startThreads();
    try {
        Imf::RgbaInputFile file(path.c_str());
        const Imath::Box2i window = file.dataWindow();
        const long long width = (long long)window.max.x - window.min.x + 1;
        const long long height = (long long)window.max.y - window.min.y + 1;
        // Offsets this far out are no picture's; they would only push the buffer's origin out of reach.
        constexpr int kMaxOrigin = 1 << 24;
        if (std::abs(window.min.x) > kMaxOrigin || std::abs(window.min.y) > kMaxOrigin) {
            *error = "the data window lies too far from the origin";
            return ReaderOutcome::Refused;
        }
        if (!withinImageLimits(width, height)) {
            *error = "the image declares " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels, more than Lumora decodes";
            return ReaderOutcome::Refused;
        }
        if (!(file.channels() & Imf::WRITE_RGB) && !(file.channels() & Imf::WRITE_Y)) {
            *error = "the file holds no colour or luminance channels";
            return ReaderOutcome::Refused;
        }
        cv::Mat bgr(int(height), int(width), CV_32FC3);
        const Imf::ChannelList& channels = file.header().channels();
        if (channels.findChannel("R") && channels.findChannel("G") && channels.findChannel("B")) {
            // Colour channels straight into floats, half or float in the file alike: no precision lost.
            readFloats(path, window, bgr);
        } else {
            // Luminance and luminance-chroma files through OpenEXR's RGBA reading, which converts them.
            Imf::Array2D<Imf::Rgba> rgba(height, width);
            // The buffer is addressed by the data window's own coordinates.
            file.setFrameBuffer(&rgba[0][0] - window.min.x - window.min.y * width, 1, std::size_t(width));
            file.readPixels(window.min.y, window.max.y);
            for (int y = 0; y < bgr.rows; ++y) {
                float* row = bgr.ptr<float>(y);
                for (int x = 0; x < bgr.cols; ++x) {
                    const Imf::Rgba& p = rgba[y][x];
                    row[3 * x] = float(p.b);
                    row[3 * x + 1] = float(p.g);
                    row[3 * x + 2] = float(p.r);
                }
            }
        }
        // Infinities and NaNs become 0: no later stage can make sense of them.
        cv::patchNaNs(bgr, 0.0);
        cv::min(bgr, std::numeric_limits<float>::max(), bgr);
        cv::max(bgr, -std::numeric_limits<float>::max(), bgr);
        *image = bgr;
        return ReaderOutcome::Read;
    } catch (const std::exception& e) {
        *error = std::string("OpenEXR: ") + e.what();
        return ReaderOutcome::Refused;
    }
}

} // namespace lumora::imageio::exr
