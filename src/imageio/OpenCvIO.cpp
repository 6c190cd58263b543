#include "imageio/LibraryAdapters.h"

#include "imageio/CodecModule.h"

#include <opencv2/imgcodecs.hpp> // the flag and parameter names only; the code is in the codec module

#include <algorithm>
#include <cctype>
#include <fstream>

namespace lumora::imageio {

std::string lowerExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

namespace opencv {

Outcome readWithinLimits(const std::string& path, cv::Mat* image, std::string* why) {
    // OpenCV's OpenEXR reader is switched off in Debian's build unless asked for; EXR stays with the older
    // libraries and their header check.
    static const unsigned char kExr[] = {0x76, 0x2f, 0x31, 0x01};
    unsigned char magic[sizeof kExr] = {};
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(magic), sizeof magic);
    const Result<const codecs::Api*> loaded = codecs::api();
    if (!loaded) {
        // Nothing else may read OpenCV's formats unchecked.
        *why = "OpenCV's codecs cannot be loaded: " + loaded.reason();
        return Outcome::Refused;
    }
    const codecs::Api* codec = *loaded;
    if (std::equal(kExr, kExr + sizeof kExr, magic) || !codec->haveReader(path))
        return Outcome::NotMine;
    // Stored pixels for every format; JPEGs are turned upright by the caller, from the same tag that decides
    // whether the exported copy's orientation is reset.
    std::string error;
    *image =
        codec->read(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR | cv::IMREAD_IGNORE_ORIENTATION, &error);
    if (!error.empty()) {
        // What escapes imread is its size check (OPENCV_IO_MAX_IMAGE_*), made before the image is allocated.
        *why = "OpenCV refused it: " + error;
        return Outcome::Refused;
    }
    if (image->empty()) {
        *why = "OpenCV could not decode it";
        return Outcome::Refused;
    }
    return Outcome::Read;
}

cv::Mat read(const std::string& path) {
    cv::Mat image;
    std::string why;
    readWithinLimits(path, &image, &why);
    return image;
}

bool encode(const cv::Mat& image, const std::string& extension, int jpegQuality, Bytes* out,
            std::string* error) {
    if (image.depth() != CV_8U && image.depth() != CV_16U) {
        *error = "OpenCV: only 8- and 16-bit images are written";
        return false;
    }
    std::vector<int> params;
    if (extension == "jpg" || extension == "jpeg" || extension == "jpe")
        params = {cv::IMWRITE_JPEG_QUALITY, std::clamp(jpegQuality, 1, 100)};
    const Result<const codecs::Api*> loaded = codecs::api();
    if (!loaded) {
        *error = loaded.reason();
        return false;
    }
    const codecs::Api* codec = *loaded;
    try {
        if (!codec->haveWriter("." + extension)) {
            *error = "OpenCV: no writer for ." + extension;
            return false;
        }
        if (codec->encode("." + extension, image, params, out, error)) {
            // JPEGs state 72 dots per inch, as Lumora's JPEGs always have, rather than OpenCV's bare 1:1
            // aspect.
            static const unsigned char kJfif[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
            if (!params.empty() && out->size() > 18 &&
                std::equal(kJfif, kJfif + sizeof kJfif, out->begin())) {
                const unsigned char density[] = {1, 0, 72, 0, 72}; // units: inches; x, y big-endian
                std::copy(density, density + sizeof density, out->begin() + 13);
            }
            return true;
        }
    } catch (const cv::Exception& e) {
        *error = std::string("OpenCV: ") + e.what();
    }
    return false;
}

} // namespace opencv
} // namespace lumora::imageio
