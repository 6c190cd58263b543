#pragma once
// The older image libraries (DevIL, FreeImage), libheif, LibRaw and OpenEXR, reached through a module loaded
// on first use (src/imagelibs): linked, they and the thirty libraries they need would be loaded at every
// start of every program, the decoding helper's included, though most runs use none of them. The functions of
// LibraryAdapters.h for these libraries load it when first called; callers see no difference.

#include "imageio/HdrSignal.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace lumora::imageio::libs {

using Bytes = std::vector<unsigned char>;

// What the module calls back into the program for: the event log and the worker pool, which must stay the
// program's own (one log file, one pool).
struct Host {
    void (*logError)(const std::string& place, const std::string& message);
    void (*logLibraryVersionNotice)();
    int (*workerCount)(int use);
    bool (*parallelFor)(int tasks, int workers, const char* place, const std::function<void(int)>& body);
};

// The module's entry points: those of LibraryAdapters.h (and decodeRaw) one for one, throwing nothing.
// `outcome` values are ReaderOutcome's.
struct Api {
    int version;
    cv::Mat (*devilRead)(const std::string& path);
    bool (*devilEncode)(const cv::Mat& image, const std::string& extension, int jpegQuality, Bytes* out,
                        std::string* error);
    cv::Mat (*freeimageRead)(const std::string& path, bool preview);
    bool (*freeimageEncode)(const cv::Mat& image, const std::string& extension, int jpegQuality, Bytes* out,
                            std::string* error);
    bool (*isHeif)(const std::string& path);
    int (*heifRead)(const std::string& path, cv::Mat* image, std::string* error);
    int (*exrRead)(const std::string& path, cv::Mat* image, std::string* error);
    bool (*exrEncode)(const cv::Mat& linearBgr, bool halfSamples, double whiteNits, Bytes* out,
                      std::string* error);
    bool (*avifEncode)(const cv::Mat& linearBgr, HdrTransfer transfer, double peakNits, Bytes* out,
                       std::string* error);
    cv::Mat (*decodeRaw)(const std::string& path, bool preview);
};

// Raised when the module and the program disagree about the structures above.
constexpr int kApiVersion = 1;
// The file name of the module, looked for beside the program and in the helper directory.
constexpr const char* kModuleFile = "liblumora_imagelibs.so";
// The symbol the module exports: extern "C" const Api* lumora_imagelibs_api(const Host* host).
constexpr const char* kEntryPoint = "lumora_imagelibs_api";

} // namespace lumora::imageio::libs
