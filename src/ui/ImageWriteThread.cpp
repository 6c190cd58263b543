#include "ui/ImageWriteThread.h"

#include "app/EventLog.h"

#include <exception>

namespace lumora {

void ImageWriteThread::run() {
    try {
        result_ = saveImage(request_.path, request_.image, request_.bits, request_.exifSource,
                            request_.jpegQuality, WriteWatch{&control_, stepReached_});
    } catch (const std::exception& e) {
        logError("ImageWriteThread", "Writing " + request_.path + " failed: " + e.what());
        result_ = WriteResult();
        result_.error = e.what();
    }
}

} // namespace lumora
