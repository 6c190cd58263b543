#include "CounterFrames.h"

#include "CounterCode.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <string>

namespace lumora::testmedia {

namespace {

// Index as large digits in the upper part, white with a black outline so any tint leaves them readable.
void drawDigits(cv::Mat& img, int index) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d", index);
    const int font = cv::FONT_HERSHEY_SIMPLEX;
    const double unit = std::min(img.cols / countercode::kRefWidth, img.rows / countercode::kRefHeight);
    double fontScale = 3.2 * unit;
    const int thickness = std::max(2, static_cast<int>(8 * unit));
    int baseline = 0;
    cv::Size ts = cv::getTextSize(text, font, fontScale, thickness, &baseline);
    if (ts.width > img.cols * 0.9) { // four digits on narrow frames
        fontScale *= img.cols * 0.9 / ts.width;
        ts = cv::getTextSize(text, font, fontScale, thickness, &baseline);
    }
    const int areaBottom = static_cast<int>(img.rows * 150 / countercode::kRefHeight);
    const cv::Point org((img.cols - ts.width) / 2, (areaBottom + ts.height) / 2);
    cv::putText(img, text, org, font, fontScale, cv::Scalar::all(0),
                thickness + 2 * std::max(2, thickness / 2), cv::LINE_AA);
    cv::putText(img, text, org, font, fontScale, cv::Scalar::all(255), thickness, cv::LINE_AA);
}

// Tint that spells the index's decimal digits in the three channels: neighbouring frames always differ.
cv::Scalar tintFor(int index) {
    return cv::Scalar(40 + (index % 10) * 12, 40 + ((index / 10) % 10) * 12, 40 + ((index / 100) % 10) * 12);
}

} // namespace

cv::Mat renderCounterFrame(int index, cv::Size size) {
    cv::Mat img(size, CV_8UC3, tintFor(index));
    drawDigits(img, index);
    drawCounterCode(img, index);
    return img;
}

ScrollingCounter::ScrollingCounter(cv::Size size) : size_(size), period_(std::max(64, size.width / 6)) {
    // Diagonal stripes over a checker grid, one period repeated across the strip.
    strip_.create(size.height, size.width + period_, CV_8UC3);
    for (int y = 0; y < strip_.rows; ++y) {
        auto* row = strip_.ptr<cv::Vec3b>(y);
        for (int x = 0; x < strip_.cols; ++x) {
            const int px = x % period_;
            const bool stripe = ((px + y) / (period_ / 8)) % 2 == 0;
            const bool check = ((px / (period_ / 4)) + (y / (period_ / 4))) % 2 == 0;
            const uchar base = static_cast<uchar>(stripe ? 170 : 90);
            row[x] = check ? cv::Vec3b(base, static_cast<uchar>(base * 3 / 4), 60)
                           : cv::Vec3b(60, static_cast<uchar>(base * 3 / 4), base);
        }
    }
}

cv::Mat ScrollingCounter::frame(int index) const {
    const int offset = (index * 8) % period_;
    cv::Mat img = strip_(cv::Rect(offset, 0, size_.width, size_.height)).clone();
    drawDigits(img, index);
    drawCounterCode(img, index);
    return img;
}

} // namespace lumora::testmedia
