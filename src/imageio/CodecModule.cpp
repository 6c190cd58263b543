#include "imageio/CodecModule.h"

#include "app/EventLog.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace lumora::imageio::codecs {

namespace {

struct Loaded {
    const Api* api = nullptr;
    std::string error;
};

// The running program's directory, from the kernel rather than argv[0], which may be a bare name.
std::string programDirectory() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    const std::string exe(path, static_cast<size_t>(n));
    const size_t slash = exe.find_last_of('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

Loaded load() {
    Loaded out;
    const std::string dir = programDirectory();
    if (dir.empty()) {
        out.error = "the program's directory is unknown, so the codec module cannot be found";
        return out;
    }
    // Beside the program (the build tree, and the helper that lives in the helper directory), then in the
    // helper directory of an installation. Only absolute paths: the loader never searches for it.
    std::string tried;
    for (const std::string& candidate :
         {dir + "/" + kModuleFile, dir + "/" LUMORA_HELPERS_FROM_BINDIR "/" + kModuleFile}) {
        if (access(candidate.c_str(), R_OK) != 0)
            continue;
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            tried += " " + candidate + " (" + (why ? why : "unknown error") + ")";
            continue;
        }
        // Never closed: the codecs stay in use until the process ends.
        using Entry = const Api* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(handle, kEntryPoint));
        const Api* api = entry ? entry() : nullptr;
        if (api && api->version == kApiVersion) {
            out.api = api;
            return out;
        }
        tried += " " + candidate + " (not a codec module of this version)";
    }
    out.error = "the image codec module " + std::string(kModuleFile) + " could not be loaded from " + dir +
                (tried.empty() ? std::string(" or the helper directory") : ":" + tried);
    return out;
}

} // namespace

Result<const Api*> api() {
    static const Loaded loaded = [] {
        Loaded l = load();
        if (!l.api)
            logError("imageio", l.error);
        return l;
    }();
    if (!loaded.api)
        return failure(loaded.error);
    return loaded.api;
}

} // namespace lumora::imageio::codecs
