#pragma once
// One control of the tone-mapping panel at a time: the window applies each change as the user makes it, with
// the same conversions that applyControlPositions uses for a whole set (and lumora-cli with it).

#include "tonemap/ToneMapEngine.h"

#include <array>

namespace lumora {

// A slider of ControlPositions (strength, exposure ... sharpening threshold; not the operator's alpha, beta
// and gamma, nor the two switches).
using ControlField = int ControlPositions::*;

// Sets the value that `position` of `control` converts to. False, and nothing set, for a field that is not
// such a slider.
bool applyControlPosition(ToneMapEngine& engine, ControlField control, int position, bool recompute);

// Sets the triple of `operatorIndex` from the positions of the sliders that operator shows (alpha, beta,
// gamma order; the ones it does not show are ignored).
void applyOperatorPositions(ToneMapEngine& engine, int operatorIndex, const std::array<int, 3>& positions,
                            bool recompute);

} // namespace lumora
