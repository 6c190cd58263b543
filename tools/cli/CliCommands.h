#pragma once
// The sub-commands of lumora-cli. Each takes its own arguments (after the command name), prints its result on
// stdout and a one-line error on stderr, and returns the process exit status.

#include <QStringList>

namespace lumora::cli {

int runInfo(const QStringList& args);

} // namespace lumora::cli
