#pragma once
// Finding and opening the modules the image code loads on first use (the codecs, the image libraries).

#include <string>

namespace lumora::imageio {

// Opens the module `file` from beside the running program (the build tree, and the helper that lives in the
// helper directory), else from the helper directory of an installation, and returns the symbol `entry` of
// the first that has it; null with `*error` saying where it looked and why not. The module is never closed.
void* openProgramModule(const char* file, const char* entry, std::string* error);

} // namespace lumora::imageio
