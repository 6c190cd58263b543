#include "tonemap/Sharpening.h"

#include "tonemap/RowBands.h"

#include <opencv2/imgproc.hpp>

namespace lumora {

void zeroNegatives(cv::Mat& image, int workers) {
    CV_Assert(image.depth() == CV_32F);
    const int width = image.cols * image.channels();
    forRowBands(image.rows, width, workers, "zeroNegatives", [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            float* p = image.ptr<float>(y);
            for (int x = 0; x < width; ++x)
                if (!(p[x] > 0.f)) // also true for NaN
                    p[x] = 0.f;
        }
    });
}

cv::Mat sharpenImage(const cv::Mat& image, bool apply, float amount, int radius, int workers, double scale) {
    cv::Mat out;
    if (image.depth() == CV_32F)
        out = image.clone();
    else
        image.convertTo(out, CV_32F);
    zeroNegatives(out, workers);
    if (!apply || amount == 0.f || radius <= 1)
        return out; // a 1 x 1 Gaussian is the identity, and so is a zero weight
    const int side = radius % 2 == 1 ? radius : radius + 1; // the kernel side must be odd
    cv::Mat blurred;
    if (scale >= 1.0) {
        cv::GaussianBlur(out, blurred, cv::Size(side, side), 0, 0, cv::BORDER_REFLECT_101);
    } else {
        // The full size's sigma (OpenCV's rule for a side without a sigma) in the shrunk picture's pixels.
        // Below a quarter pixel the blur, and so the sharpening, no longer moves a sample visibly.
        const double sigma = (0.3 * ((side - 1) * 0.5 - 1) + 0.8) * scale;
        if (sigma < 0.25)
            return out;
        cv::GaussianBlur(out, blurred, cv::Size(), sigma, sigma, cv::BORDER_REFLECT_101);
    }
    cv::addWeighted(out, 1.0 + amount, blurred, -static_cast<double>(amount), 0.0, out);
    zeroNegatives(out, workers);
    return out;
}

} // namespace lumora
