#include "ui/ImageConversion.h"

#include "imageio/ImageFile.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace lumora {

QImage toQImage(const cv::Mat& image) {
    if (image.empty() || image.depth() != CV_8U)
        return {};
    cv::Mat converted;
    switch (image.channels()) {
    case 1:
        return QImage(image.data, image.cols, image.rows, int(image.step), QImage::Format_Grayscale8).copy();
    case 3:
        cv::cvtColor(image, converted, cv::COLOR_BGR2RGB);
        return QImage(converted.data, converted.cols, converted.rows, int(converted.step),
                      QImage::Format_RGB888)
            .copy();
    case 4:
        cv::cvtColor(image, converted, cv::COLOR_BGRA2RGBA);
        return QImage(converted.data, converted.cols, converted.rows, int(converted.step),
                      QImage::Format_RGBA8888)
            .copy();
    default:
        return {};
    }
}

QPixmap thumbnailPixmap(const cv::Mat& image, QSize box) {
    if (image.empty() || box.isEmpty())
        return {};
    const double scale = std::min(double(box.width()) / image.cols, double(box.height()) / image.rows);
    const cv::Size size(std::max(1, int(image.cols * scale)), std::max(1, int(image.rows * scale)));
    cv::Mat small;
    cv::resize(convertDepth(image, 8), small, size, 0, 0, cv::INTER_AREA);
    return QPixmap::fromImage(toQImage(small));
}

} // namespace lumora
