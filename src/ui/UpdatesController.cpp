#include "ui/UpdatesController.h"

#include "ui/LumoraV2.h"

namespace lumora {

void UpdatesController::checkUpdates() {
    window_.refuseOperation();
}

} // namespace lumora
