// The program's side of the image-library module (ImageLibraries.h): the adapters' functions, each loading
// the module when first called, and the cheap checks that keep it unloaded for files none of its libraries
// would take (an OpenEXR file's magic number, a HEIF file's "ftyp" box, a raw file's extension).

#include "imageio/ImageLibraries.h"

#include "app/EventLog.h"
#include "app/Parallel.h"
#include "imageio/ImageFile.h"
#include "imageio/LibraryAdapters.h"
#include "imageio/ProgramModule.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>

namespace lumora {
namespace imageio {
namespace {

const libs::Host kHost{[](const std::string& place, const std::string& message) { logError(place, message); },
                       [] { logLibraryVersionNotice(); },
                       [](int use) { return workerCount(static_cast<WorkerUse>(use)); },
                       [](int tasks, int workers, const char* place, const std::function<void(int)>& body) {
                           return parallelFor(tasks, workers, place, body);
                       }};

// The module, or why it is missing (logged once). Loads once; safe on any thread.
const ModuleTable<libs::Api>& module() {
    static const ModuleTable<libs::Api> loaded = [] {
        ModuleTable<libs::Api> l = loadModuleTable<libs::Api>(libs::kModuleFile, libs::kEntryPoint,
                                                              libs::kApiVersion, "an image-library", &kHost);
        if (!l.api)
            logError("imageio", l.error);
        return l;
    }();
    return loaded;
}

// The first `size` bytes of the file (fewer when it is shorter).
std::array<unsigned char, 12> fileStart(const std::string& path, std::size_t* got) {
    std::array<unsigned char, 12> start{};
    std::ifstream file(path, std::ios::binary);
    file.read(reinterpret_cast<char*>(start.data()), std::streamsize(start.size()));
    *got = file ? start.size() : std::size_t(std::max<std::streamsize>(0, file.gcount()));
    return start;
}

// Every HEIF file (and every ISO media file) starts with its "ftyp" box; libheif decides on the brands.
bool mayBeHeif(const std::string& path) {
    std::size_t got = 0;
    const auto start = fileStart(path, &got);
    return got >= 12 && std::equal(start.begin() + 4, start.begin() + 8, "ftyp");
}

ReaderOutcome refusedWithoutModule(std::string* error) {
    *error = "the image libraries cannot be loaded: " + module().error;
    return ReaderOutcome::Refused;
}

} // namespace

namespace devil {
cv::Mat read(const std::string& path) {
    return module().api ? module().api->devilRead(path) : cv::Mat();
}
bool encode(const cv::Mat& image, const std::string& extension, int jpegQuality, Bytes* out,
            std::string* error) {
    if (!module().api) {
        *error = "DevIL: " + module().error;
        return false;
    }
    return module().api->devilEncode(image, extension, jpegQuality, out, error);
}
} // namespace devil

namespace freeimage {
cv::Mat read(const std::string& path, bool preview) {
    return module().api ? module().api->freeimageRead(path, preview) : cv::Mat();
}
bool encode(const cv::Mat& image, const std::string& extension, int jpegQuality, Bytes* out,
            std::string* error) {
    if (!module().api) {
        *error = "FreeImage: " + module().error;
        return false;
    }
    return module().api->freeimageEncode(image, extension, jpegQuality, out, error);
}
} // namespace freeimage

namespace heif {
bool isHeif(const std::string& path) {
    return mayBeHeif(path) && module().api && module().api->isHeif(path);
}
Outcome read(const std::string& path, cv::Mat* image, std::string* error) {
    if (!mayBeHeif(path))
        return Outcome::NotMine;
    if (!module().api)
        return refusedWithoutModule(error);
    return static_cast<Outcome>(module().api->heifRead(path, image, error));
}
} // namespace heif

namespace exr {
ReaderOutcome read(const std::string& path, cv::Mat* image, std::string* error) {
    std::size_t got = 0;
    const auto start = fileStart(path, &got);
    if (!looksLikeExr(start.data(), got))
        return ReaderOutcome::NotMine;
    if (!module().api)
        return refusedWithoutModule(error);
    return static_cast<ReaderOutcome>(module().api->exrRead(path, image, error));
}
bool encode(const cv::Mat& linearBgr, bool halfSamples, double whiteNits, Bytes* out, std::string* error) {
    if (!module().api) {
        *error = "OpenEXR: " + module().error;
        return false;
    }
    return module().api->exrEncode(linearBgr, halfSamples, whiteNits, out, error);
}
} // namespace exr

namespace avif {
bool encode(const cv::Mat& linearBgr, HdrTransfer transfer, double peakNits, Bytes* out, std::string* error) {
    if (!module().api) {
        *error = "libheif: " + module().error;
        return false;
    }
    return module().api->avifEncode(linearBgr, transfer, peakNits, out, error);
}
} // namespace avif

} // namespace imageio

namespace {

constexpr std::array<const char*, 38> kRawExtensions = {
    "3fr", "ari", "arw", "bay", "crw", "cr2", "cap", "dcs", "dcr", "dng", "drf", "eip", "erf",
    "fff", "iiq", "k25", "kdc", "mdc", "mef", "mos", "mrw", "nef", "nrw", "obm", "orf", "pef",
    "ptx", "pxn", "r3d", "raf", "raw", "rwl", "rw2", "rwz", "sr2", "srf", "srw", "x3f"};

} // namespace

bool isRawFile(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return std::any_of(kRawExtensions.begin(), kRawExtensions.end(), [&](const char* e) { return ext == e; });
}

cv::Mat decodeRaw(const std::string& path, bool preview) {
    return imageio::module().api ? imageio::module().api->decodeRaw(path, preview) : cv::Mat();
}

} // namespace lumora
