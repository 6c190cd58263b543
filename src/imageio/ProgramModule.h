#pragma once
// Finding and opening the modules loaded on first use (the codecs, the image libraries, motion estimation).

#include <string>

namespace lumora::imageio {

// Opens the module `file` from beside the running program (the build tree, and the helper that lives in the
// helper directory), else from the helper directory of an installation, and returns the symbol `entry` of
// the first that has it; null with `*error` saying where it looked and why not. The module is never closed.
void* openProgramModule(const char* file, const char* entry, std::string* error);

// A module's table of functions, or why there is none.
template <typename Api> struct ModuleTable {
    const Api* api = nullptr;
    std::string error;
};

// Opens `file` as openProgramModule does, calls its `entry` with `args` and keeps the table it returns when
// the table is of `version`; otherwise the reason, calling the file "not `kind` module of this version".
template <typename Api, typename... Args>
ModuleTable<Api> loadModuleTable(const char* file, const char* entry, int version, const char* kind,
                                 Args... args) {
    ModuleTable<Api> table;
    using Entry = const Api* (*)(Args...);
    const auto start = reinterpret_cast<Entry>(openProgramModule(file, entry, &table.error));
    if (!start)
        return table;
    const Api* api = start(args...);
    if (api && api->version == version)
        table.api = api;
    else
        table.error = std::string(file) + " is not " + kind + " module of this version";
    return table;
}

} // namespace lumora::imageio
