#pragma once
// OpenCV's image-file codecs, reached through a module loaded on first use: the codec library pulls in GDAL
// and a hundred more shared libraries, whose loading would otherwise delay every start of every program.

#include "app/Status.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace lumora::imageio::codecs {

// The module's entry points. Nothing throws across them: failures come back as an empty image or false.
struct Api {
    int version;
    // The file read with imread's `flags`; empty when it cannot be read, with *error set when OpenCV refused
    // it (its size limits, checked before allocating).
    cv::Mat (*read)(const std::string& path, int flags, std::string* error);
    // True when one of OpenCV's decoders recognises the file's signature.
    bool (*haveReader)(const std::string& path);
    // `extension` with its dot; `params` as OpenCV's writers take them. False with *error on failure.
    bool (*encode)(const std::string& extension, const cv::Mat& image, const std::vector<int>& params,
                   std::vector<unsigned char>* out, std::string* error);
    bool (*haveWriter)(const std::string& extension);
};

// Raised when the module and the program disagree about the entry points above.
constexpr int kApiVersion = 2;
// The file name of the module, looked for beside the program and in the helper directory.
constexpr const char* kModuleFile = "liblumora_codecs.so";
// The symbol the module exports: extern "C" const Api* lumora_codecs_api().
constexpr const char* kEntryPoint = "lumora_codecs_api";

// The loaded module, or the reason it could not be loaded (the event log has it too). Loads once; safe on
// any thread.
Result<const Api*> api();

} // namespace lumora::imageio::codecs
