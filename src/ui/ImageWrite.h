#pragma once
// Writes one exported image: depth conversion, encoding, the safe file replacement and the EXIF copy by the
// external tool, which may take seconds, so the window runs it in the background. A write cancelled through
// its control ends at its next step without leaving a file.

#include "app/RunControl.h"
#include "export/HdrExport.h"
#include "imageio/ImageFile.h"

#include <opencv2/core.hpp>

#include <functional>
#include <string>

namespace lumora {

struct ImageWriteRequest {
    std::string path;
    cv::Mat image;
    int bits = 8;
    std::string exifSource; // empty: no EXIF copy
    int jpegQuality = 99;
    // For the formats that keep light above white: what the image is, the light it was rendered from (see
    // ExportPicture) and the user's HDR choices.
    ExportPicture::Kind kind = ExportPicture::Kind::Display;
    double whiteLight = 1.0;
    cv::Mat light;
    float exposureStops = 0.f;
    HdrChoices hdr;
};

// Writes `request` on the calling thread; `stepReached` runs as each step begins (tests hold the write
// there). A cancel on `run` ends the write before its next step and leaves no file; one already renaming
// completes. Never throws: an exception becomes a failed result with its text.
WriteResult writeExportImage(const ImageWriteRequest& request, RunControl& run,
                             const std::function<void(WriteStep)>& stepReached = {});

} // namespace lumora
