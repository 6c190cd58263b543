#pragma once
// The control positions of one edited picture, as the editing panel shows them: the tone-mapping controls,
// every operator's own sliders (switching operators brings each one's positions back) and the rotation
// slider. The crop rectangle is kept by the picture's engine, in image pixels.

#include "presets/PresetFiles.h"
#include "tonemap/ToneMapEngine.h"

#include <array>

namespace lumora {

struct EditPositions {
    // Their alpha, beta and gamma are not used: operatorSliders holds them per operator.
    ControlPositions controls;
    std::array<std::array<int, 3>, kOperatorCount> operatorSliders{};
    int rotation = 0; // degrees

    // The positions as a preset holds them: the chosen operator's sliders as alpha, beta, gamma.
    ControlPositions current() const;
    // Takes a preset's positions; its alpha, beta and gamma go to its operator's sliders. Rotation and the
    // other operators' sliders stay.
    void takePreset(const ControlPositions& preset);
};

// Sets every value of `engine` from the positions (rotation included), without recomputing.
void applyEditPositions(ToneMapEngine& engine, const EditPositions& positions);

// Whether the preset shows what the positions show: both switches, the operator and the sliders it shows,
// strength, the adjustments, the clips, and the sharpening amount and radius when sharpening is on.
bool presetMatches(const PresetRecord& preset, const EditPositions& positions);

} // namespace lumora
