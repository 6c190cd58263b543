#pragma once
// Image files in and out: reading photos and raw camera files into BGR matrices, the one depth conversion
// used for display and export, and writing that never leaves a partial file behind.

#include "app/RunControl.h"
#include "imageio/HdrSignal.h"

#include <opencv2/core.hpp>

#include <functional>
#include <string>

namespace lumora {

// Outcome of a write: ok, or the reason it failed (in the system's words where the system gave one).
struct WriteResult {
    bool ok = false;
    std::string error;
    // The image is on disk, but the EXIF copy did not happen (no exiftool, or a format it cannot write).
    std::string exifWarning;
    // Where the time went, for benchmarks: encoding in memory, writing and renaming the file, the EXIF copy.
    struct Timings {
        double encode = 0.0, file = 0.0, exif = 0.0;
    } seconds;
    // A cancel request ended the write: nothing was written, and that is no failure to tell anyone about.
    bool canceled = false;
    explicit operator bool() const { return ok; }
};

// The steps of a write, in order; CopyExif only when there is an EXIF source.
enum class WriteStep { Encode, WriteFile, CopyExif, Commit };

// Lets another thread cancel a write in progress: `control` is checked as each step begins, and a cancelled
// write leaves no file behind, temporary or final. A request arriving during the rename comes too late: the
// file is complete and the write succeeds. `stepReached`, when set, runs on the writing thread just before
// each check.
struct WriteWatch {
    const RunControl* control = nullptr;
    std::function<void(WriteStep)> stepReached;
};

// Reads an image file into a BGR matrix (one-channel images stay one channel); raw camera files are developed
// by LibRaw into 16-bit BGR. `preview` asks for the quick decode (raw files at half size). Empty on failure.
// The decoding runs in a lumora-decode helper process (see DecoderPool.h): a file that crashes, hangs or
// exhausts an image library makes this read fail, never Lumora.
cv::Mat readImage(const std::string& path, bool preview = false);

// The same chain of readers run in this process; only the decoding helper calls it.
cv::Mat readImageInProcess(const std::string& path, bool preview = false);

// Develops a raw camera file: 16-bit, 3-channel BGR with an even width; empty when LibRaw fails.
cv::Mat decodeRaw(const std::string& path, bool preview = false);

// True when the text after the last '.' of `path` is a raw camera extension (any letter case).
bool isRawFile(const std::string& path);

// True when readImage turns the pixels of `path` upright (a JPEG whose EXIF orientation is not the default,
// any HEIF photo),
// so the orientation tag must not travel with them into an exported copy.
bool readerAppliesOrientation(const std::string& path);

// Same size and channels, 8, 16 or 32 (float) bits per channel; fractions truncated, results capped at the
// target's maximum (float results at 1.0). Any other `bits` gives 8 bits.
cv::Mat convertDepth(const cv::Mat& image, int bits);

// Writes `image` to `path` in the format named by its extension, then copies the EXIF data of `exifSource`
// (when not empty) and adds `keywords`. The file appears only once complete; an existing file is replaced
// only on success. `jpegQuality` (1..100) applies to JPEG files.
WriteResult writeImage(const std::string& path, const cv::Mat& image, const std::string& exifSource = {},
                       const std::string& keywords = "Lumora", int jpegQuality = 99,
                       const WriteWatch& watch = {});

// convertDepth(image, bits), then writeImage with the keyword "Lumora".
WriteResult saveImage(const std::string& path, const cv::Mat& image, int bits,
                      const std::string& exifSource = {}, int jpegQuality = 99, const WriteWatch& watch = {});

// How a picture in linear light is written to the formats that keep light above white.
struct LinearWriteOptions {
    // HDR AVIF: the transfer, and the brightest light kept (highlights above it are clipped).
    HdrTransfer transfer = HdrTransfer::PQ;
    double peakNits = 1000.0;
    // OpenEXR: half (16-bit) or full float samples, and the nits 1.0 stands for (0: not stated).
    bool halfFloat = true;
    double whiteNits = 0.0;
};

// True when the extension of `path` names a format writeLinearImage writes: "exr", "avif".
bool isLinearFormat(const std::string& path);

// Writes a 32-bit float BGR picture in linear BT.709 light, 1.0 being diffuse white: OpenEXR keeps it as it
// is, HDR AVIF codes it at 10 bits in PQ or HLG. The same safe-write, cancel and EXIF steps as writeImage;
// OpenEXR files take no EXIF, so `exifSource` is ignored for them.
WriteResult writeLinearImage(const std::string& path, const cv::Mat& linearBgr,
                             const LinearWriteOptions& options, const std::string& exifSource = {},
                             const std::string& keywords = "Lumora", const WriteWatch& watch = {});

} // namespace lumora
