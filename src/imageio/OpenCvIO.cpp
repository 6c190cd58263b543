#include "imageio/LibraryAdapters.h"

#include "imageio/CodecModule.h"

#include <opencv2/imgcodecs.hpp> // the flag and parameter names only; the code is in the codec module

#include <algorithm>
#include <cctype>

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

cv::Mat read(const std::string& path) {
    const codecs::Api* codec = codecs::api();
    return codec ? codec->read(path) : cv::Mat();
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
    const codecs::Api* codec = codecs::api(error);
    if (!codec)
        return false;
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
