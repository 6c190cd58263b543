#include "ui/WorkflowTables.h"

namespace lumora {
namespace {

using A = LayoutCell;

// Helpers keep the rows readable as one line per cell.
LayoutCell page(const char* stack, const char* page, unsigned modes = kAllModes) {
    return {stack, A::Page, page, true, modes};
}
LayoutCell shown(const char* widget, bool on, unsigned modes = kAllModes) {
    return {widget, A::Visible, nullptr, on, modes};
}
LayoutCell enabled(const char* target, bool on, unsigned modes = kAllModes) {
    return {target, A::Enabled, nullptr, on, modes};
}

// Columns of the action table, in order.
constexpr const char* kClose = "actionClose";
constexpr const char* kUndo = "actionUndo";
constexpr const char* kRedo = "actionRedo";
constexpr const char* kHistogram = "actionHide_Show_histogram_panel";
constexpr const char* kExif = "actionShow_EXIF";
constexpr const char* kToneCurve = "actionShow_tone_curve";
constexpr const char* kOver = "actionHighlight_over_exposed_pixels";
constexpr const char* kUnder = "actionHighlight_under_exposed_pixels";
constexpr const char* kVideoMenu = "menuVideo";

constexpr const char* kCentral = "stackedWidget_CentralWidget";
constexpr const char* kDock = "stackedWidget_VerticalDock";
constexpr const char* kOptions = "stackedWidget_SelectingEditingOptions";
constexpr const char* kValidation = "stackedWidget_SelectingEditingValidation";
constexpr const char* kBottom = "stackedWidget_CentralWidgetBottom";

// The three timeline markers that only the Pro parameter step edits.
void trimMarkers(std::vector<LayoutCell>& cells, bool on) {
    cells.push_back(shown("label_TrimStartPlayingBar", on));
    cells.push_back(shown("label_TrimEndPlayingBar", on));
    cells.push_back(shown("frame_CursorSelectorFlag", on));
    cells.push_back(shown("line_CursorSelectorFlag", on));
}

std::array<StateLayout, 7> buildStateLayouts() {
    std::array<StateLayout, 7> rows;

    StateLayout& selecting = rows[0];
    selecting.state = SelectingFrame;
    selecting.selectMenu = {"1", "1", "1"};
    selecting.cells = {
        page(kDock, "page_BASICCLASSIC_SelectImage", kBasicClassic),
        page(kOptions, "page_VideoPreviewOptions", kBasicClassic),
        page(kValidation, "page_BASICCLASSICSelectImageNext", kBasicClassic),
        page(kDock, "page_PRO_SelectImage", kProBit),
        page(kBottom, "page_TimeLine"),
        enabled("frame_MainOptions", true),
        shown("frame_SecondOptions", false),
        enabled(kClose, true),
        enabled(kHistogram, true),
        enabled(kExif, true),
        enabled(kToneCurve, true),
        enabled(kOver, true),
        enabled(kUnder, true),
        enabled(kVideoMenu, true),
    };
    trimMarkers(selecting.cells, false);

    StateLayout& searching = rows[1];
    searching.state = SearchingSharpest;
    searching.selectMenu = {nullptr, nullptr, nullptr};
    searching.cells = {
        page(kBottom, "page_ProgressBar"),
        enabled("frame_MainOptions", false),
        shown("frame_SecondOptions", false),
        enabled("Panel_ProgressBar", true),
        shown("label_ByClickingStop", false),
        enabled(kClose, true),
        enabled(kHistogram, true),
        enabled(kExif, true),
        enabled(kToneCurve, true),
        enabled(kOver, false),
        enabled(kUnder, false),
        enabled(kVideoMenu, false),
    };

    StateLayout& defining = rows[2];
    defining.state = DefiningParameters;
    defining.selectMenu = {"2", "2", "2"};
    defining.cells = {
        page(kDock, "page_PRO_DefineParams"),
        page(kBottom, "page_TimeLine"),
        enabled("frame_MainOptions", true),
        shown("frame_SecondOptions", false),
        enabled(kClose, true),
        enabled(kHistogram, true),
        enabled(kExif, true),
        enabled(kToneCurve, true),
        enabled(kOver, true),
        enabled(kUnder, true),
        enabled(kVideoMenu, true),
    };
    trimMarkers(defining.cells, true);

    StateLayout& editing = rows[3];
    editing.state = Editing;
    editing.selectMenu = {"2", "3", "1"};
    editing.cells = {
        page(kDock, "page_PRO_Editing", kProBit),
        page(kDock, "page_BASICCLASSIC_SelectImage", kBasicClassic),
        page(kOptions, "page_EditingOptions", kBasicClassic),
        page(kValidation, "page_BASICCLASSICEditingExport", kBasicClassic),
        page(kBottom, "page_TM"),
        shown("frame_SecondOptions", true, kAllModes & ~kBasicBit),
        shown("frame_SecondOptions", false, kBasicBit),
        enabled("frame_MainOptions", true),
        enabled("frame_SecondOptions", true),
        enabled("frame_BottomPresets", true),
        shown("frame_ToolsBottom", false),
        // Leaving a tool brings the comparison back, which the tool hid.
        shown("frame_BeforeAfter", true),
        enabled(kClose, true),
        enabled(kUndo, false),
        enabled(kRedo, false),
        enabled(kHistogram, true),
        enabled(kExif, true),
        enabled(kToneCurve, true),
        enabled(kOver, true),
        enabled(kUnder, true),
        enabled(kVideoMenu, false),
    };

    StateLayout& tool = rows[4];
    tool.state = ToolActive;
    tool.selectMenu = {nullptr, nullptr, nullptr};
    tool.cells = {
        enabled("frame_MainOptions", false),   enabled("frame_SecondOptions", false),
        enabled("frame_BottomPresets", false), shown("frame_ToolsBottom", true),
        shown("frame_BeforeAfter", false),
    };

    StateLayout& exporting = rows[5];
    exporting.state = Exporting;
    exporting.selectMenu = {"3", "4", "2"};
    exporting.cells = {
        page(kDock, "page_Exporting"),
        page(kBottom, "page_ProgressBar"),
        enabled("frame_MainOptions", true),
        shown("frame_SecondOptions", false),
        enabled("Panel_ProgressBar", true),
        shown("label_ByClickingStop", false),
        enabled("pushButton_ComputingCancel", true),
        enabled(kClose, true),
        enabled(kUndo, false),
        enabled(kRedo, false),
        enabled(kHistogram, true),
        enabled(kExif, true),
        enabled(kToneCurve, true),
        enabled(kOver, false),
        enabled(kUnder, false),
        enabled(kVideoMenu, false),
    };

    StateLayout& stacking = rows[6];
    stacking.state = Stacking;
    stacking.selectMenu = {nullptr, nullptr, nullptr};
    stacking.cells = {
        page(kBottom, "page_ProgressBar"),
        enabled("frame_MainOptions", false),
        shown("frame_SecondOptions", false),
        enabled("Panel_ProgressBar", true),
        shown("label_ByClickingStop", true),
        enabled(kClose, true),
        enabled(kUndo, false),
        enabled(kRedo, false),
        enabled(kHistogram, true),
        enabled(kExif, true),
        enabled(kToneCurve, true),
        enabled(kOver, false),
        enabled(kUnder, false),
        enabled(kVideoMenu, false),
    };
    return rows;
}

} // namespace

const std::vector<LayoutCell>& emptyWindowLayout() {
    static const std::vector<LayoutCell> cells = {
        page(kCentral, "page_VersionChoice", kNoModeBit),
        page(kCentral, "page_CentralHome", kChosenModes),
        enabled("actionOpen", false, kNoModeBit),
        enabled("actionOpen_photo_with_burst_mode", false, kNoModeBit),
        enabled("actionOpen_photo_for_tone_mapping", false, kNoModeBit),
        enabled("menuRecent_videos", false, kNoModeBit),
        enabled("actionOpen", true, kChosenModes),
        enabled("actionOpen_photo_with_burst_mode", true, kChosenModes),
        enabled("actionOpen_photo_for_tone_mapping", true, kChosenModes),
        enabled("menuRecent_videos", true, kChosenModes),
        enabled(kClose, false),
        enabled(kUndo, false),
        enabled(kRedo, false),
        enabled(kHistogram, false),
        enabled(kExif, false),
        enabled(kToneCurve, false),
        enabled(kOver, false),
        enabled(kUnder, false),
        enabled(kVideoMenu, false),
        shown("frame_MainOptions", false),
        shown(kBottom, false),
        shown("frame_SecondOptions", false),
    };
    return cells;
}

const std::vector<LayoutCell>& workspaceLayout() {
    static const std::vector<LayoutCell> cells = {
        page(kCentral, "page_Video"),
        shown("frame_MainOptions", true),
        shown(kBottom, true),
    };
    return cells;
}

const std::array<StateLayout, 7>& allStateLayouts() {
    static const std::array<StateLayout, 7> rows = buildStateLayouts();
    return rows;
}

const StateLayout& stateLayout(WorkspaceState state) {
    const auto& rows = allStateLayouts();
    for (const StateLayout& row : rows)
        if (row.state == state)
            return row;
    return rows[0];
}

std::vector<const char*> stepKeys(int mode, bool singlePhoto) {
    switch (mode) {
    case 1:
        if (singlePhoto)
            return {"BASICOnlyTMStep1", "BASICOnlyTMStep2"};
        return {"BASICStep1", "BASICStep2", "BASICStep3"};
    case 2:
        if (singlePhoto)
            return {"CLASSICOnlyTMStep1", "CLASSICOnlyTMStep2"};
        return {"CLASSICStep1", "CLASSICStep2", "CLASSICStep3"};
    case 3:
        if (singlePhoto)
            return {"PROOnlyTMStep1", "PROOnlyTMStep2"};
        return {"PROStep1", "PROStep2", "PROStep3", "PROStep4"};
    default:
        return {};
    }
}

namespace {

StepDecision act(StepAction a) {
    return {false, a};
}

// Basic and Classic share one table.
StepDecision decideBasicClassic(WorkspaceState state, bool s, int k) {
    switch (state) {
    case SelectingFrame:
        return act(k == 2 ? StepAction::Next : k >= 3 ? StepAction::Refuse : StepAction::Nothing);
    case Editing:
        if (s)
            return act(k == 1   ? StepAction::BackFromEditing
                       : k == 3 ? StepAction::ExportAll
                       : k == 4 ? StepAction::Refuse
                                : StepAction::Nothing);
        return act(k == 2 ? StepAction::ExportAll : StepAction::Nothing);
    case ToolActive: {
        StepDecision d = decideBasicClassic(Editing, s, k);
        d.cancelTool = k == 1 || k == 3;
        return d;
    }
    case Exporting:
        return act(k == (s ? 3 : 2) ? StepAction::Nothing : StepAction::Busy);
    default:
        return act(StepAction::Nothing);
    }
}

StepDecision decidePro(WorkspaceState state, bool s, int k) {
    switch (state) {
    case SelectingFrame:
        return act(k == 2 ? StepAction::Next : k >= 3 ? StepAction::Refuse : StepAction::Nothing);
    case SearchingSharpest:
        return act(k == 1 ? StepAction::Nothing : StepAction::Busy);
    case DefiningParameters:
        return act(k == 1   ? StepAction::BackToSelection
                   : k == 3 ? StepAction::StartStacking
                   : k == 4 ? StepAction::Refuse
                            : StepAction::Nothing);
    case Editing:
        if (s)
            return act(k == 1   ? StepAction::BackToSelection
                       : k == 2 ? StepAction::DefineParameters
                       : k == 4 ? StepAction::ExportEdited
                                : StepAction::Nothing);
        return act(k == 2 ? StepAction::ExportEdited : StepAction::Nothing);
    case ToolActive: {
        StepDecision d = decidePro(Editing, s, k);
        d.cancelTool = k == 1 || k == 2 || k == 4;
        return d;
    }
    case Exporting:
        return act(k == (s ? 4 : 2) ? StepAction::Nothing : StepAction::Busy);
    case Stacking:
        return act(k == 2 ? StepAction::Nothing : StepAction::Busy);
    }
    return act(StepAction::Nothing);
}

} // namespace

StepDecision decideStep(int mode, WorkspaceState state, bool hasSequence, int k) {
    if (k < 1 || k > 4)
        return {};
    if (mode == 1 || mode == 2)
        return decideBasicClassic(state, hasSequence, k);
    if (mode == 3)
        return decidePro(state, hasSequence, k);
    return {};
}

} // namespace lumora
