#pragma once
// The sub-commands of lumora-cli. Each takes its own arguments (after the command name), prints its result on
// stdout and a one-line error on stderr, and returns the process exit status.

#include <QElapsedTimer>
#include <QStringList>

namespace lumora::cli {

// What the process spent before a command began, set once by main: the CPU time when main was entered
// (loading the shared libraries and their set-up, which run before any of our code), and a clock started
// there, so that a command can report the rest.
struct StartTimes {
    double load = 0.0;
    QElapsedTimer sinceMain;
};
StartTimes& startTimes();

int runInfo(const QStringList& args);
int runPresets(const QStringList& args);
int runFrame(const QStringList& args);
int runStack(const QStringList& args);
int runSharpest(const QStringList& args);
int runTonemap(const QStringList& args);
int runRender(const QStringList& args);

} // namespace lumora::cli
