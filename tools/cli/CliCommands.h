#pragma once
// The sub-commands of lumora-cli. Each takes its own arguments (after the command name), prints its result on
// stdout and a one-line error on stderr, and returns the process exit status.

#include <QStringList>

namespace lumora::cli {

int runInfo(const QStringList& args);
int runPresets(const QStringList& args);
int runFrame(const QStringList& args);
int runStack(const QStringList& args);
int runSharpest(const QStringList& args);
int runTonemap(const QStringList& args);
int runRender(const QStringList& args);

} // namespace lumora::cli
