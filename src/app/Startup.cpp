#include "app/Startup.h"

#include "app/AppIdentity.h"
#include "app/Settings.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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

void returnLargeBuffersToTheSystem() {
#if defined(__GLIBC__)
    // Setting the limit also stops the library from moving it; heaps trim once 4 MB lie free at their top.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 4 << 20);
#endif
}

} // namespace lumora
