#include "tonemap/ControlMapping.h"

#include "tonemap/ToneControls.h"

namespace lumora {

bool applyControlPosition(ToneMapEngine& engine, ControlField control, int position, bool recompute) {
    const ToneControl* c = toneControlOf(control);
    if (!c || c->kind != ToneControlKind::Slider)
        return false;
    c->apply(engine, position, recompute);
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
