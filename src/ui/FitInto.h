#pragma once
// The size a picture is shown at inside an area, keeping its aspect.

#include <QSize>

namespace lumora {

// Largest size of aspect w:h that fits in W x H (fractions truncated); empty for an empty source.
QSize fitInto(int w, int h, int W, int H);

} // namespace lumora
