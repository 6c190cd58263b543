#pragma once
// --peak and --transfer, the HDR choices of every command that writes an image (they matter to .avif and
// .exr outputs only).

#include "StackOptions.h"
#include "export/HdrExport.h"

#include <QStringList>

namespace lumora::cli {

// The lines the commands' --help add for these options.
extern const char* const kHdrOptionsHelp;

// Takes args[i] (and its value, advancing i) when it is --peak NITS or --transfer pq|hlg.
OptionParse parseHdrOption(const QStringList& args, int& i, HdrChoices& hdr, QString* error);

} // namespace lumora::cli
