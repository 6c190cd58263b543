#pragma once
// What the command line asks of the program at start, and the install-time mode that records the chosen
// language and the installed version without showing a window.

#include <QString>
#include <QStringList>

namespace lumora {

struct StartupRequest {
    enum class Kind { Normal, OpenPath, Install };
    Kind kind = Kind::Normal;
    QString argument; // the path to open, or the language to install
};

// `arguments` excludes the program path. "-ii LANGUAGE [...]" is the install-time mode (byte-exact, case
// sensitive); exactly one argument is a path to open; anything else is a plain start.
StartupRequest parseCommandLine(const QStringList& arguments);

// Records "ChosenLanguage"; for a version not yet recorded also records it and re-arms the update notice and
// the first-run event. Store errors are not reported: installation must never fail on them.
void runInstallMode(const QString& language);

// Makes every large buffer (an image of a megabyte or more) its own mapping, given back to the system when it
// is freed. The C library otherwise raises that limit after the first large buffers go, and later images are
// carved from heaps that keep their pages: a window that makes picture after picture would grow by far more
// than the pictures it keeps. Call once at start, before threads run.
void returnLargeBuffersToTheSystem();

} // namespace lumora
