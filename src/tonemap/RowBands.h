#pragma once
// Per-pixel passes over whole images in bands of rows, through the shared parallel loop: each band is one
// task, small enough that `workers` threads share the image evenly, large enough that starting it costs
// nothing next to its work.

#include <functional>

namespace lumora {

// body(firstRow, endRow) for bands covering rows 0..rows-1. Images under a few hundred thousand samples run
// on the calling thread alone.
void forRowBands(int rows, int rowLength, int workers, const char* place,
                 const std::function<void(int first, int end)>& body);

} // namespace lumora
