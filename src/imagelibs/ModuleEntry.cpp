// The image-library module's entry point (imageio/ImageLibraries.h): the adapters of this folder behind one
// table, and the program's event log and worker pool behind the functions they call, so that the module
// keeps no log or pool of its own.

#include "app/EventLog.h"
#include "app/Parallel.h"
#include "imageio/ImageFile.h"
#include "imageio/ImageLibraries.h"
#include "imageio/LibraryAdapters.h"

namespace {

const lumora::imageio::libs::Host* gHost = nullptr;

} // namespace

namespace lumora {

void logError(const std::string& place, const std::string& message) {
    gHost->logError(place, message);
}

void logLibraryVersionNotice() {
    gHost->logLibraryVersionNotice();
}

int workerCount(WorkerUse use) {
    return gHost->workerCount(static_cast<int>(use));
}

bool parallelFor(int tasks, int workers, const char* place, const std::function<void(int task)>& body) {
    return gHost->parallelFor(tasks, workers, place, body);
}

} // namespace lumora

namespace {

namespace io = lumora::imageio;

int heifRead(const std::string& path, cv::Mat* image, std::string* error) {
    return static_cast<int>(io::heif::read(path, image, error));
}

int exrRead(const std::string& path, cv::Mat* image, std::string* error) {
    return static_cast<int>(io::exr::read(path, image, error));
}

const io::libs::Api kApi{io::libs::kApiVersion, io::devil::read,  io::devil::encode, io::freeimage::read,
                         io::freeimage::encode, io::heif::isHeif, heifRead,          exrRead,
                         io::exr::encode,       io::avif::encode, lumora::decodeRaw};

} // namespace

extern "C" __attribute__((visibility("default"))) const io::libs::Api*
lumora_imagelibs_api(const io::libs::Host* host) {
    gHost = host;
    return &kApi;
}
