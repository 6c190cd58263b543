#include "tonemap/LaplacianKernels.h"

#include "tonemap/LaplacianPyramid.h"

#include <algorithm>

namespace lumora {

namespace {

int ceilHalf(int v) {
    return (v + 1) / 2; // windows never start below 0
}

// Adjoint of one downsampling step over a window whose first sample sits at `first`: spreads the coarse
// weights back over the fine samples that produced them.
std::vector<double> downAdjoint(const std::vector<double>& coarse, int first, int fineLength) {
    std::vector<double> fine(static_cast<size_t>(fineLength), 0.0);
    const int parity = first & 1;
    for (size_t j = 0; j < coarse.size(); ++j) {
        const int centre = parity + 2 * static_cast<int>(j);
        for (int t = -2; t <= 2; ++t) {
            const int i = centre + t;
            if (i >= 0 && i < fineLength)
                fine[static_cast<size_t>(i)] += kPyramidTaps[static_cast<size_t>(t + 2)] * coarse[j];
        }
    }
    return fine;
}

} // namespace

AxisWeights coefficientWeights(int first, int last, int level, int center) {
    // Window bounds at each level: the first kept sample is the first even one.
    std::vector<int> lo(static_cast<size_t>(level + 2)), hi(static_cast<size_t>(level + 2));
    lo[0] = first, hi[0] = last;
    for (int k = 0; k <= level; ++k) {
        lo[static_cast<size_t>(k + 1)] = ceilHalf(lo[static_cast<size_t>(k)]);
        hi[static_cast<size_t>(k + 1)] = hi[static_cast<size_t>(k)] >> 1;
    }
    const auto len = [&](int k) { return hi[static_cast<size_t>(k)] - lo[static_cast<size_t>(k)] + 1; };
    const int c = center - lo[static_cast<size_t>(level)];

    // G_l(c): the unit vector at c, taken back through the downsampling steps.
    AxisWeights w;
    w.gauss.assign(static_cast<size_t>(len(level)), 0.0);
    w.gauss[static_cast<size_t>(c)] = 1.0;

    // up(G_{l+1})(c): the normalised taps that reach c from the coarse samples, then one step down more.
    const int parity = lo[static_cast<size_t>(level)] & 1;
    std::vector<double> coarse(static_cast<size_t>(len(level + 1)), 0.0);
    double norm = 0.0;
    for (int j = 0; j < len(level + 1); ++j) {
        const int d = parity + 2 * j - c;
        if (d >= -2 && d <= 2) {
            coarse[static_cast<size_t>(j)] = kPyramidTaps[static_cast<size_t>(d + 2)];
            norm += kPyramidTaps[static_cast<size_t>(d + 2)];
        }
    }
    for (double& v : coarse)
        v /= norm;
    w.up = downAdjoint(coarse, lo[static_cast<size_t>(level)], len(level));
    for (int k = level - 1; k >= 0; --k) {
        w.gauss = downAdjoint(w.gauss, lo[static_cast<size_t>(k)], len(k));
        w.up = downAdjoint(w.up, lo[static_cast<size_t>(k)], len(k));
    }
    return w;
}

AxisKernels buildAxisKernels(int imageLength, int level, int count, int padTo) {
    AxisKernels k;
    k.start.resize(static_cast<size_t>(count));
    k.length.resize(static_cast<size_t>(count));
    k.offset.resize(static_cast<size_t>(count));
    k.gaussSum.resize(static_cast<size_t>(count));
    k.upSum.resize(static_cast<size_t>(count));
    const int hw = 3 * (2 << level) - 2;
    const int pad = std::max(1, padTo);
    const auto append = [](std::vector<float>& dst, const std::vector<double>& src, size_t padded) {
        double sum = 0.0;
        for (double v : src) {
            dst.push_back(static_cast<float>(v));
            sum += static_cast<double>(static_cast<float>(v));
        }
        dst.resize(dst.size() + padded - src.size(), 0.f);
        return sum;
    };
    for (int y = 0; y < count; ++y) {
        const int full = y << level;
        const int first = std::max(0, full - hw);
        const int last = std::min(imageLength - 1, full + hw);
        const AxisWeights w = coefficientWeights(first, last, level, y);
        const int padded = (static_cast<int>(w.gauss.size()) + pad - 1) / pad * pad;
        const size_t i = static_cast<size_t>(y);
        k.start[i] = first;
        k.length[i] = padded;
        k.offset[i] = k.gauss.size();
        k.gaussSum[i] = append(k.gauss, w.gauss, static_cast<size_t>(padded));
        k.upSum[i] = append(k.up, w.up, static_cast<size_t>(padded));
    }
    return k;
}

} // namespace lumora
