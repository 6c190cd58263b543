#include "LiteralLapFilter.h"

#include "tonemap/LaplacianPyramid.h"
#include "tonemap/RemapAccumulate.h"

#include <algorithm>
#include <vector>

namespace lumora::bench {

namespace {

struct Window {
    cv::Mat image;
    int r1, c1; // first row and column, in the level's own coordinates
};

// Filter with the pyramid kernel (zero outside), keep the samples at even positions of the level.
Window down(const Window& w) {
    const int pr = w.r1 & 1, pc = w.c1 & 1;
    const int rows = w.image.rows, cols = w.image.cols;
    const int outRows = (rows - pr + 1) / 2, outCols = (cols - pc + 1) / 2;
    Window out{cv::Mat(std::max(outRows, 0), std::max(outCols, 0), CV_32F), (w.r1 + 1) / 2, (w.c1 + 1) / 2};
    for (int j = 0; j < out.image.rows; ++j)
        for (int k = 0; k < out.image.cols; ++k) {
            float s = 0.f;
            for (int a = -2; a <= 2; ++a)
                for (int b = -2; b <= 2; ++b) {
                    const int y = pr + 2 * j + a, x = pc + 2 * k + b;
                    if (y >= 0 && y < rows && x >= 0 && x < cols)
                        s += kPyramidTaps[static_cast<size_t>(a + 2)] *
                             kPyramidTaps[static_cast<size_t>(b + 2)] * w.image.at<float>(y, x);
                }
            out.image.at<float>(j, k) = s;
        }
    return out;
}

// One sample of the coarse window brought up to position (y, x) of the finer window, normalised.
float upAt(const Window& coarse, const Window& fine, int y, int x) {
    const int pr = fine.r1 & 1, pc = fine.c1 & 1;
    float num = 0.f, den = 0.f;
    for (int a = -2; a <= 2; ++a)
        for (int b = -2; b <= 2; ++b) {
            const int yy = y + a, xx = x + b;
            if (yy < 0 || yy >= fine.image.rows || xx < 0 || xx >= fine.image.cols)
                continue;
            if (((yy - pr) & 1) || ((xx - pc) & 1))
                continue;
            const float w =
                kPyramidTaps[static_cast<size_t>(a + 2)] * kPyramidTaps[static_cast<size_t>(b + 2)];
            num += w * coarse.image.at<float>((yy - pr) / 2, (xx - pc) / 2);
            den += w;
        }
    return num / den;
}

} // namespace

cv::Mat literalLapFilter(const cv::Mat& image, float alpha, float beta, float sigmaR, float noiseLevel) {
    const int levels = pyramidLevelCount(image.rows, image.cols);
    std::vector<cv::Mat> g = gaussianPyramid(image, levels);
    std::vector<cv::Mat> out(static_cast<size_t>(levels));
    const RemapSetup base{0.f, sigmaR, alpha, beta, noiseLevel};
    for (int l = 0; l + 1 < levels; ++l) {
        const cv::Mat& gl = g[static_cast<size_t>(l)];
        out[static_cast<size_t>(l)].create(gl.size(), CV_32F);
        const int hw = 3 * (2 << l) - 2;
        for (int y = 0; y < gl.rows; ++y)
            for (int x = 0; x < gl.cols; ++x) {
                const int yf = y << l, xf = x << l;
                const int r1 = std::max(0, yf - hw), r2 = std::min(image.rows - 1, yf + hw);
                const int c1 = std::max(0, xf - hw), c2 = std::min(image.cols - 1, xf + hw);
                RemapSetup s = base;
                s.g0 = gl.at<float>(y, x);
                Window w{cv::Mat(r2 - r1 + 1, c2 - c1 + 1, CV_32F), r1, c1};
                for (int i = 0; i < w.image.rows; ++i)
                    for (int j = 0; j < w.image.cols; ++j)
                        w.image.at<float>(i, j) = remapSample(image.at<float>(r1 + i, c1 + j), s);
                std::vector<Window> pyr{w};
                for (int k = 0; k <= l; ++k)
                    pyr.push_back(down(pyr.back()));
                const Window& fine = pyr[static_cast<size_t>(l)];
                const int ly = y - fine.r1, lx = x - fine.c1;
                out[static_cast<size_t>(l)].at<float>(y, x) =
                    fine.image.at<float>(ly, lx) - upAt(pyr[static_cast<size_t>(l + 1)], fine, ly, lx);
            }
    }
    out.back() = g.back();
    return collapsePyramid(std::move(out));
}

} // namespace lumora::bench
