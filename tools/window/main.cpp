// Entry point of the window program: identity first (it locates the settings store), then either the
// install-time mode or the main window.

#include "app/AppIdentity.h"
#include "app/EventLog.h"
#include "app/ImageMemory.h"
#include "app/Startup.h"
#include "ui/LumoraV2.h"

#include <QApplication>
#include <exception>

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const lumora::StartupRequest request = lumora::parseCommandLine(arguments);

    // The install-time mode shows nothing, so it must also work where no display is available.
    if (request.kind == lumora::StartupRequest::Kind::Install) {
        QCoreApplication app(argc, argv);
        lumora::applyIdentity(app);
        lumora::runInstallMode(request.argument);
        return 0;
    }

    // Picture after picture is made and dropped in one long session: freed images must not stay resident.
    lumora::returnLargeBuffersToTheSystem();
    QApplication app(argc, argv);
    lumora::applyIdentity(app);
    lumora::useLargePagesForImages();
    // Lets Wayland desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(LUMORA_DESKTOP_ID));
    try {
        lumora::LumoraV2 window;
        window.show();
        if (request.kind == lumora::StartupRequest::Kind::OpenPath)
            window.openMediaByPath(request.argument);
        return app.exec();
    } catch (const std::exception& e) {
        lumora::logError("main", e.what());
        return 1;
    }
}
