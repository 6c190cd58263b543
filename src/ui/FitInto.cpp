#include "ui/FitInto.h"

namespace lumora {

QSize fitInto(int w, int h, int W, int H) {
    if (w <= 0 || h <= 0 || W <= 0 || H <= 0)
        return {};
    const float r = float(w) / float(h);
    if (r < float(W) / float(H))
        return {int(float(H) * r), H};
    return {W, int(float(W) / r)};
}

} // namespace lumora
