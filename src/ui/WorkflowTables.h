#pragma once
// The workflow as data: the step labels of each mode, how each workspace state lays out the window (pages of
// the stacked widgets, shown or enabled panels, enabled actions), and what a click on step k does. The window
// applies these tables; it does not re-decide them in code.

#include "ui/Workspace.h"

#include <array>
#include <vector>

namespace lumora {

// Modes as bits, so that a cell can apply to several of them.
enum ModeBits : unsigned {
    kNoModeBit = 1u << 0,
    kBasicBit = 1u << 1,
    kClassicBit = 1u << 2,
    kProBit = 1u << 3,
    kBasicClassic = kBasicBit | kClassicBit,
    kChosenModes = kBasicBit | kClassicBit | kProBit,
    kAllModes = kNoModeBit | kChosenModes,
};

inline unsigned modeBit(int mode) {
    return 1u << (mode >= 0 && mode <= 3 ? mode : 0);
}

// One effect on one object of the form, applied when the current mode is among `modes`.
struct LayoutCell {
    enum Aspect { Page, Visible, Enabled };
    const char* target; // stacked widget, widget, action or menu
    Aspect aspect;
    const char* page; // Page: the page to show
    bool on;          // Visible / Enabled
    unsigned modes;
};

// The highlighted step of a state: per mode family, and for a single photo; nullptr keeps the current one.
struct StepHighlight {
    const char* basicClassic;
    const char* pro;
    const char* singlePhoto;
};

struct StateLayout {
    WorkspaceState state;
    StepHighlight selectMenu;
    std::vector<LayoutCell> cells;
};

// The empty window (no workspace, or no current frame).
const std::vector<LayoutCell>& emptyWindowLayout();
// What every state with a workspace shares, applied before the state's own row.
const std::vector<LayoutCell>& workspaceLayout();
// The row of `state`.
const StateLayout& stateLayout(WorkspaceState state);
// Every state with its row, for checks over the whole table.
const std::array<StateLayout, 7>& allStateLayouts();

// Keys of the step labels: "nbMenu" is the number of keys.
std::vector<const char*> stepKeys(int mode, bool singlePhoto);

// What clicking step label k does.
enum class StepAction {
    Nothing,
    Refuse,           // "OperationNotAllowed"
    Busy,             // "WaitEndProcess"
    Next,             // leave frame selection
    BackFromEditing,  // back to frame selection, dropping the chosen selections
    BackToSelection,  // back to frame selection
    ExportAll,        // export every selection
    StartStacking,    // compute the light image
    DefineParameters, // Pro: back to the stacking parameters
    ExportEdited,     // Pro: export the edited selection
};

struct StepDecision {
    bool cancelTool = false; // leave the active tool first
    StepAction action = StepAction::Nothing;
};

StepDecision decideStep(int mode, WorkspaceState state, bool hasSequence, int k);

} // namespace lumora
