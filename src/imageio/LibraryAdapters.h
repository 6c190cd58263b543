#pragma once
// The image libraries behind readImage and writeImage, each behind the same small interface so the reader
// and the writer can try them in their fixed orders. Internal to the imageio library.

#include "imageio/HdrSignal.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace lumora::imageio {

using Bytes = std::vector<unsigned char>;

// What a reader that recognises its files by their bytes made of one. NotMine: the file is not of its kind
// (other readers may try). Refused: a file of its kind it will not decode (damaged, cut short, too large);
// no other reader is given it.
enum class ReaderOutcome { Read, NotMine, Refused };

// Lower-case text after the last '.' of the file name, "" when there is none.
std::string lowerExtension(const std::string& path);

// DevIL. Every call is serialised on one process-wide lock: DevIL keeps its bound image and its settings
// global.
namespace devil {
cv::Mat read(const std::string& path);
// Encodes in the format DevIL associates with `extension` (lower case, without the dot).
bool encode(const cv::Mat& image, const std::string& extension, int jpegQuality, Bytes* out,
            std::string* error);
} // namespace devil

// FreeImage; its warnings (libtiff prints dozens per TIFF) are kept away from the console.
namespace freeimage {
cv::Mat read(const std::string& path, bool preview);
// Refuses BMP on purpose: BMP files are written by OpenCV. `jpegQuality` is 1..100.
bool encode(const cv::Mat& image, const std::string& extension, int jpegQuality, Bytes* out,
            std::string* error);
} // namespace freeimage

// OpenCV's imgcodecs. Reads every file one of its decoders recognises by signature (JPEG, PNG, BMP, TIFF,
// WebP, JPEG 2000, Sun raster, PNM/PAM/PFM, Radiance), pixels as stored; OpenEXR is not its. Writes only 8-
// and 16-bit images (its float TIFF is lossy).
namespace opencv {
using Outcome = ReaderOutcome;
// Refused: beyond the size limits in effect (decode::setOpenCvLimits; checked on the header, before
// allocating), or undecodable.
Outcome readWithinLimits(const std::string& path, cv::Mat* image, std::string* why);
// The same, empty when it was not read.
cv::Mat read(const std::string& path);
bool encode(const cv::Mat& image, const std::string& extension, int jpegQuality, Bytes* out,
            std::string* error);
} // namespace opencv

// Lumora's own JPEG writer on libjpeg (JpegWriter.cpp): the bytes OpenCV's writer makes at `quality`
// (1..100), with 72 dots per inch stated; 8-bit grey or BGR pictures only.
namespace jpeg {
bool encode(const cv::Mat& image, int quality, Bytes* out, std::string* error);
} // namespace jpeg

// Lumora's own Radiance reader (RadianceReader.cpp): 32-bit RGBE, flat or run-length scanlines, the top row
// first; BGR floats out. Refused also for another pixel format or orientation; `*error` says why.
namespace radiance {
using Outcome = ReaderOutcome;
bool looksLikeRadiance(const unsigned char* data, std::size_t size);
Outcome decode(const unsigned char* data, std::size_t size, cv::Mat* image, std::string* error);
Outcome read(const std::string& path, cv::Mat* image, std::string* error);
} // namespace radiance

// HEIF, HEIC and AVIF through libheif (HeifReader.cpp), recognised by the brand in the file's first bytes:
// the primary image, already turned and mirrored as the file says; BGR, 8 bits, or 16 bits when the file
// stores more (its white stretched to 65535). An image beyond withinImageLimits() is refused before decoding.
namespace heif {
using Outcome = ReaderOutcome;
bool isHeif(const std::string& path);
Outcome read(const std::string& path, cv::Mat* image, std::string* error);
} // namespace heif

// OpenEXR (ExrIO.cpp). Writes R, G, B of a float BGR picture in half or float samples, stating the nits that
// 1.0 stands for when `whiteNits` > 0. Reads files recognised by their magic number into BGR floats; a data
// window beyond withinImageLimits() is refused before any pixel is allocated.
namespace exr {
inline bool looksLikeExr(const unsigned char* data, std::size_t size) {
    return size >= 4 && data[0] == 0x76 && data[1] == 0x2f && data[2] == 0x31 && data[3] == 0x01;
}
bool encode(const cv::Mat& linearBgr, bool halfSamples, double whiteNits, Bytes* out, std::string* error);
ReaderOutcome read(const std::string& path, cv::Mat* image, std::string* error);
} // namespace exr

// HDR AVIF through libheif's AV1 encoder (HdrAvifWriter.cpp): linear BT.709 light relative to diffuse white
// in, 10-bit BT.2020 PQ or HLG out with its nclx, content light level and mastering display boxes.
namespace avif {
bool encode(const cv::Mat& linearBgr, HdrTransfer transfer, double peakNits, Bytes* out, std::string* error);
} // namespace avif

// EXIF orientation (1..8) of a JPEG file, 0 when the file is not a JPEG or carries none.
int jpegOrientation(const std::string& path);
// Orientation tag of a TIFF file's first directory, 0 when it has none, -1 when it is no classic TIFF.
int tiffOrientation(const std::string& path);
// Turns stored pixels into the upright picture the orientation tag describes.
cv::Mat applyOrientation(const cv::Mat& image, int orientation);

} // namespace lumora::imageio
