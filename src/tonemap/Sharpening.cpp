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

namespace {

// A float copy of `image` with negatives and NaN cut to 0, made band by band in one pass.
cv::Mat cleanCopy(const cv::Mat& image, int workers) {
    cv::Mat out(image.size(), CV_MAKETYPE(CV_32F, image.channels()));
    const int width = image.cols * image.channels();
    forRowBands(image.rows, width, workers, "sharpenImage", [&](int first, int end) {
        const cv::Range rows(first, end);
        cv::Mat band = out.rowRange(rows);
        if (image.depth() == CV_32F)
            image.rowRange(rows).copyTo(band);
        else
            image.rowRange(rows).convertTo(band, CV_32F);
        for (int y = 0; y < band.rows; ++y) {
            float* p = band.ptr<float>(y);
            for (int x = 0; x < width; ++x)
                if (!(p[x] > 0.f)) // also true for NaN
                    p[x] = 0.f;
        }
    });
    return out;
}

} // namespace

cv::Mat sharpenImage(const cv::Mat& image, bool apply, float amount, int radius, int workers, double scale) {
    cv::Mat clean = cleanCopy(image, workers);
    if (!apply || amount == 0.f || radius <= 1)
        return clean; // a 1 x 1 Gaussian is the identity, and so is a zero weight
    const int side = radius % 2 == 1 ? radius : radius + 1; // the kernel side must be odd
    cv::Size size(side, side);
    double sigma = 0.0;
    if (scale < 1.0) {
        // The full size's sigma (OpenCV's rule for a side without a sigma) in the shrunk picture's pixels.
        // Below a quarter pixel the blur, and so the sharpening, no longer moves a sample visibly.
        sigma = (0.3 * ((side - 1) * 0.5 - 1) + 0.8) * scale;
        if (sigma < 0.25)
            return clean;
        size = cv::Size();
    }
    // Blur, weigh and cut band by band: a band's blur reads the rows around it from the whole picture (the
    // border is only mirrored at the picture's own edges), so every sample is what the whole-picture blur
    // gives, and the blurred copy never exists at full size.
    cv::Mat out(clean.size(), clean.type());
    const int width = clean.cols * clean.channels();
    forRowBands(clean.rows, width, workers, "sharpenImage", [&](int first, int end) {
        const cv::Range rows(first, end);
        cv::Mat blurred;
        cv::GaussianBlur(clean.rowRange(rows), blurred, size, sigma, sigma, cv::BORDER_REFLECT_101);
        cv::Mat band = out.rowRange(rows);
        cv::addWeighted(clean.rowRange(rows), 1.0 + amount, blurred, -static_cast<double>(amount), 0.0, band);
        for (int y = 0; y < band.rows; ++y) {
            float* p = band.ptr<float>(y);
            for (int x = 0; x < width; ++x)
                if (!(p[x] > 0.f))
                    p[x] = 0.f;
        }
    });
    return out;
}

} // namespace lumora
