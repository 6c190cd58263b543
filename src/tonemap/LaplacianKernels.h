#pragma once
// Each Laplacian coefficient of a remapped window is a fixed linear combination of the window's samples: the
// window-tracking pyramid (zero outside the window, parity kept, normalised upsampling) is linear. The
// coefficient G_l(c) - up(G_{l+1})(c) is the difference of two separable kernels, so these one-dimensional
// weights (one pair per coefficient row or column of a level) turn a coefficient into two weighted sums
// instead of a pyramid.

#include <cstddef>
#include <vector>

namespace lumora {

// One axis of a coefficient's window: the weights of G_l(c) ("gauss") and of up(G_{l+1})(c) ("up").
struct AxisWeights {
    std::vector<double> gauss;
    std::vector<double> up;
};

struct AxisKernels {
    std::vector<int> start;     // first full-resolution index of each coefficient's window
    std::vector<int> length;    // window length, rounded up to a multiple of the padding (zero weights)
    std::vector<size_t> offset; // where each window's weights begin in `gauss` and `up`
    std::vector<float> gauss;
    std::vector<float> up;
    std::vector<double> gaussSum; // sums of each window's weights
    std::vector<double> upSum;
};

// Weights along one axis of an image of `imageLength` samples, for the `count` coefficients of pyramid level
// `level`: coefficient y sits at full-resolution position y * 2^level and its window spans
// hw = 3 * 2^(level + 1) - 2 samples either side, cut at the image ends. Lengths are padded to `padTo`.
AxisKernels buildAxisKernels(int imageLength, int level, int count, int padTo);

// The weights of one window in double precision: `first` and `last` bound the full-resolution window,
// `center` is the coefficient's index at `level`.
AxisWeights coefficientWeights(int first, int last, int level, int center);

} // namespace lumora
