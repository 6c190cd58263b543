#include "imageio/ImageFile.h"

#include "app/EventLog.h"
#include "app/SafeFile.h"
#include "imageio/ExifCopy.h"
#include "imageio/LibraryAdapters.h"

#include <opencv2/imgproc.hpp>

#include <chrono>

namespace lumora {

cv::Mat readImageInProcess(const std::string& path, bool preview) {
    if (path.empty())
        return {};
    if (isRawFile(path))
        return decodeRaw(path, preview);

    // Radiance files are read by Lumora's own reader, which is faster than the libraries' and checks every
    // count; OpenEXR light images only the OpenEXR library reads; HEIF photos only libheif reads; every
    // format one of OpenCV's decoders knows is OpenCV's alone, so its size limits stand before any
    // allocation. A file one of them refuses is not handed to the others.
    cv::Mat image;
    for (const auto reader : {&imageio::radiance::read, &imageio::exr::read, &imageio::heif::read,
                              &imageio::opencv::readWithinLimits}) {
        std::string why;
        switch (reader(path, &image, &why)) {
        case imageio::ReaderOutcome::Read: {
            // OpenCV's TIFF reader turns some pictures by their orientation tag (8-bit ones), whatever it is
            // asked; a tagged TIFF is kept as stored, as DevIL reads it (the exported copy's tag then
            // describes it). Its size has passed OpenCV's check by now.
            if (imageio::tiffOrientation(path) > 1) {
                const cv::Mat stored = imageio::devil::read(path);
                if (!stored.empty())
                    return stored;
            }
            // OpenCV hands back JPEG pixels as stored; they are turned upright, as the other readers do.
            return imageio::applyOrientation(image, imageio::jpegOrientation(path));
        }
        case imageio::ReaderOutcome::Refused:
            logError("readImage", path + ": " + why);
            return {};
        case imageio::ReaderOutcome::NotMine:
            break;
        }
    }

    // What is left (GIF, PSD, Targa, ...) only the older libraries read; they allocate what a header
    // declares, so checkImageFileBeforeDecoding parses those headers first.
    image = imageio::devil::read(path);
    if (image.empty())
        image = imageio::freeimage::read(path, preview);
    // The other readers drop alpha; frames from every reader must look alike to the stages that follow.
    if (image.channels() == 4)
        cv::cvtColor(image, image, cv::COLOR_BGRA2BGR);
    return image;
}

bool readerAppliesOrientation(const std::string& path) {
    // libheif always applies the file's own rotation and mirror, whatever the EXIF block says.
    return imageio::jpegOrientation(path) > 1 || imageio::heif::isHeif(path);
}

namespace {

// True when the write must end before `step`.
bool canceledAt(const WriteWatch& watch, WriteStep step) {
    if (watch.stepReached)
        watch.stepReached(step);
    return watch.control && watch.control->isCanceled();
}

WriteResult canceledWrite() {
    WriteResult result;
    result.canceled = true;
    return result;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The steps after encoding, shared by every format: the bytes to a temporary file beside the target, the
// EXIF copy into it, the rename into place.
WriteResult finishWrite(const std::string& path, const imageio::Bytes& bytes, const std::string& exifSource,
                        const std::string& keywords, const WriteWatch& watch, WriteResult result) {
    if (canceledAt(watch, WriteStep::WriteFile))
        return canceledWrite();
    auto start = Clock::now();
    // Removes its temporary file on every way out but the commit, a cancel included.
    PendingFile file(path);
    if (const Status written = file.write(bytes.data(), bytes.size()); !written) {
        result.error = written.reason();
        return result;
    }
    result.seconds.file = secondsSince(start);
    if (!exifSource.empty()) {
        if (canceledAt(watch, WriteStep::CopyExif))
            return canceledWrite();
        start = Clock::now();
        // Tags go into the temporary file, so the final name only ever holds the finished file.
        ExifCopyOptions options;
        options.pixelsAlreadyOriented = readerAppliesOrientation(exifSource);
        const ExifCopyResult exif = copyExif(exifSource, file.temporaryPath(), keywords, options);
        if (!exif.ok) {
            result.exifWarning = exif.error;
            logError("writeImage", "EXIF of " + exifSource + " not copied into " + path + ": " + exif.error);
        }
        result.seconds.exif = secondsSince(start);
    }
    if (canceledAt(watch, WriteStep::Commit))
        return canceledWrite();
    start = Clock::now();
    if (const Status committed = file.commit(); !committed) {
        result.error = committed.reason();
        return result;
    }
    result.seconds.file += secondsSince(start);
    result.ok = true;
    return result;
}

} // namespace

WriteResult writeImage(const std::string& path, const cv::Mat& image, const std::string& exifSource,
                       const std::string& keywords, int jpegQuality, const WriteWatch& watch) {
    WriteResult result;
    if (image.empty()) {
        result.error = "there is no image to write";
        return result;
    }
    const std::string ext = imageio::lowerExtension(path);
    if (ext.empty()) {
        result.error = path + " has no extension to choose a format by";
        return result;
    }

    const auto since = secondsSince;
    if (canceledAt(watch, WriteStep::Encode))
        return canceledWrite();
    // Encoded in memory first: a library that fails half-way must not leave a truncated file behind.
    auto start = Clock::now();
    imageio::Bytes bytes;
    std::string freeImageError, openCvError, devilError;
    // JPEGs go to Lumora's own writer first (OpenCV's bytes without loading OpenCV's codecs), then OpenCV
    // for the depths it converts: the same libjpeg settings (quality, 4:2:0, baseline) in half FreeImage's
    // time.
    const bool jpeg = ext == "jpg" || ext == "jpeg" || ext == "jpe";
    const bool encoded = (jpeg && imageio::jpeg::encode(image, jpegQuality, &bytes, &openCvError)) ||
                         (jpeg && imageio::opencv::encode(image, ext, jpegQuality, &bytes, &openCvError)) ||
                         imageio::freeimage::encode(image, ext, jpegQuality, &bytes, &freeImageError) ||
                         (!jpeg && imageio::opencv::encode(image, ext, jpegQuality, &bytes, &openCvError)) ||
                         imageio::devil::encode(image, ext, jpegQuality, &bytes, &devilError);
    if (!encoded) {
        result.error = "no image library could write " + path + " (" + freeImageError + "; " + openCvError +
                       "; " + devilError + ")";
        return result;
    }

    result.seconds.encode = since(start);
    return finishWrite(path, bytes, exifSource, keywords, watch, std::move(result));
}

WriteResult saveImage(const std::string& path, const cv::Mat& image, int bits, const std::string& exifSource,
                      int jpegQuality, const WriteWatch& watch) {
    const cv::Mat converted = convertDepth(image, bits);
    if (converted.empty() && !image.empty()) {
        WriteResult result;
        result.error = "this kind of image cannot be converted for writing";
        return result;
    }
    return writeImage(path, converted, exifSource, "Lumora", jpegQuality, watch);
}

bool isLinearFormat(const std::string& path) {
    const std::string ext = imageio::lowerExtension(path);
    return ext == "exr" || ext == "avif";
}

WriteResult writeLinearImage(const std::string& path, const cv::Mat& linearBgr,
                             const LinearWriteOptions& options, const std::string& exifSource,
                             const std::string& keywords, const WriteWatch& watch) {
    WriteResult result;
    if (linearBgr.empty()) {
        result.error = "there is no image to write";
        return result;
    }
    if (linearBgr.type() != CV_32FC3) {
        result.error = "only a three-channel float picture can be written in linear light";
        return result;
    }
    const std::string ext = imageio::lowerExtension(path);
    if (canceledAt(watch, WriteStep::Encode))
        return canceledWrite();
    const auto start = Clock::now();
    imageio::Bytes bytes;
    bool encoded = false;
    bool exr = ext == "exr";
    if (exr)
        encoded =
            imageio::exr::encode(linearBgr, options.halfFloat, options.whiteNits, &bytes, &result.error);
    else if (ext == "avif")
        encoded = imageio::avif::encode(linearBgr, options.transfer, options.peakNits, &bytes, &result.error);
    else
        result.error = path + " does not name a format that keeps linear light (exr, avif)";
    if (!encoded)
        return result;
    result.seconds.encode = secondsSince(start);
    // exiftool cannot write OpenEXR files; running it there would only fail.
    return finishWrite(path, bytes, exr ? std::string() : exifSource, keywords, watch, std::move(result));
}

} // namespace lumora
