#pragma once
// Each operator's parameters under names that say what they do. Parameter records, presets and sliders carry
// them as one (alpha, beta, gamma) triple per operator; the functions below are the one place that reads a
// triple as an operator's parameters.

namespace lumora {

// Operator 0, local Laplacian.
struct LaplacianParams {
    float detailExponent = 1.f;  // alpha: below 1 enhances details, above 1 smooths them
    float edgeCompression = 1.f; // beta: below 1 compresses large steps, above 1 expands them
};

// Operator 1, adaptive logarithmic mapping.
struct LogMappingParams {
    float bias = 0.85f; // alpha: how fast the logarithm's base rises with luminance (0.5: linearly)
};

// Operator 2, local contrast.
struct LocalContrastParams {
    float logFloor = 0.f;    // alpha: floor of 100 V' before the logarithm of the local step
    int sigmoidSlope = 0;    // beta, truncated: slope of the brightness weight
    int sigmoidMidpoint = 0; // gamma, truncated: midpoint of the brightness weight
};

// Operator 4, tone compression and detail enhancement.
struct LayerParams {
    float responseExponent = 0.5f; // alpha: exponent of the cone and rod responses of the base layer
    float lightnessExponent = 1.f; // beta: exponent of the lightness in IPT
    float maxLuminance = 2525.f;   // gamma: absolute luminance of the brightest pixel, cd/m^2
};

// The parameters of an operator from its triple; a null triple gives the defaults above.
LaplacianParams laplacianParams(const float* triple);
LogMappingParams logMappingParams(const float* triple);
LocalContrastParams localContrastParams(const float* triple);
LayerParams layerParams(const float* triple);

} // namespace lumora
