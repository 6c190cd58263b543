#pragma once
// Writes one exported image off the window's thread: depth conversion, encoding, the safe file replacement
// and the EXIF copy by the external tool, which may take seconds. The window keeps repainting meanwhile, and
// may cancel the write: a cancelled write ends at its next step without leaving a file.

#include "app/RunControl.h"
#include "export/HdrExport.h"
#include "imageio/ImageFile.h"

#include <QThread>
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

class ImageWriteThread : public QThread {
    Q_OBJECT
public:
    // `stepReached` runs on this thread as each step of the write begins (tests hold the write there).
    explicit ImageWriteThread(ImageWriteRequest request, std::function<void(WriteStep)> stepReached = {})
        : request_(std::move(request)), stepReached_(std::move(stepReached)) {}
    ~ImageWriteThread() override { wait(); } // a write is never left half done

    const ImageWriteRequest& request() const { return request_; }
    // Any thread: the write ends before its next step and leaves no file; one already renaming completes.
    void cancel() { control_.requestCancel(); }
    // Read after the thread finished.
    const WriteResult& result() const { return result_; }

protected:
    void run() override;

private:
    ImageWriteRequest request_;
    std::function<void(WriteStep)> stepReached_;
    RunControl control_;
    WriteResult result_;
};

} // namespace lumora
