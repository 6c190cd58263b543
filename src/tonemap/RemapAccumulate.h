#pragma once
// The inner loop of the local Laplacian filter: remap every sample of a window around g0 and sum it with the
// window's separable coefficient weights. Vector versions (AVX2 + FMA, AVX-512) are chosen at run time where
// the processor has them. The portable version evaluates the detail curve with std::pow; the vector version
// reads it from a DetailCurve, which agrees with the power to about 3e-7 of sigmaR.

#include <cstddef>

namespace lumora {

// The detail curve sigmaR * (d / sigmaR)^alpha without a logarithm or an exponential per sample. d is scaled
// to x = d * xScale and split into its power of two 2^e and mantissa m in [1, 2): the curve is scale[e] *
// m^alpha, and m^alpha comes from one of eight cubics chosen by the mantissa's top three bits (Chebyshev
// interpolants on eighths of [1, 2), each within 1e-7 of the power there). Built once per filter run.
struct DetailCurve {
    static constexpr int kOctaves = 24;
    alignas(32) float scale[kOctaves] = {}; // sigmaR (2^e / xScale / sigmaR)^alpha
    alignas(32) float cubic[4][8] = {};     // coefficients c0..c3 in (m - centre of its eighth), per eighth
    float xScale = 1.f;
    // Octaves that can carry a detail sample: x below 1 is either faded out (alpha < 1, x = d / noise) or
    // below sigmaR 2^-23 (alpha > 1, x = d 2^23 / sigmaR), where the curve is zero to float precision.
    int octaves = kOctaves;
    // Largest difference between a cubic and m^alpha found on a fine grid when the curve was built.
    double worstError = 0.0;
};

struct RemapSetup {
    float g0 = 0.f;
    float sigmaR = 1.f; // threshold between detail and edge
    float alpha = 1.f;  // detail exponent
    float beta = 1.f;   // edge compression
    float noiseLevel = 0.01f;
    const DetailCurve* curve = nullptr; // for the vector version when alpha != 1
};

// The curve for `setup`'s alpha, sigmaR and noise level.
DetailCurve makeDetailCurve(const RemapSetup& setup);

// The remapping function for one sample.
float remapSample(float value, const RemapSetup& s);

// A coefficient's kernel as two separable parts: gaussRows x gaussCols minus upRows x upCols.
struct WindowWeights {
    const float* gaussRows = nullptr;
    const float* upRows = nullptr;
    const float* gaussCols = nullptr;
    const float* upCols = nullptr;
};

// The kernel applied to (remap(v) - g0) for the rows x cols samples v of the window at src. cols must be a
// multiple of 8, and the samples up to there readable and finite (zero weights cover the padding). Without a
// curve in `s` the portable version runs. `allowWide` lets the 16-lane version (AVX-512) run where the
// processor has it: each sample is remapped exactly as by the 8-lane one, only the sum is added up in another
// order (a few float roundings apart).
float remapAccumulate(const float* src, std::ptrdiff_t stride, int rows, int cols, const WindowWeights& w,
                      const RemapSetup& s, bool allowSimd, bool allowWide = true);

// True when the vector version runs on this processor.
bool remapSimdAvailable();
// True when the 16-lane vector version runs on this processor.
bool remapWideSimdAvailable();

} // namespace lumora
