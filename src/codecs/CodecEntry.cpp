// The image-file codec module: OpenCV's imgcodecs behind the entry points the image input and output code
// loads on demand (imageio/CodecModule.h).

#include "imageio/CodecModule.h"

#include <opencv2/imgcodecs.hpp>

namespace {

using lumora::imageio::codecs::Api;

cv::Mat read(const std::string& path, int flags, std::string* error) {
    try {
        return cv::imread(path, flags);
    } catch (const cv::Exception& e) {
        *error = e.what();
        return {};
    }
}

bool haveReader(const std::string& path) {
    try {
        return cv::haveImageReader(path);
    } catch (const cv::Exception&) {
        return false;
    }
}

bool encode(const std::string& extension, const cv::Mat& image, const std::vector<int>& params,
            std::vector<unsigned char>* out, std::string* error) {
    try {
        if (cv::imencode(extension, image, *out, params) && !out->empty())
            return true;
        *error = "OpenCV: encoding " + extension + " failed";
    } catch (const cv::Exception& e) {
        *error = std::string("OpenCV: ") + e.what();
    } catch (const std::exception& e) {
        *error = std::string("OpenCV: ") + e.what();
    }
    return false;
}

bool haveWriter(const std::string& extension) {
    try {
        return cv::haveImageWriter(extension);
    } catch (const cv::Exception&) {
        return false;
    }
}

const Api kApi{lumora::imageio::codecs::kApiVersion, read, haveReader, encode, haveWriter};

} // namespace

extern "C" __attribute__((visibility("default"))) const Api* lumora_codecs_api() {
    return &kApi;
}
