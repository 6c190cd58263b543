#include "ui/ExposureHighlight.h"

#include <opencv2/imgproc.hpp>

namespace lumora {

cv::Mat highlightExposure(const cv::Mat& image, bool over, bool under, int overLimitPercent,
                          int underLimitPercent) {
    if ((!over && !under) || image.empty() || image.depth() != CV_8U)
        return image;
    cv::Mat bgr;
    if (image.channels() == 1)
        cv::cvtColor(image, bgr, cv::COLOR_GRAY2BGR);
    else
        bgr = image.clone();
    markExposure(bgr, over, under, overLimitPercent, underLimitPercent);
    return bgr;
}

void markExposure(cv::Mat& bgr, bool over, bool under, int overLimitPercent, int underLimitPercent) {
    if ((!over && !under) || bgr.type() != CV_8UC3)
        return;
    const int overLevel = overLimitPercent * 255 / 100;
    const int underLevel = underLimitPercent * 255 / 100;
    for (int y = 0; y < bgr.rows; ++y) {
        auto* p = bgr.ptr<cv::Vec3b>(y);
        for (int x = 0; x < bgr.cols; ++x) {
            const int mean = (p[x][0] + p[x][1] + p[x][2]) / 3;
            if (over && mean >= overLevel)
                p[x] = cv::Vec3b(150, 150, 255);
            else if (under && mean <= underLevel)
                p[x] = cv::Vec3b(0, 0, 110);
        }
    }
}

} // namespace lumora
