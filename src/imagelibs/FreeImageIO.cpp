// FreeImage adapter: load flags per format, bitmap <-> matrix conversions, in-memory encoding.

#include "app/EventLog.h"
#include "imageio/LibraryAdapters.h"

#include <FreeImage.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace lumora::imageio::freeimage {
namespace {

// The last message FreeImage gave on this thread, instead of printing it: logged when a read fails, quoted
// when an encode fails.
thread_local std::string lastMessage;

void keepMessage(FREE_IMAGE_FORMAT, const char* message) {
    lastMessage = message ? message : "";
}

void initialise() {
    static std::once_flag once;
    std::call_once(once, [] {
        FreeImage_Initialise(FALSE);
        FreeImage_SetOutputMessage(keepMessage);
    });
}

struct BitmapDeleter {
    void operator()(FIBITMAP* b) const { FreeImage_Unload(b); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

struct MemoryDeleter {
    void operator()(FIMEMORY* m) const { FreeImage_CloseMemory(m); }
};

int loadFlags(FREE_IMAGE_FORMAT fif, bool preview) {
    switch (fif) {
    case FIF_JPEG:
        return preview ? (JPEG_ACCURATE | JPEG_EXIFROTATE) : JPEG_EXIFROTATE;
    case FIF_TARGA:
        return TARGA_LOAD_RGB888;
    case FIF_RAW:
        return preview ? (RAW_PREVIEW | RAW_HALFSIZE) : 0;
    default:
        return 0;
    }
}

int channelsOf(FIBITMAP* dib) {
    switch (FreeImage_GetImageType(dib)) {
    case FIT_BITMAP:
        switch (FreeImage_GetColorType(dib)) {
        case FIC_RGB:
            return 3;
        case FIC_RGBALPHA:
        case FIC_CMYK:
            return 4;
        default:
            return 1;
        }
    case FIT_COMPLEX:
        return 2;
    case FIT_RGB16:
    case FIT_RGBF:
        return 3;
    case FIT_RGBA16:
    case FIT_RGBAF:
        return 4;
    default:
        return 1;
    }
}

// Element depth of the matrix for a bitmap; -1 (after the message) when it has no counterpart.
int depthOf(FIBITMAP* dib, int channels) {
    switch (FreeImage_GetImageType(dib)) {
    case FIT_BITMAP: {
        const unsigned bpp = FreeImage_GetBPP(dib);
        switch (bpp / static_cast<unsigned>(channels)) {
        case 8:
            return CV_8U;
        case 16:
            return CV_16U;
        case 32:
            return CV_32F;
        default:
            logError("FreeImage", "Unrecognized depth " + std::to_string(bpp));
            return -1;
        }
    }
    case FIT_UINT16:
    case FIT_RGB16:
    case FIT_RGBA16:
        return CV_16U;
    case FIT_INT16:
        return CV_16S;
    case FIT_UINT32:
    case FIT_INT32:
        return CV_32S;
    case FIT_FLOAT:
    case FIT_RGBF:
    case FIT_RGBAF:
        return CV_32F;
    case FIT_DOUBLE:
    case FIT_COMPLEX:
        return CV_64F;
    default:
        logError("FreeImage", "Unrecognized type");
        return -1;
    }
}

// Palettes, fewer than 8 bits, 16-bit 555/565 packing and inverted grey have no matrix layout of their own;
// FreeImage expands them to plain 24 (or 32, keeping transparency) bits first.
Bitmap normalised(Bitmap dib) {
    if (FreeImage_GetImageType(dib.get()) != FIT_BITMAP)
        return dib;
    const unsigned bpp = FreeImage_GetBPP(dib.get());
    const FREE_IMAGE_COLOR_TYPE colour = FreeImage_GetColorType(dib.get());
    const bool plainGrey = bpp == 8 && colour == FIC_MINISBLACK;
    const bool plainColour = (bpp == 24 && colour == FIC_RGB) || (bpp == 32 && colour == FIC_RGBALPHA);
    if (plainGrey || plainColour)
        return dib;
    if (bpp == 32 && colour == FIC_RGB)
        return Bitmap(FreeImage_ConvertTo24Bits(dib.get()));
    if (colour == FIC_CMYK)
        return dib; // kept as four channels, as the type table says
    return Bitmap(FreeImage_IsTransparent(dib.get()) ? FreeImage_ConvertTo32Bits(dib.get())
                                                     : FreeImage_ConvertTo24Bits(dib.get()));
}

cv::Mat bitmapToMat(FIBITMAP* dib) {
    const int channels = channelsOf(dib);
    const int depth = depthOf(dib, channels);
    if (depth < 0)
        return {};
    const int width = static_cast<int>(FreeImage_GetWidth(dib));
    const int height = static_cast<int>(FreeImage_GetHeight(dib));
    cv::Mat mat(height, width, CV_MAKETYPE(depth, channels));
    const std::size_t rowBytes = static_cast<std::size_t>(width) * mat.elemSize();
    // FreeImage stores rows bottom-up.
    for (int y = 0; y < height; ++y)
        std::memcpy(mat.ptr(y), FreeImage_GetScanLine(dib, static_cast<int>(height - 1 - y)), rowBytes);

    // Little-endian FIT_BITMAP pixels are already BGR; the typed colour formats are RGB.
    const bool storedAsBgr = FI_RGBA_RED == 2 && FreeImage_GetImageType(dib) == FIT_BITMAP;
    if (!storedAsBgr && channels == 3)
        cv::cvtColor(mat, mat, cv::COLOR_RGB2BGR);
    else if (!storedAsBgr && channels == 4)
        cv::cvtColor(mat, mat, cv::COLOR_RGBA2BGRA);
    return mat;
}

FREE_IMAGE_TYPE typeFor(const cv::Mat& m) {
    const int c = m.channels();
    switch (m.depth()) {
    case CV_8U:
    case CV_8S:
        return FIT_BITMAP;
    case CV_16U:
        return c == 1 ? FIT_UINT16 : c == 3 ? FIT_RGB16 : c == 4 ? FIT_RGBA16 : FIT_UNKNOWN;
    case CV_16S:
        return FIT_INT16;
    case CV_32S:
        return FIT_INT32;
    case CV_32F:
        return c == 1 ? FIT_FLOAT : c == 3 ? FIT_RGBF : c == 4 ? FIT_RGBAF : FIT_UNKNOWN;
    case CV_64F:
        return c == 1 ? FIT_DOUBLE : c == 2 ? FIT_COMPLEX : FIT_UNKNOWN;
    default:
        return FIT_UNKNOWN;
    }
}

Bitmap matToBitmap(const cv::Mat& image, FREE_IMAGE_TYPE type) {
    const int bpp = static_cast<int>(8 * image.elemSize());
    Bitmap dib(FreeImage_AllocateT(type, image.cols, image.rows, bpp));
    if (!dib)
        return {};
    // The reordered copy must be a new matrix: converting into a header that shares the caller's pixels
    // would swap red and blue in the caller's image.
    cv::Mat source;
    const bool storedAsBgr = FI_RGBA_RED == 2 && type == FIT_BITMAP;
    if (storedAsBgr || (image.channels() != 3 && image.channels() != 4))
        source = image;
    else if (image.channels() == 3)
        cv::cvtColor(image, source, cv::COLOR_BGR2RGB);
    else if (!storedAsBgr && image.channels() == 4)
        cv::cvtColor(image, source, cv::COLOR_BGRA2RGBA);
    const std::size_t rowBytes = static_cast<std::size_t>(image.cols) * image.elemSize();
    for (int y = 0; y < image.rows; ++y)
        std::memcpy(FreeImage_GetScanLine(dib.get(), image.rows - 1 - y), source.ptr(y), rowBytes);
    return dib;
}

} // namespace

cv::Mat read(const std::string& path, bool preview) {
    initialise();
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path.c_str(), 0);
    if (fif == FIF_UNKNOWN)
        fif = FreeImage_GetFIFFromFilename(path.c_str());
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif))
        return {};
    lastMessage.clear();
    Bitmap dib(FreeImage_Load(fif, path.c_str(), loadFlags(fif, preview)));
    if (!dib) {
        // Its warnings on files it can read are noise (libtiff has dozens per TIFF); the reason for a file it
        // cannot read is worth keeping.
        if (!lastMessage.empty())
            logError("FreeImage", path + ": " + lastMessage);
        return {};
    }
    dib = normalised(std::move(dib));
    return dib ? bitmapToMat(dib.get()) : cv::Mat();
}

bool encode(const cv::Mat& image, const std::string& extension, int jpegQuality, Bytes* out,
            std::string* error) {
    initialise();
    const std::string name = "image." + extension;
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFIFFromFilename(name.c_str());
    // BMP files are always written by OpenCV.
    if (fif == FIF_UNKNOWN || fif == FIF_BMP || !FreeImage_FIFSupportsWriting(fif)) {
        *error = "FreeImage: does not write ." + extension;
        return false;
    }
    const FREE_IMAGE_TYPE type = typeFor(image);
    const int bpp = static_cast<int>(8 * image.elemSize());
    if (type == FIT_UNKNOWN || !FreeImage_FIFSupportsExportType(fif, type) ||
        (type == FIT_BITMAP && !FreeImage_FIFSupportsExportBPP(fif, bpp))) {
        *error = "FreeImage: cannot write this kind of image as ." + extension;
        return false;
    }
    Bitmap dib = matToBitmap(image, type);
    if (!dib) {
        *error = "FreeImage: out of memory";
        return false;
    }
    const int flags = fif == FIF_JPEG ? std::clamp(jpegQuality, 1, 100) : 0;
    std::unique_ptr<FIMEMORY, MemoryDeleter> memory(FreeImage_OpenMemory());
    lastMessage.clear();
    if (!memory || !FreeImage_SaveToMemory(fif, dib.get(), memory.get(), flags)) {
        *error =
            "FreeImage: encoding ." + extension + " failed" + (lastMessage.empty() ? "" : ": " + lastMessage);
        return false;
    }
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(memory.get(), &data, &size) || size == 0) {
        *error = "FreeImage: encoding ." + extension + " produced nothing";
        return false;
    }
    out->assign(data, data + size);
    return true;
}

} // namespace lumora::imageio::freeimage
