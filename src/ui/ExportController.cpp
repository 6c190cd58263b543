#include "ui/ExportController.h"

#include "ui/LumoraV2.h"

namespace lumora {

ExportController::ExportController(LumoraV2& window) : window_(window) {
    const WindowForm& f = window_.form();
    connect(f.basicClassic->pushButton_EditingExport, &QPushButton::clicked, this,
            [this] { PushButtonEditingExportClicked(nullptr); });
    connect(f.proEditing->pushButton_ProEditingExport, &QPushButton::clicked, this,
            &ExportController::PushButtonProEditingExportClicked);
}

bool ExportController::exportAll() {
    PushButtonEditingExportClicked(nullptr);
    return false;
}

void ExportController::stopExport() {}

void ExportController::PushButtonEditingExportClicked(SharpestImageSelection*) {
    window_.refuseOperation();
}

void ExportController::PushButtonProEditingExportClicked() {
    window_.refuseOperation();
}

void ExportController::saveCurrentFrame() {
    window_.refuseOperation();
}

} // namespace lumora
