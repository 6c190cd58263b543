#include "ui/ImageWrite.h"

#include "app/EventLog.h"

#include <exception>

namespace lumora {

WriteResult writeExportImage(const ImageWriteRequest& request, RunControl& run,
                             const std::function<void(WriteStep)>& stepReached) {
    try {
        ExportPicture picture;
        picture.image = request.image;
        picture.kind = request.kind;
        picture.whiteLight = request.whiteLight;
        picture.light = request.light;
        picture.exposureStops = request.exposureStops;
        return exportPicture(request.path, picture, request.bits, request.hdr, request.exifSource,
                             request.jpegQuality, WriteWatch{&run, stepReached});
    } catch (const std::exception& e) {
        logError("ImageWrite", "Writing " + request.path + " failed: " + e.what());
        WriteResult failed;
        failed.error = e.what();
        return failed;
    }
}

} // namespace lumora
