#pragma once
// The inner loop of the local Laplacian filter: remap every sample of a window around g0 and sum it with the
// window's separable coefficient weights. A vector (AVX2 + FMA) version is chosen at run time where the
// processor has it; both versions compute the same arithmetic.

#include <cstddef>

namespace lumora {

struct RemapSetup {
    float g0 = 0.f;
    float sigmaR = 1.f; // threshold between detail and edge
    float alpha = 1.f;  // detail exponent
    float beta = 1.f;   // edge compression
    float noiseLevel = 0.01f;
};

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
// multiple of 8, and the samples up to there readable and finite (zero weights cover the padding).
float remapAccumulate(const float* src, std::ptrdiff_t stride, int rows, int cols, const WindowWeights& w,
                      const RemapSetup& s, bool allowSimd);

// True when the vector version runs on this processor.
bool remapSimdAvailable();

} // namespace lumora
