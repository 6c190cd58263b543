#include "ui/EditPositions.h"

namespace lumora {

ControlPositions EditPositions::current() const {
    ControlPositions p = controls;
    const auto& sliders = operatorSliders[std::size_t(clampOperatorIndex(p.TMAlgo))];
    p.alpha = sliders[0];
    p.beta = sliders[1];
    p.gamma = sliders[2];
    return p;
}

void EditPositions::takePreset(const ControlPositions& preset) {
    const ControlPositions p = preset.bounded();
    controls = p;
    controls.alpha = controls.beta = controls.gamma = 0;
    operatorSliders[std::size_t(p.TMAlgo)] = {p.alpha, p.beta, p.gamma};
}

void applyEditPositions(ToneMapEngine& engine, const EditPositions& positions) {
    applyControlPositions(engine, positions.current());
    engine.setRotation(position::rotation(positions.rotation));
}

bool presetMatches(const PresetRecord& preset, const EditPositions& positions) {
    // A file may hold positions beyond the sliders' ends; applied, they stop at the ends.
    const ControlPositions q = preset.positions().bounded();
    const ControlPositions p = positions.current();
    if (q.applyTM != p.applyTM || q.TMAlgo != p.TMAlgo || q.applySharpening != p.applySharpening)
        return false;
    const int shown[3] = {q.alpha, q.beta, q.gamma};
    const int mine[3] = {p.alpha, p.beta, p.gamma};
    for (int e = 0; e < operatorParamCount(q.TMAlgo); ++e)
        if (shown[e] != mine[e])
            return false;
    for (int ControlPositions::*f :
         {&ControlPositions::strength, &ControlPositions::exposure, &ControlPositions::contrast,
          &ControlPositions::highlights, &ControlPositions::shadows, &ControlPositions::whites,
          &ControlPositions::blacks, &ControlPositions::hue, &ControlPositions::saturation,
          &ControlPositions::vibrance, &ControlPositions::blackClip, &ControlPositions::whiteClip})
        if (q.*f != p.*f)
            return false;
    return !p.applySharpening ||
           (q.sharpeningAmount == p.sharpeningAmount && q.sharpeningRadius == p.sharpeningRadius);
}

} // namespace lumora
