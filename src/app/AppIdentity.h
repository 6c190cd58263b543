#pragma once
// Who the application is: these values locate the settings store and the per-user data directory, and the
// version is what the install-time mode records and the update check compares against.

#include <QString>

class QCoreApplication;

namespace lumora {

inline constexpr const char* kOrganizationName = "Tavrel";
inline constexpr const char* kOrganizationDomain = "tavrel.net";
inline constexpr const char* kApplicationName = "Lumora 2";
inline constexpr const char* kApplicationVersion = "2.0.3";

// Sets organization, domain, application name and version on the application object. Must run before
// anything opens the settings store or asks for standard paths.
void applyIdentity(QCoreApplication& app);

// Writable per-user data directory of the application, always ending with '/'. Created when missing.
QString userDataDirectory();

// Directory of the files shipped with the program (Lang/, Presets/), ending with '/': the executable's own
// directory when they sit beside it (build tree, unpacked copy), else the installed data directory found
// relative to the executable, so an installation works under any prefix or staging root.
QString applicationDirectory();

} // namespace lumora
