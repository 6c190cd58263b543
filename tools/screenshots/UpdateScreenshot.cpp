// The update question as the start-up check asks it, with Qt's own message box, for lumora_screenshots.

#include "LoopbackHttpServer.h"
#include "app/Settings.h"
#include "ui/LumoraV2.h"
#include "ui/UpdatesController.h"

#include <functional>

namespace lumora::test {

// Runs in the caller's settings store and language; leaves the update address blank again.
void shootUpdateQuestion(const std::function<void(const QString&)>& grabNextModal, const QString& name) {
    LoopbackHttpServer server;
    LoopbackHttpServer::Response offer;
    offer.body = "version=3.0.0;url=https://lumora.example/download";
    server.answer("/UIUpdate.html", offer);
    settings::write(settings::UpdateAddress, server.url("/UIUpdate.html").toString());

    LumoraV2 window;
    window.resize(1280, 800);
    window.show();
    grabNextModal(name);
    // The question is modal: the second wait ends once it was drawn and closed.
    waitUntil([&] { return !server.requests().empty(); });
    waitUntil([&] { return !window.updates().fetcher().isRunning(); });
    settings::write(settings::UpdateAddress, QString());
}

} // namespace lumora::test
