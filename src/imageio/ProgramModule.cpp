#include "imageio/ProgramModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace lumora::imageio {

namespace {

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

} // namespace

void* openProgramModule(const char* file, const char* entry, std::string* error) {
    const std::string dir = programDirectory();
    if (dir.empty()) {
        *error = "the program's directory is unknown, so " + std::string(file) + " cannot be found";
        return nullptr;
    }
    // Only absolute paths: the loader never searches for it.
    std::string tried;
    for (const std::string& candidate : {dir + "/" + file, dir + "/" LUMORA_HELPERS_FROM_BINDIR "/" + file}) {
        if (access(candidate.c_str(), R_OK) != 0)
            continue;
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            tried += " " + candidate + " (" + (why ? why : "unknown error") + ")";
            continue;
        }
        if (void* symbol = dlsym(handle, entry))
            return symbol;
        tried += " " + candidate + " (no " + entry + ")";
    }
    *error = "the module " + std::string(file) + " could not be loaded from " + dir +
             (tried.empty() ? std::string(" or the helper directory") : ":" + tried);
    return nullptr;
}

} // namespace lumora::imageio
