#include "ui/ImageWriteThread.h"

#include "app/EventLog.h"

#include <exception>

namespace lumora {

void ImageWriteThread::run() {
    try {
        ExportPicture picture;
        picture.image = request_.image;
        picture.kind = request_.kind;
        picture.whiteLight = request_.whiteLight;
        picture.light = request_.light;
        picture.exposureStops = request_.exposureStops;
        result_ = exportPicture(request_.path, picture, request_.bits, request_.hdr, request_.exifSource,
                                request_.jpegQuality, WriteWatch{&control_, stepReached_});
    } catch (const std::exception& e) {
        logError("ImageWriteThread", "Writing " + request_.path + " failed: " + e.what());
        result_ = WriteResult();
        result_.error = e.what();
    }
}

} // namespace lumora
