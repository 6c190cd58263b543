#include "tonemap/ToneControls.h"

#include <algorithm>
#include <cstring>

namespace lumora {

namespace {

using K = ToneControlKind;
using P = ControlPositions;
using E = ToneMapEngine;

} // namespace

// Two starting points, both meant: "designed" is where the window's widget starts (sharpening amount 50,
// threshold 25), "missingInFile" what a preset file without the field reads as (amount 10 and radius 3 fixed,
// matching the engine's own starting values 0.1 and 3; the other fields as the window started).
const std::array<ToneControl, 21> kToneControls = {{
    {K::Switch, "applyTM", "--no-tonemap", 0, 1, 1, 1, nullptr, &P::applyTM,
     [](E& e, int v, bool r) { e.setApplyToneMapping(v != 0, r); }, "groupBox_TMOptions",
     "Undo on applying tone mapping", -1},
    {K::Operator, "TMAlgo", "--operator", 0, kOperatorCount - 1, 0, kStartPosition, &P::TMAlgo, nullptr,
     [](E& e, int v, bool r) { e.setOperatorIndex(v, r); }, "comboBox_TM", nullptr, -1},
    {K::OperatorSlider, "alpha", "--alpha", -100, 100, 0, kStartPosition, &P::alpha, nullptr, nullptr,
     nullptr, nullptr, 0},
    {K::OperatorSlider, "beta", "--beta", -100, 100, 0, kStartPosition, &P::beta, nullptr, nullptr, nullptr,
     nullptr, 0},
    {K::OperatorSlider, "gamma", "--gamma", -100, 100, 0, kStartPosition, &P::gamma, nullptr, nullptr,
     nullptr, nullptr, 0},
    {K::Slider, "blackClip", "--black-clip", 0, 100, 0, kStartPosition, &P::blackClip, nullptr,
     [](E& e, int v, bool r) { e.setBlackClip(position::blackClip(v), r); }, "horizontalSlider_TMBlackClip",
     "Undo on black clip slider", 3},
    {K::Slider, "whiteClip", "--white-clip", 0, 100, 0, kStartPosition, &P::whiteClip, nullptr,
     [](E& e, int v, bool r) { e.setWhiteClip(position::whiteClip(v), r); }, "horizontalSlider_TMWhiteClip",
     "Undo on white clip slider", 3},
    {K::Slider, "strength", "--strength", -100, 100, 0, kStartPosition, &P::strength, nullptr,
     [](E& e, int v, bool r) { e.setStrength(position::strength(v), r); }, "horizontalSlider_TMStrength",
     "Undo on strength slider", 2},
    {K::Slider, "exposure", "--exposure", -100, 100, 0, kStartPosition, &P::exposure, nullptr,
     [](E& e, int v, bool r) { e.setExposure(position::exposure(v), r); }, "horizontalSlider_TMExposition",
     "Undo on exposure slider", 1},
    {K::Slider, "contrast", "--contrast", -100, 100, 0, kStartPosition, &P::contrast, nullptr,
     [](E& e, int v, bool r) { e.setContrast(position::contrast(v), r); }, "horizontalSlider_TMContrast",
     "Undo on contrast slider", 1},
    {K::Slider, "highlights", "--highlights", -100, 100, 0, kStartPosition, &P::highlights, nullptr,
     [](E& e, int v, bool r) { e.setHighlights(position::curveValue(v), r); },
     "horizontalSlider_TMHighlights", "Undo on highlights slider", 1},
    {K::Slider, "shadows", "--shadows", -100, 100, 0, kStartPosition, &P::shadows, nullptr,
     [](E& e, int v, bool r) { e.setShadows(position::curveValue(v), r); }, "horizontalSlider_TMShadows",
     "Undo on shadows slider", 1},
    {K::Slider, "whites", "--whites", -100, 100, 0, kStartPosition, &P::whites, nullptr,
     [](E& e, int v, bool r) { e.setWhites(position::curveValue(v), r); }, "horizontalSlider_TMWhites",
     "Undo on whites slider", 1},
    {K::Slider, "blacks", "--blacks", -100, 100, 0, kStartPosition, &P::blacks, nullptr,
     [](E& e, int v, bool r) { e.setBlacks(position::curveValue(v), r); }, "horizontalSlider_TMBlacks",
     "Undo on blacks slider", 1},
    {K::Slider, "hue", "--hue", -100, 100, 0, kStartPosition, &P::hue, nullptr,
     [](E& e, int v, bool r) { e.setHue(position::hue(v), r); }, "horizontalSlider_TMHue",
     "Undo on hue slider", 1},
    {K::Slider, "saturation", "--saturation", -100, 100, 0, kStartPosition, &P::saturation, nullptr,
     [](E& e, int v, bool r) { e.setSaturation(position::saturation(v), r); },
     "horizontalSlider_TMSaturation", "Undo on saturation slider", 1},
    {K::Slider, "vibrance", "--vibrance", -100, 100, 0, kStartPosition, &P::vibrance, nullptr,
     [](E& e, int v, bool r) { e.setVibrance(position::vibrance(v), r); }, "horizontalSlider_TMVibrance",
     "Undo on vibrance slider", 1},
    {K::Switch, "applySharpening", "--no-sharpen", 0, 1, 1, 1, nullptr, &P::applySharpening,
     [](E& e, int v, bool r) { e.setApplySharpening(v != 0, r); }, "groupBox_Sharpening",
     "Undo on applying sharpening", -1},
    {K::Slider, "sharpeningAmount", "--sharpening-amount", 0, 100, 50, 10, &P::sharpeningAmount, nullptr,
     [](E& e, int v, bool r) { e.setSharpeningAmount(position::sharpeningAmount(v), r); },
     "horizontalSlider_TMSharpeningAmount", "Undo on sharpening amount slider", 3},
    {K::Slider, "sharpeningRadius", "--sharpening-radius", 0, 20, 3, 3, &P::sharpeningRadius, nullptr,
     [](E& e, int v, bool r) { e.setSharpeningRadius(position::sharpeningRadius(v), r); },
     "horizontalSlider_TMSharpeningRadius", "Undo on sharpening radius slider", 4},
    {K::Slider, "sharpeningThreshold", "--sharpening-threshold", 0, 100, 25, kStartPosition,
     &P::sharpeningThreshold, nullptr,
     [](E& e, int v, bool r) { e.setSharpeningThreshold(position::sharpeningThreshold(v), r); },
     "horizontalSlider_TMSharpeningThreshold", "Undo on sharpening threshold slider", 3},
}};

const std::array<OperatorSlider, 9> kOperatorSliders = {{
    {"TM1Alpha", "horizontalSlider_TMAlpha", "Undo on TM1 first parameter", 0, 0,
     [](float p) { return (p - 100.f) * -0.01f; }},
    {"TM1Beta", "horizontalSlider_TMBeta", "Undo on TM1 second parameter", 0, 1,
     [](float p) { return p * -0.01f; }},
    {"TM2Alpha", "horizontalSlider_TM2_Alpha", "Undo on TM2 first parameter", 1, 0,
     [](float p) { return p * 0.0025f + 0.75f; }},
    {"TM3Alpha", "horizontalSlider_TM3_Alpha", "Undo on TM3 first parameter", 4, 0,
     [](float p) { return (p + 100.f) * 0.005f; }},
    {"TM3Beta", "horizontalSlider_TM3_Beta", "Undo on TM3 second parameter", 4, 1,
     [](float p) { return (p + 100.f) * 0.01f; }},
    {"TM3Gamma", "horizontalSlider_TM3_Gamma", "Undo on TM3 third parameter", 4, 2,
     [](float p) { return (p + 101.f) * 25.f; }},
    {"TM4Alpha", "horizontalSlider_TM4_Alpha", "Undo on TM4 first parameter", 2, 0,
     [](float p) { return (p + 100.f) * 0.05f; }},
    {"TM4Beta", "horizontalSlider_TM4_Beta", "Undo on TM4 second parameter", 2, 1,
     [](float p) { return (p + 100.f) * 0.1f; }},
    {"TM4Gamma", "horizontalSlider_TM4_Gamma", "Undo on TM4 third parameter", 2, 2,
     [](float p) { return (p + 100.f) * 0.05f; }},
}};

const ToneControl* toneControlByKey(const char* key) {
    const auto it = std::find_if(kToneControls.begin(), kToneControls.end(),
                                 [key](const ToneControl& c) { return std::strcmp(c.key, key) == 0; });
    return it == kToneControls.end() ? nullptr : &*it;
}

const ToneControl* toneControlOf(int ControlPositions::*position) {
    const auto it = std::find_if(kToneControls.begin(), kToneControls.end(),
                                 [position](const ToneControl& c) { return c.position == position; });
    return it == kToneControls.end() || !position ? nullptr : &*it;
}

int positionOf(const ControlPositions& positions, const ToneControl& control) {
    return control.onOff ? int(positions.*control.onOff) : positions.*control.position;
}

void setPositionOf(ControlPositions& positions, const ToneControl& control, int position) {
    if (control.onOff)
        positions.*control.onOff = position != 0;
    else
        positions.*control.position = position;
}

ControlPositions::ControlPositions() {
    for (const ToneControl& c : kToneControls)
        setPositionOf(*this, c, c.designed);
}

ControlPositions ControlPositions::bounded() const {
    ControlPositions p = *this;
    for (const ToneControl& c : kToneControls)
        if (c.position)
            p.*c.position = std::clamp(p.*c.position, c.low, c.high);
    return p;
}

bool ControlPositions::operator==(const ControlPositions& o) const {
    return std::all_of(kToneControls.begin(), kToneControls.end(),
                       [&](const ToneControl& c) { return positionOf(*this, c) == positionOf(o, c); });
}

std::array<float, 3> operatorTripleFromPositions(int operatorIndex, int alphaPos, int betaPos, int gammaPos) {
    const int op = clampOperatorIndex(operatorIndex);
    const int positions[3] = {alphaPos, betaPos, gammaPos};
    std::array<float, 3> triple{0.f, 0.f, 0.f};
    for (const OperatorSlider& s : kOperatorSliders)
        if (s.operatorIndex == op)
            triple[std::size_t(s.element)] = s.value(static_cast<float>(positions[s.element]));
    return triple;
}

} // namespace lumora
