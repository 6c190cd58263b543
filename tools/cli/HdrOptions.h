#pragma once
// --peak and --transfer, the HDR choices of every command that writes an image (they matter to .avif and
// .exr outputs only).

#include "CommandLine.h"
#include "export/HdrExport.h"

namespace lumora::cli {

// The lines the commands' --help add for these options.
extern const char* const kHdrOptionsHelp;

void addHdrOptions(CommandLine& line);
// The choices given (the defaults where absent); false after printing a usage error.
bool readHdrOptions(CommandLine& line, HdrChoices& hdr);

} // namespace lumora::cli
