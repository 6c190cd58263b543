#include "tonemap/RenderSteps.h"

#include "tonemap/RowBands.h"
#include "tonemap/ToneMapParams.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

struct Extent {
    double minX, maxX, minY, maxY;
};

Extent rotatedCorners(cv::Size size, double angle, double cx, double cy) {
    const double c = std::cos(angle), s = std::sin(angle);
    Extent e{1e300, -1e300, 1e300, -1e300};
    const double xs[2] = {0.0, size.width - 1.0};
    const double ys[2] = {0.0, size.height - 1.0};
    for (double x : xs)
        for (double y : ys) {
            // Counter-clockwise on screen, where y grows downwards.
            const double rx = c * (x - cx) + s * (y - cy);
            const double ry = -s * (x - cx) + c * (y - cy);
            e.minX = std::min(e.minX, rx), e.maxX = std::max(e.maxX, rx);
            e.minY = std::min(e.minY, ry), e.maxY = std::max(e.maxY, ry);
        }
    return e;
}

// Extent of the rotated corners as a pixel count; the allowance absorbs rounding of sin and cos (a float
// angle near a quarter turn), so a quarter turn swaps width and height exactly.
int spanToPixels(double span) {
    return static_cast<int>(std::ceil(span - 1e-3)) + 1;
}

template <typename T, typename Acc>
void clipRows(const cv::Mat& in, cv::Mat& out, Acc full, float blackClip, float whiteClip, int first,
              int end) {
    const int cn = in.channels();
    const Acc black = blackClip * full;
    const Acc white = full - whiteClip * full;
    for (int y = first; y < end; ++y) {
        const T* src = in.ptr<T>(y);
        T* dst = out.ptr<T>(y);
        for (int x = 0; x < in.cols; ++x) {
            Acc m = 0;
            for (int c = 0; c < cn; ++c)
                m += static_cast<Acc>(src[x * cn + c]);
            m /= static_cast<Acc>(cn);
            T v;
            bool set = true;
            if (m < black)
                v = T(0);
            else if (whiteClip != 0.f && m > white)
                v = static_cast<T>(full);
            else
                set = false;
            for (int c = 0; c < cn; ++c)
                dst[x * cn + c] = set ? v : src[x * cn + c];
        }
    }
}

} // namespace

cv::Size rotatedSize(cv::Size size, float angle) {
    if (angle == 0.f)
        return size;
    const Extent e = rotatedCorners(size, angle, (size.width - 1) / 2.0, (size.height - 1) / 2.0);
    return {spanToPixels(e.maxX - e.minX), spanToPixels(e.maxY - e.minY)};
}

cv::Mat rotateImage(const cv::Mat& image, float angle, Sampling sampling) {
    if (angle == 0.f || image.empty())
        return image;
    const cv::Size out = rotatedSize(image.size(), angle);
    const double cx = (image.cols - 1) / 2.0, cy = (image.rows - 1) / 2.0;
    cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(static_cast<float>(cx), static_cast<float>(cy)),
                                        static_cast<double>(angle) * 180.0 / CV_PI, 1.0);
    // Put the rotated centre at the centre of the larger canvas.
    m.at<double>(0, 2) += (out.width - 1) / 2.0 - cx;
    m.at<double>(1, 2) += (out.height - 1) / 2.0 - cy;
    cv::Mat rotated;
    const int interpolation = sampling == Sampling::Nearest ? cv::INTER_NEAREST : cv::INTER_LINEAR;
    cv::warpAffine(image, rotated, m, out, interpolation, cv::BORDER_CONSTANT, cv::Scalar::all(0));
    return rotated;
}

cv::Mat applyGeometry(const cv::Mat& image, float angle, const cv::Rect& crop, Sampling sampling) {
    if (image.empty())
        return {};
    const cv::Mat rotated = rotateImage(image, angle, sampling);
    if (!isValidCrop(crop))
        return rotated;
    const cv::Rect r = clippedCrop(crop, rotated.size());
    return r.area() > 0 ? rotated(r) : rotated;
}

cv::Rect clippedCrop(const cv::Rect& crop, cv::Size size) {
    return crop & cv::Rect(0, 0, size.width, size.height);
}

cv::Rect previewCrop(const cv::Rect& crop, cv::Size previewSize, int rotatedWidth, int rotatedHeight) {
    if (rotatedWidth <= 0 || rotatedHeight <= 0)
        return {};
    const double sx = static_cast<double>(previewSize.width) / rotatedWidth;
    const double sy = static_cast<double>(previewSize.height) / rotatedHeight;
    return {static_cast<int>(crop.x * sx), static_cast<int>(crop.y * sy), static_cast<int>(crop.width * sx),
            static_cast<int>(crop.height * sy)};
}

cv::Mat blendStrength(const cv::Mat& untoned, const cv::Mat& toned, float strength) {
    if (strength == 0.f || toned.empty())
        return untoned;
    cv::Mat t = toned;
    if (t.depth() != untoned.depth())
        t.convertTo(t, untoned.depth());
    if (t.channels() != untoned.channels())
        cv::cvtColor(t, t, t.channels() == 1 ? cv::COLOR_GRAY2BGR : cv::COLOR_BGR2GRAY);
    if (strength == 1.f || untoned.empty())
        return t;
    cv::Mat out;
    cv::addWeighted(untoned, 1.0 - strength, t, strength, 0.0, out);
    return out;
}

cv::Mat clipBlackWhite(const cv::Mat& image, float blackClip, float whiteClip, int workers) {
    cv::Mat out(image.size(), image.type());
    forRowBands(image.rows, image.cols * image.channels(), workers, "clipBlackWhite",
                [&](int first, int end) {
                    switch (image.depth()) {
                    case CV_8U:
                        clipRows<uchar, double>(image, out, 255.0, blackClip, whiteClip, first, end);
                        break;
                    case CV_16U:
                        clipRows<ushort, double>(image, out, 65535.0, blackClip, whiteClip, first, end);
                        break;
                    case CV_32F:
                        clipRows<float, float>(image, out, 1.f, blackClip, whiteClip, first, end);
                        break;
                    default:
                        image.rowRange(first, end).copyTo(out.rowRange(first, end));
                        break;
                    }
                });
    return out;
}

} // namespace lumora
