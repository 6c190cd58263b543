#pragma once
// Writes one exported image off the window's thread: depth conversion, encoding, the safe file replacement
// and the EXIF copy by the external tool, which may take seconds. The window keeps repainting meanwhile.

#include "imageio/ImageFile.h"

#include <QThread>
#include <opencv2/core.hpp>

#include <string>

namespace lumora {

struct ImageWriteRequest {
    std::string path;
    cv::Mat image;
    int bits = 8;
    std::string exifSource; // empty: no EXIF copy
    int jpegQuality = 99;
};

class ImageWriteThread : public QThread {
    Q_OBJECT
public:
    explicit ImageWriteThread(ImageWriteRequest request) : request_(std::move(request)) {}
    ~ImageWriteThread() override { wait(); } // a write is never left half done

    const ImageWriteRequest& request() const { return request_; }
    // Read after the thread finished.
    const WriteResult& result() const { return result_; }

protected:
    void run() override;

private:
    ImageWriteRequest request_;
    WriteResult result_;
};

} // namespace lumora
