#include "app/Startup.h"

#include "app/AppIdentity.h"
#include "app/Settings.h"

namespace lumora {

StartupRequest parseCommandLine(const QStringList& arguments) {
    StartupRequest r;
    if (arguments.size() >= 2 && arguments.front() == QLatin1String("-ii")) {
        r.kind = StartupRequest::Kind::Install;
        r.argument = arguments.at(1);
    } else if (arguments.size() == 1) {
        r.kind = StartupRequest::Kind::OpenPath;
        r.argument = arguments.front();
    }
    return r;
}

void runInstallMode(const QString& language) {
    settings::write(settings::ChosenLanguage, language);
    const QString recorded = settings::read(settings::CurrentVersion);
    const QString version = QString::fromLatin1(kApplicationVersion);
    if (recorded.isEmpty() || recorded != version) {
        settings::write(settings::CurrentVersion, version);
        settings::write(settings::DoNotShowUpdates, false);
        settings::write(settings::IsFirstRunVersion, true);
    }
}

} // namespace lumora
