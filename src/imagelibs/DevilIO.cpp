// DevIL adapter. DevIL keeps one bound image, its origin mode and its file callbacks process-wide, so every
// call below runs under one lock, and the callbacks are pointed at memory only for the length of one encode.

#include "app/EventLog.h"
#include "imageio/LibraryAdapters.h"

#include <IL/il.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace lumora::imageio::devil {
namespace {

std::mutex& devilMutex() {
    static std::mutex m;
    return m;
}

// Called with the lock held.
void initialise() {
    static bool done = false;
    if (done)
        return;
    ilInit();
    // Without a fixed origin DevIL hands some formats (BMP, TGA) over bottom-up.
    ilEnable(IL_ORIGIN_SET);
    ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
    done = true;
}

// Deletes the DevIL image when leaving the scope, whatever happens in between.
class ScopedImage {
public:
    ScopedImage() : name_(ilGenImage()) { ilBindImage(name_); }
    ~ScopedImage() { ilDeleteImage(name_); }
    ScopedImage(const ScopedImage&) = delete;
    ScopedImage& operator=(const ScopedImage&) = delete;

private:
    ILuint name_;
};

int depthFor(ILenum type) {
    switch (type) {
    case IL_UNSIGNED_BYTE:
        return CV_8U;
    case IL_BYTE:
        return CV_8S;
    case IL_UNSIGNED_SHORT:
        return CV_16U;
    case IL_SHORT:
        return CV_16S;
    case IL_INT:
        return CV_32S;
    case IL_FLOAT:
        return CV_32F;
    case IL_DOUBLE:
        return CV_64F;
    default:
        return -1;
    }
}

ILenum typeFor(int depth) {
    switch (depth) {
    case CV_8U:
        return IL_UNSIGNED_BYTE;
    case CV_8S:
        return IL_BYTE;
    case CV_16U:
        return IL_UNSIGNED_SHORT;
    case CV_16S:
        return IL_SHORT;
    case CV_32S:
        return IL_INT;
    case CV_32F:
        return IL_FLOAT;
    case CV_64F:
        return IL_DOUBLE;
    default:
        logError("DevIL", "Unrecognized OpenCv Type " + std::to_string(depth));
        return 0;
    }
}

// The bound image as a BGR (or one-channel) matrix; alpha is dropped.
cv::Mat boundImageToMat() {
    ILenum format = static_cast<ILenum>(ilGetInteger(IL_IMAGE_FORMAT));
    const ILenum type = static_cast<ILenum>(ilGetInteger(IL_IMAGE_TYPE));
    const int depth = depthFor(type);
    if (depth < 0)
        return {};
    // Palette indices and grey+alpha have no matrix layout of their own.
    if (format == IL_COLOUR_INDEX) {
        if (!ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE))
            return {};
        format = IL_RGB;
    } else if (format == IL_LUMINANCE_ALPHA) {
        if (!ilConvertImage(IL_LUMINANCE, type))
            return {};
        format = IL_LUMINANCE;
    }
    const int width = ilGetInteger(IL_IMAGE_WIDTH);
    const int height = ilGetInteger(IL_IMAGE_HEIGHT);
    const int bytesPerPixel = ilGetInteger(IL_IMAGE_BPP);
    const int bytesPerChannel = ilGetInteger(IL_IMAGE_BPC);
    const ILubyte* data = ilGetData();
    if (width <= 0 || height <= 0 || bytesPerChannel <= 0 || !data)
        return {};
    const int channels = bytesPerPixel / bytesPerChannel;
    if (channels < 1 || channels > 4)
        return {};

    cv::Mat mat(height, width, CV_MAKETYPE(depthFor(ilGetInteger(IL_IMAGE_TYPE)), channels));
    const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel);
    const bool bottomUp = ilGetInteger(IL_IMAGE_ORIGIN) != IL_ORIGIN_UPPER_LEFT;
    for (int y = 0; y < height; ++y)
        std::memcpy(mat.ptr(y), data + static_cast<std::size_t>(bottomUp ? height - 1 - y : y) * rowBytes,
                    rowBytes);

    cv::Mat bgr;
    switch (channels) {
    case 3:
        if (format == IL_BGR)
            return mat;
        cv::cvtColor(mat, bgr, cv::COLOR_RGB2BGR);
        return bgr;
    case 4:
        cv::cvtColor(mat, bgr, format == IL_BGRA ? cv::COLOR_BGRA2BGR : cv::COLOR_RGBA2BGR);
        return bgr;
    case 2:
        cv::extractChannel(mat, bgr, 0);
        return bgr;
    default:
        return mat;
    }
}

// Seekable in-memory file for DevIL's writers (some, like TIFF, seek back to patch headers).
struct MemorySink {
    Bytes* bytes = nullptr;
    std::size_t position = 0;

    void put(const void* data, std::size_t size) {
        if (size == 0)
            return; // DevIL writes empty blocks with a null pointer; memcpy must not see it
        if (position + size > bytes->size())
            bytes->resize(position + size);
        std::memcpy(bytes->data() + position, data, size);
        position += size;
    }
};
MemorySink* activeSink = nullptr; // only touched under the DevIL lock

ILHANDLE ILAPIENTRY sinkOpen(ILconst_string) {
    return activeSink;
}
void ILAPIENTRY sinkClose(ILHANDLE) {}
ILint ILAPIENTRY sinkPutc(ILubyte c, ILHANDLE h) {
    static_cast<MemorySink*>(h)->put(&c, 1);
    return c;
}
ILint ILAPIENTRY sinkSeek(ILHANDLE h, ILint offset, ILint origin) {
    auto* s = static_cast<MemorySink*>(h);
    const long base = origin == SEEK_CUR   ? long(s->position)
                      : origin == SEEK_END ? long(s->bytes->size())
                                           : 0;
    if (base + offset < 0)
        return -1;
    s->position = static_cast<std::size_t>(base + offset);
    return 0;
}
ILint ILAPIENTRY sinkTell(ILHANDLE h) {
    return static_cast<ILint>(static_cast<MemorySink*>(h)->position);
}
ILint ILAPIENTRY sinkWrite(const void* data, ILuint size, ILuint count, ILHANDLE h) {
    static_cast<MemorySink*>(h)->put(data, std::size_t(size) * count);
    return static_cast<ILint>(count);
}

} // namespace

cv::Mat read(const std::string& path) {
    std::lock_guard<std::mutex> lock(devilMutex());
    initialise();
    ScopedImage image;
    if (!ilLoadImage(path.c_str()))
        return {};
    if (ilGetInteger(IL_VERSION_NUM) < 178) {
        logLibraryVersionNotice();
        return {};
    }
    return boundImageToMat();
}

bool encode(const cv::Mat& image, const std::string& extension, int jpegQuality, Bytes* out,
            std::string* error) {
    const ILenum type = typeFor(image.depth());
    const int channels = image.channels();
    if (type == 0 || channels < 1 || channels > 4) {
        *error = "DevIL: unsupported image type";
        return false;
    }
    const ILenum format = channels == 1   ? IL_LUMINANCE
                          : channels == 2 ? IL_LUMINANCE_ALPHA
                          : channels == 3 ? IL_BGR
                                          : IL_BGRA;
    const std::string memoryName = "lumora-memory." + extension;

    std::lock_guard<std::mutex> lock(devilMutex());
    initialise();
    const ILenum fileType = ilTypeFromExt(memoryName.c_str());
    if (fileType == IL_TYPE_UNKNOWN) {
        *error = "DevIL: does not write ." + extension;
        return false;
    }
    ScopedImage bound;
    if (!ilTexImage(static_cast<ILuint>(image.cols), static_cast<ILuint>(image.rows), 1,
                    static_cast<ILubyte>(channels), format, type, nullptr)) {
        *error = "DevIL: cannot allocate the image";
        return false;
    }
    ILubyte* data = ilGetData();
    const std::size_t rowBytes = static_cast<std::size_t>(image.cols) * image.elemSize();
    const bool bottomUp = ilGetInteger(IL_IMAGE_ORIGIN) != IL_ORIGIN_UPPER_LEFT;
    for (int y = 0; y < image.rows; ++y)
        std::memcpy(data + static_cast<std::size_t>(bottomUp ? image.rows - 1 - y : y) * rowBytes,
                    image.ptr(y), rowBytes);

    ilEnable(IL_FILE_OVERWRITE);
    ilSetInteger(IL_JPG_QUALITY, std::clamp(jpegQuality, 1, 99));
    out->clear();
    MemorySink sink{out, 0};
    activeSink = &sink;
    ilSetWrite(sinkOpen, sinkClose, sinkPutc, sinkSeek, sinkTell, sinkWrite);
    const ILboolean saved = ilSave(fileType, memoryName.c_str());
    ilResetWrite();
    activeSink = nullptr;
    if (!saved || out->empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%04X", ilGetError());
        *error = "DevIL: encoding ." + extension + " failed (error " + code + ")";
        return false;
    }
    return true;
}

} // namespace lumora::imageio::devil
