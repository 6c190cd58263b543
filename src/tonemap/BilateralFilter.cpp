#include "tonemap/BilateralFilter.h"

#include "app/Parallel.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace cv_extend {

using lumora::parallelFor;

namespace {

constexpr const char* kPlace = "bilateralFilter";
constexpr size_t kLinesPerTask = 256; // grid lines blurred per task
constexpr int kRowsPerTask = 32;      // image rows read back per task

// Blurs one axis of a grid of (weight, weighted value) pairs in place. `count` cells lie along the axis with
// `stride` pairs between neighbours; `lines` lists the offsets (in pairs) of the first cell of every line.
// Lines are independent, so blocks of them go to the workers.
bool blurAxis(std::vector<float>& grid, int count, size_t stride, const std::vector<size_t>& lines,
              const std::vector<float>& kernel, int workers) {
    const int radius = static_cast<int>(kernel.size()) / 2;
    const int tasks = static_cast<int>((lines.size() + kLinesPerTask - 1) / kLinesPerTask);
    return parallelFor(tasks, workers, kPlace, [&](int task) {
        std::vector<float> line(static_cast<size_t>(count) * 2);
        const size_t first = static_cast<size_t>(task) * kLinesPerTask;
        const size_t end = std::min(lines.size(), first + kLinesPerTask);
        for (size_t l = first; l < end; ++l) {
            const size_t start = lines[l];
            for (int i = 0; i < count; ++i) {
                const size_t at = (start + static_cast<size_t>(i) * stride) * 2;
                line[2 * i] = grid[at];
                line[2 * i + 1] = grid[at + 1];
            }
            for (int i = 0; i < count; ++i) {
                float w = 0.f, wv = 0.f;
                const int lo = std::max(0, i - radius), hi = std::min(count - 1, i + radius);
                for (int j = lo; j <= hi; ++j) {
                    const float k = kernel[static_cast<size_t>(j - i + radius)];
                    w += k * line[2 * j];
                    wv += k * line[2 * j + 1];
                }
                const size_t at = (start + static_cast<size_t>(i) * stride) * 2;
                grid[at] = w;
                grid[at + 1] = wv;
            }
        }
    });
}

std::vector<float> gaussianKernel(double sigma) {
    const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
    std::vector<float> k(static_cast<size_t>(2 * radius + 1));
    for (int i = -radius; i <= radius; ++i)
        k[static_cast<size_t>(i + radius)] = static_cast<float>(std::exp(-0.5 * i * i / (sigma * sigma)));
    return k;
}

} // namespace

bool bilateralFilter(cv::InputArray _src, cv::OutputArray _dst, double sigmaSpace, double sigmaColor,
                     int workers) {
    cv::Mat src = _src.getMat();
    CV_Assert(src.channels() == 1);
    if (src.depth() != CV_32F) {
        cv::Mat converted;
        src.convertTo(converted, CV_32F);
        src = converted;
    }
    if (src.empty() || !(sigmaSpace > 0) || !(sigmaColor > 0)) {
        src.copyTo(_dst);
        return true;
    }
    double lo = 0, hi = 0;
    cv::minMaxLoc(src, &lo, &hi);
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi)) {
        src.copyTo(_dst);
        return true;
    }

    // Grid spacing: half a sigma in both position and value. Pixels are dropped into their nearest spatial
    // cell (a box of one spacing) and split linearly between two value cells; reading back interpolates
    // trilinearly. Those two steps blur too, so the grid's own Gaussian is narrowed to keep the total
    // variance that of the requested sigmas.
    const double ss = std::max(1.0, sigmaSpace / 2.0);
    const double sr = sigmaColor / 2.0;
    const double gridSigmaS = std::sqrt(std::max(0.25, sigmaSpace * sigmaSpace - ss * ss / 4.0)) / ss;
    const double gridSigmaR =
        std::sqrt(std::max(0.25 * sr * sr, sigmaColor * sigmaColor - sr * sr / 3.0)) / sr;

    const int rows = src.rows, cols = src.cols;
    const int gw = static_cast<int>(std::lround((cols - 1) / ss)) + 1;
    const int gh = static_cast<int>(std::lround((rows - 1) / ss)) + 1;
    const int gd = static_cast<int>(std::ceil((hi - lo) / sr)) + 2;
    const size_t cells = static_cast<size_t>(gw) * gh * gd;
    std::vector<float> grid(cells * 2, 0.f);
    const float invSs = static_cast<float>(1.0 / ss), invSr = static_cast<float>(1.0 / sr);
    const float flo = static_cast<float>(lo);

    // Nearest grid column of every image column, and the two columns (with weight) read back at each.
    std::vector<size_t> nearestX(static_cast<size_t>(cols));
    std::vector<int> readX0(static_cast<size_t>(cols)), readX1(static_cast<size_t>(cols));
    std::vector<float> readAx(static_cast<size_t>(cols));
    for (int x = 0; x < cols; ++x) {
        nearestX[static_cast<size_t>(x)] = static_cast<size_t>(std::lround(x * invSs));
        const float fx = x * invSs;
        readX0[static_cast<size_t>(x)] = std::min(gw - 1, static_cast<int>(fx));
        readX1[static_cast<size_t>(x)] = std::min(gw - 1, readX0[static_cast<size_t>(x)] + 1);
        readAx[static_cast<size_t>(x)] = fx - static_cast<float>(readX0[static_cast<size_t>(x)]);
    }

    // Each task fills one grid row from the image rows nearest to it, in the same order as a single pass
    // would, so every cell sums the same terms in the same order whatever the worker count. The image rows
    // of grid row g are those from firstRow[g] up to firstRow[g + 1].
    std::vector<int> firstRow(static_cast<size_t>(gh) + 1, rows);
    for (int y = rows - 1; y >= 0; --y)
        firstRow[static_cast<size_t>(std::min(gh - 1, static_cast<int>(std::lround(y * invSs))))] = y;
    for (int g = gh - 1; g >= 0; --g)
        firstRow[static_cast<size_t>(g)] =
            std::min(firstRow[static_cast<size_t>(g)], firstRow[static_cast<size_t>(g) + 1]);
    bool complete = parallelFor(gh, workers, kPlace, [&](int g) {
        for (int y = firstRow[static_cast<size_t>(g)]; y < firstRow[static_cast<size_t>(g) + 1]; ++y) {
            const float* p = src.ptr<float>(y);
            const size_t rowBase = static_cast<size_t>(g) * gw;
            for (int x = 0; x < cols; ++x) {
                const float v = p[x];
                const float z = (v - flo) * invSr;
                const int z0 = std::min(gd - 2, static_cast<int>(z));
                const float f = z - static_cast<float>(z0);
                const size_t at = ((rowBase + nearestX[static_cast<size_t>(x)]) * gd + z0) * 2;
                grid[at] += 1.f - f;
                grid[at + 1] += (1.f - f) * v;
                grid[at + 2] += f;
                grid[at + 3] += f * v;
            }
        }
    });

    // Separable blur: value axis, then columns, then rows.
    {
        std::vector<size_t> lines;
        lines.reserve(static_cast<size_t>(gw) * gh);
        for (size_t c = 0; c < static_cast<size_t>(gw) * gh; ++c)
            lines.push_back(c * gd);
        complete = complete && blurAxis(grid, gd, 1, lines, gaussianKernel(gridSigmaR), workers);
    }
    const std::vector<float> spatial = gaussianKernel(gridSigmaS);
    {
        std::vector<size_t> lines;
        for (int gy = 0; gy < gh; ++gy)
            for (int z = 0; z < gd; ++z)
                lines.push_back(static_cast<size_t>(gy) * gw * gd + z);
        complete = complete && blurAxis(grid, gw, static_cast<size_t>(gd), lines, spatial, workers);
    }
    {
        std::vector<size_t> lines;
        for (int gx = 0; gx < gw; ++gx)
            for (int z = 0; z < gd; ++z)
                lines.push_back(static_cast<size_t>(gx) * gd + z);
        complete = complete && blurAxis(grid, gh, static_cast<size_t>(gw) * gd, lines, spatial, workers);
    }

    _dst.create(rows, cols, CV_32F);
    cv::Mat dst = _dst.getMat();
    const size_t sx = static_cast<size_t>(gd) * 2, sy = static_cast<size_t>(gw) * gd * 2;
    const int bands = (rows + kRowsPerTask - 1) / kRowsPerTask;
    const auto readBack = [&](int band) {
        for (int y = band * kRowsPerTask; y < std::min(rows, (band + 1) * kRowsPerTask); ++y) {
            const float* p = src.ptr<float>(y);
            float* out = dst.ptr<float>(y);
            const float fy = y * invSs;
            const int y0 = std::min(gh - 1, static_cast<int>(fy));
            const int y1 = std::min(gh - 1, y0 + 1);
            const float ay = fy - static_cast<float>(y0);
            for (int x = 0; x < cols; ++x) {
                const float v = p[x];
                const int x0 = readX0[static_cast<size_t>(x)];
                const int x1 = readX1[static_cast<size_t>(x)];
                const float ax = readAx[static_cast<size_t>(x)];
                const float z = (v - flo) * invSr;
                const int z0 = std::min(gd - 2, static_cast<int>(z));
                const float az = z - static_cast<float>(z0);
                float w = 0.f, wv = 0.f;
                const int ys[2] = {y0, y1};
                const int xs[2] = {x0, x1};
                const float wy[2] = {1.f - ay, ay};
                const float wx[2] = {1.f - ax, ax};
                for (int i = 0; i < 2; ++i)
                    for (int j = 0; j < 2; ++j) {
                        const float wxy = wy[i] * wx[j];
                        const float* c = &grid[static_cast<size_t>(ys[i]) * sy +
                                               static_cast<size_t>(xs[j]) * sx + static_cast<size_t>(z0) * 2];
                        w += wxy * ((1.f - az) * c[0] + az * c[2]);
                        wv += wxy * ((1.f - az) * c[1] + az * c[3]);
                    }
                out[x] = w > 1e-20f ? wv / w : v;
            }
        }
    };
    complete = complete && parallelFor(bands, workers, kPlace, readBack);
    return complete;
}

float bilateralFilterDirectAt(const cv::Mat& src, int x, int y, double sigmaSpace, double sigmaColor) {
    CV_Assert(src.type() == CV_32FC1);
    const int radius = static_cast<int>(std::ceil(3.0 * sigmaSpace));
    const double centre = src.at<float>(y, x);
    const double ks = -0.5 / (sigmaSpace * sigmaSpace), kr = -0.5 / (sigmaColor * sigmaColor);
    double w = 0, wv = 0;
    for (int yy = std::max(0, y - radius); yy <= std::min(src.rows - 1, y + radius); ++yy) {
        const float* p = src.ptr<float>(yy);
        const double dy2 = double(yy - y) * (yy - y);
        for (int xx = std::max(0, x - radius); xx <= std::min(src.cols - 1, x + radius); ++xx) {
            const double d = p[xx] - centre;
            const double k = std::exp(ks * (dy2 + double(xx - x) * (xx - x)) + kr * d * d);
            w += k;
            wv += k * p[xx];
        }
    }
    return static_cast<float>(wv / w);
}

} // namespace cv_extend
