#include "stacking/StackingChoices.h"

#include "app/Parallel.h"

#include <algorithm>

namespace lumora {

int blockSizeForQuality(int quality) {
    switch (quality) {
    case QualityFast:
        return 15;
    case QualityOptimal:
        return 1;
    default:
        return 5;
    }
}

float ghostToleranceForPosition(int position) {
    const float step = static_cast<float>(kAntighostingMaximum - position) / 10.f;
    return step * step;
}

float searchRadiusPercentFor(const StackingChoices& choices) {
    return choices.automaticMovement ? -1.f : static_cast<float>(choices.movementPosition) / 10.f;
}

StackingParams stackingParamsFor(const StackingChoices& choices, ImagesSequenceBase* sequence, int centre,
                                 int sequenceFrameCount) {
    StackingParams params;
    params.sequence = sequence;
    params.chosenIndex = centre;
    params.firstIndex = std::max(0, centre - std::max(0, choices.framesBefore));
    // Counts that reach past either end of the medium stop at it: frames that do not exist would only be
    // reported unreadable.
    const int last = std::min(sequenceFrameCount - 1, centre + std::max(0, choices.framesAfter));
    params.frameCount = std::max(1, last - params.firstIndex + 1);
    params.searchRadiusPercent = searchRadiusPercentFor(choices);
    params.ghostTolerance = ghostToleranceForPosition(choices.antighostingPosition);
    params.align = choices.align;
    params.blockSize = blockSizeForQuality(choices.quality);
    params.search = choices.search;
    // Both callers only wait for the light image: the command line blocks on it, and the window's GUI thread
    // just polls the progress between events, which takes next to nothing. A core kept idle would only make
    // the user wait longer.
    params.threadCount = workerCount(WorkerUse::Waiting);
    return params;
}

} // namespace lumora
