#include "tonemap/OperatorParams.h"

namespace lumora {

LaplacianParams laplacianParams(const float* triple) {
    return triple ? LaplacianParams{triple[0], triple[1]} : LaplacianParams{};
}

LogMappingParams logMappingParams(const float* triple) {
    return triple ? LogMappingParams{triple[0]} : LogMappingParams{};
}

LocalContrastParams localContrastParams(const float* triple) {
    return triple ? LocalContrastParams{triple[0], static_cast<int>(triple[1]), static_cast<int>(triple[2])}
                  : LocalContrastParams{};
}

LayerParams layerParams(const float* triple) {
    return triple ? LayerParams{triple[0], triple[1], triple[2]} : LayerParams{};
}

} // namespace lumora
