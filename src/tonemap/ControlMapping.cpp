#include "tonemap/ControlMapping.h"

#include <algorithm>

namespace lumora {

namespace {

using FloatSetter = void (ToneMapEngine::*)(float, bool);

struct FloatControl {
    ControlField field;
    FloatSetter setter;
    float (*convert)(int);
};

const FloatControl kFloatControls[] = {
    {&ControlPositions::strength, &ToneMapEngine::setStrength, position::strength},
    {&ControlPositions::exposure, &ToneMapEngine::setExposure, position::exposure},
    {&ControlPositions::contrast, &ToneMapEngine::setContrast, position::contrast},
    {&ControlPositions::highlights, &ToneMapEngine::setHighlights, position::curveValue},
    {&ControlPositions::shadows, &ToneMapEngine::setShadows, position::curveValue},
    {&ControlPositions::whites, &ToneMapEngine::setWhites, position::curveValue},
    {&ControlPositions::blacks, &ToneMapEngine::setBlacks, position::curveValue},
    {&ControlPositions::hue, &ToneMapEngine::setHue, position::hue},
    {&ControlPositions::saturation, &ToneMapEngine::setSaturation, position::saturation},
    {&ControlPositions::vibrance, &ToneMapEngine::setVibrance, position::vibrance},
    {&ControlPositions::blackClip, &ToneMapEngine::setBlackClip, position::blackClip},
    {&ControlPositions::whiteClip, &ToneMapEngine::setWhiteClip, position::whiteClip},
    {&ControlPositions::sharpeningAmount, &ToneMapEngine::setSharpeningAmount, position::sharpeningAmount},
    {&ControlPositions::sharpeningThreshold, &ToneMapEngine::setSharpeningThreshold,
     position::sharpeningThreshold},
};

} // namespace

bool applyControlPosition(ToneMapEngine& engine, ControlField control, int position, bool recompute) {
    if (control == &ControlPositions::sharpeningRadius) {
        engine.setSharpeningRadius(position::sharpeningRadius(position), recompute);
        return true;
    }
    const auto* end = std::end(kFloatControls);
    const auto* it = std::find_if(std::begin(kFloatControls), end,
                                  [control](const FloatControl& c) { return c.field == control; });
    if (it == end)
        return false;
    (engine.*(it->setter))(it->convert(position), recompute);
    return true;
}

void applyOperatorPositions(ToneMapEngine& engine, int operatorIndex, const std::array<int, 3>& positions,
                            bool recompute) {
    const int op = clampOperatorIndex(operatorIndex);
    const std::array<float, 3> t = operatorTripleFromPositions(op, positions[0], positions[1], positions[2]);
    const int count = operatorParamCount(op);
    if (count > 0)
        engine.setOperatorAlpha(op, t[0], recompute);
    if (count > 1)
        engine.setOperatorBeta(op, t[1], recompute);
    if (count > 2)
        engine.setOperatorGamma(op, t[2], recompute);
}

} // namespace lumora
