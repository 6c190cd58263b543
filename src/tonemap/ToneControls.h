#pragma once
// The tone controls, each described once: its preset key, lumora-cli option, range, designed position, the
// preset files' rule for a missing field, what it sets in the engine and the editing page's widget. Presets,
// lumora-cli, the editing page and ToneMapEngine::setAll all walk these tables.

#include "tonemap/ToneMapEngine.h"

#include <array>
#include <cstddef>

namespace lumora {

enum class ToneControlKind {
    Switch,         // a check box (tone mapping on, sharpening on); its position is 0 or 1
    Operator,       // the operator index
    OperatorSlider, // alpha, beta or gamma of the chosen operator (see kOperatorSliders for the widgets)
    Slider          // strength, the adjustments, the clips and sharpening
};

// A missing field of a preset file takes the position the window's control had when the window started.
inline constexpr int kStartPosition = -1000;

struct ToneControl {
    ToneControlKind kind;
    const char* key;       // element of a preset file
    const char* cliOption; // lumora-cli's option; for a switch, the option that turns it off
    int low, high;         // range of the widget; files and options are brought into it when applied
    int designed;          // position of the widget when the window is built
    int missingInFile;     // position of a field a preset file lacks, or kStartPosition
    int ControlPositions::*position; // null for switches
    bool ControlPositions::*onOff;   // switches only
    // Sets the engine's value for a position, without touching the operator sliders' triple (null for those).
    void (*apply)(ToneMapEngine& engine, int position, bool recompute);
    const char* widget;    // object name on the editing page; null for the operator sliders
    const char* undoLabel; // null where the widget records its own step (operator choice, operator sliders)
    int helpLine;          // line of lumora-cli's help that lists the option; -1 where the help words it
};

// In preset file order.
extern const std::array<ToneControl, 21> kToneControls;

// The sliders of the operator pages. The slot names keep the operator pages' historical numbering, which is
// not the operator index: TM3 drives operator 4 and TM4 drives operator 2.
struct OperatorSlider {
    const char* slot;   // "TM1Alpha" -> horizontalSlider_TM1AlphaMoved
    const char* widget; // object name on the editing page
    const char* undoLabel;
    int operatorIndex;
    int element; // 0 alpha, 1 beta, 2 gamma
    float (*value)(float position);
};
extern const std::array<OperatorSlider, 9> kOperatorSliders;

// The row of a preset key or of a position field; null when there is none.
const ToneControl* toneControlByKey(const char* key);
const ToneControl* toneControlOf(int ControlPositions::*position);

int positionOf(const ControlPositions& positions, const ToneControl& control);
void setPositionOf(ControlPositions& positions, const ToneControl& control, int position);

} // namespace lumora
