#include "OperatorTestImages.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace lumora::test {

cv::Mat lightImageFromFrame(const std::string& path, int rows) {
    cv::Mat frame = cv::imread(path, cv::IMREAD_UNCHANGED);
    if (frame.empty())
        return {};
    const double full = frame.depth() == CV_16U ? 65535.0 : 255.0;
    cv::Mat f;
    frame.convertTo(f, CV_32F, 1.0 / full);
    if (f.channels() == 4)
        cv::cvtColor(f, f, cv::COLOR_BGRA2BGR);
    if (rows > 0 && rows != f.rows)
        cv::resize(f, f, cv::Size(static_cast<int>(double(f.cols) * rows / f.rows + 0.5), rows), 0, 0,
                   cv::INTER_AREA);
    cv::pow(f, 2.2, f);
    double lo = 0, hi = 0;
    cv::minMaxLoc(f.reshape(1), &lo, &hi);
    if (hi > 0)
        f *= 1.0 / hi;
    return f;
}

cv::Mat greyLevels(const std::vector<float>& levels, int rows, int cols) {
    cv::Mat m(rows, cols, CV_32FC3);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const float v = levels[static_cast<size_t>((r * cols + c) % static_cast<int>(levels.size()))];
            m.at<cv::Vec3f>(r, c) = cv::Vec3f(v, v, v);
        }
    return m;
}

} // namespace lumora::test
