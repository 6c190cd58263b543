#pragma once
// Runs a helper program (exiftool) as a child process with an argument vector, never through a shell,
// with a time limit, and reports how it ended. Helpers are looked up beside our executable first, then in
// the installed helper directory, then on PATH.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <string>

namespace lumora {

struct ProcessOutcome {
    bool started = false;  // false: not found or not executable
    bool finished = false; // false: crashed, or killed at the time limit
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
    std::string error; // empty on a clean exit with status 0; otherwise what went wrong, for the log

    bool succeeded() const { return started && finished && exitCode == 0; }
};

// Absolute path of the helper `name`: beside the running executable when present there, else in our
// installed helper directory (lumora-decode lives there, relative to the executable), else found on PATH;
// empty when none has it.
QString findHelperProgram(const QString& name);

// This process's environment, plus the C library's request to back the heap with 2 MiB pages where the
// kernel allows it (glibc 2.35 on; older ones ignore it), for helpers that allocate much as they start:
// where page faults are dear, as in virtual machines, exiftool's Perl start and copy took 0.34 s of CPU in
// 4 KiB pages and 0.21 s in 2 MiB pages.
QProcessEnvironment largePageHeapEnvironment();

// Starts `program` with `arguments`, closes its standard input, collects both output streams and waits at
// most `timeoutMs` (killing it after that). Safe on any thread; it does not need a running event loop.
// `largePageHeap`: in largePageHeapEnvironment().
ProcessOutcome runProcess(const QString& program, const QStringList& arguments, int timeoutMs,
                          bool largePageHeap = false);

} // namespace lumora
