#include "tonemap/OperatorSupport.h"

#include <opencv2/imgproc.hpp>

namespace lumora {

cv::Mat toFloat3(const cv::Mat& image) {
    if (image.empty())
        return {};
    if (image.type() == CV_32FC3)
        return image; // read in place: a 12 MP copy costs more than some operators' own work
    cv::Mat f;
    image.convertTo(f, CV_32F);
    switch (f.channels()) {
    case 3:
        return f;
    case 1: {
        cv::Mat out;
        cv::cvtColor(f, out, cv::COLOR_GRAY2BGR);
        return out;
    }
    case 4: {
        cv::Mat out;
        cv::cvtColor(f, out, cv::COLOR_BGRA2BGR);
        return out;
    }
    default:
        return {};
    }
}

} // namespace lumora
