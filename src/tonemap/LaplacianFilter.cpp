#include "tonemap/LaplacianFilter.h"

#include "app/Parallel.h"
#include "tonemap/LaplacianKernels.h"
#include "tonemap/LaplacianPyramid.h"
#include "tonemap/RemapAccumulate.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

namespace lumora {

namespace {

constexpr int kSimdWidth = 8; // window rows are read in blocks of this many samples

struct LevelPlan {
    AxisKernels rows;
    AxisKernels cols;
    int64_t colCost = 0; // samples per coefficient row, summed over its columns
};

} // namespace

cv::Mat lapfilterCore(const cv::Mat& image, const LapFilterParams& params, RunControl& control,
                      const LapFilterOptions& options) {
    CV_Assert(image.type() == CV_32FC1);
    control.setProgress(0);
    if (image.empty())
        return {};
    const int levels = pyramidLevelCount(image.rows, image.cols);
    std::vector<cv::Mat> gauss = gaussianPyramid(image, levels);

    // One weighted sum per coefficient needs the separable weights of each level's rows and columns.
    std::vector<LevelPlan> plans(static_cast<size_t>(std::max(0, levels - 1)));
    int64_t totalCost = 0;
    for (int l = 0; l + 1 < levels; ++l) {
        LevelPlan& p = plans[static_cast<size_t>(l)];
        const cv::Mat& g = gauss[static_cast<size_t>(l)];
        p.rows = buildAxisKernels(image.rows, l, g.rows, 1);
        p.cols = buildAxisKernels(image.cols, l, g.cols, kSimdWidth);
        for (int len : p.cols.length)
            p.colCost += len;
        for (int len : p.rows.length)
            totalCost += static_cast<int64_t>(len) * p.colCost;
    }

    // Windows are read in whole blocks, so every row gets finite padding past its end.
    cv::Mat padded;
    cv::copyMakeBorder(image, padded, 0, 0, 0, kSimdWidth, cv::BORDER_CONSTANT, cv::Scalar(0));
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(padded.step1());

    std::vector<cv::Mat> output(static_cast<size_t>(levels));
    for (int l = 0; l + 1 < levels; ++l)
        output[static_cast<size_t>(l)].create(gauss[static_cast<size_t>(l)].size(), CV_32F);

    std::atomic<int64_t> done{0};
    const int threads = options.threads > 0 ? options.threads : workerCount(WorkerUse::Interactive);
    RemapSetup base{0.f, params.sigmaR, params.alpha, params.beta, params.noiseLevel};
    const DetailCurve curve = makeDetailCurve(base);
    if (params.alpha != 1.f && options.allowSimd)
        base.curve = &curve;
    const bool simd = options.allowSimd, wide = options.allowWide;

    const bool complete = parallelInterleaved(threads, "lapfilter_core", [&](int first, int step) {
        RemapSetup setup = base;
        for (int l = 0; l + 1 < levels; ++l) {
            const LevelPlan& p = plans[static_cast<size_t>(l)];
            const cv::Mat& g = gauss[static_cast<size_t>(l)];
            cv::Mat& out = output[static_cast<size_t>(l)];
            for (int y = first; y < g.rows; y += step) {
                if (control.shouldEnd())
                    return;
                const size_t yi = static_cast<size_t>(y);
                const int h = p.rows.length[yi];
                WindowWeights w;
                w.gaussRows = &p.rows.gauss[p.rows.offset[yi]];
                w.upRows = &p.rows.up[p.rows.offset[yi]];
                const float* top = padded.ptr<float>(p.rows.start[yi]);
                const float* gRow = g.ptr<float>(y);
                float* oRow = out.ptr<float>(y);
                for (int x = 0; x < g.cols; ++x) {
                    const size_t xi = static_cast<size_t>(x);
                    w.gaussCols = &p.cols.gauss[p.cols.offset[xi]];
                    w.upCols = &p.cols.up[p.cols.offset[xi]];
                    setup.g0 = gRow[x];
                    const float sum = remapAccumulate(top + p.cols.start[xi], stride, h, p.cols.length[xi], w,
                                                      setup, simd, wide);
                    // The kernel times g0 comes back as a constant term; the sum holds the remapped offsets.
                    const double weight =
                        p.rows.gaussSum[yi] * p.cols.gaussSum[xi] - p.rows.upSum[yi] * p.cols.upSum[xi];
                    oRow[x] = static_cast<float>(setup.g0 * weight) + sum;
                }
                const int64_t now = done.fetch_add(static_cast<int64_t>(h) * p.colCost) + h * p.colCost;
                control.advanceProgress(static_cast<int>(now * 100 / std::max<int64_t>(totalCost, 1)));
            }
        }
    });

    if (control.shouldEnd() || !complete)
        return {}; // a share that failed (already logged) left rows unfilled
    output[static_cast<size_t>(levels - 1)] = gauss[static_cast<size_t>(levels - 1)];
    gauss.clear();
    padded.release();
    cv::Mat result = collapsePyramid(std::move(output));
    control.setProgress(100);
    return result;
}

} // namespace lumora
