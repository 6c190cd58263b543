#include "ui/ToolsController.h"

#include "ui/LumoraV2.h"
#include "ui/StepsController.h"
#include "ui/Workspace.h"

namespace lumora {

ToolsController::ToolsController(LumoraV2& window) : window_(window) {
    const WindowForm& f = window_.form();
    for (QPushButton* b : {f.basicClassic->pushButton_Crop, f.proEditing->pushButton_Crop_2})
        connect(b, &QPushButton::clicked, this, &ToolsController::PushButtonCropToolClicked);
    for (QPushButton* b : {f.basicClassic->pushButton_Horizon, f.proEditing->pushButton_Horizon_2})
        connect(b, &QPushButton::clicked, this, &ToolsController::PushButtonHorizonToolClicked);
    connect(f.presets->pushButton_ApplyTool, &QPushButton::clicked, this,
            &ToolsController::PushButtonApplyToolsClicked);
    connect(f.presets->pushButton_CancelTool, &QPushButton::clicked, this,
            &ToolsController::PushButtonCancelToolsClicked);
}

// No overlay exists yet: there is nothing to hide or show.
void ToolsController::hideOverlays() {}

void ToolsController::showOverlay(int) {}

void ToolsController::PushButtonCropToolClicked() {
    window_.refuseOperation();
}

void ToolsController::PushButtonHorizonToolClicked() {
    window_.refuseOperation();
}

void ToolsController::PushButtonApplyToolsClicked() {
    window_.refuseOperation();
}

void ToolsController::PushButtonCancelToolsClicked() {
    Workspace* ws = window_.workspace();
    if (!window_.hasMedium() || ws->state != ToolActive)
        return;
    ws->state = Editing;
    ws->activeTool = NoTool;
    window_.steps().updateWindow();
}

} // namespace lumora
