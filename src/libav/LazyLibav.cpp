// Binds the entry points of LazyLibav.S to libav's functions on first call.

#include "libav/LazyLibav.h"

#include "app/EventLog.h"
#include "libav/LazySymbols.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

extern "C" void* lumora_libav_slots[];

namespace lumora::libav {

namespace {

#define LUMORA_NAME(name) #name,
const char* const kNames[] = {LUMORA_LIBAV_FUNCTIONS(LUMORA_NAME)};
#undef LUMORA_NAME

// The libraries' names as the build found them, separated by colons (libavformat first: it needs the others).
constexpr const char* kLibraries = LUMORA_LIBAV_SONAMES;

struct Libraries {
    std::vector<void*> handles;
    std::string error; // why one could not be loaded; empty when all were
};

const Libraries& libraries() {
    static const Libraries loaded = [] {
        Libraries l;
        const std::string all = kLibraries;
        for (size_t from = 0; from < all.size();) {
            const size_t colon = std::min(all.find(':', from), all.size());
            const std::string name = all.substr(from, colon - from);
            from = colon + 1;
            // Global, as if linked: libav's libraries find each other's symbols.
            void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_GLOBAL);
            if (!handle) {
                const char* why = dlerror();
                l.error += (l.error.empty() ? "" : "; ") + (why ? std::string(why) : name);
                continue;
            }
            l.handles.push_back(handle); // never closed: in use until the process ends
        }
        return l;
    }();
    return loaded;
}

} // namespace

Status available() {
    const Libraries& l = libraries();
    if (!l.error.empty())
        return failure(l.error);
    return {};
}

} // namespace lumora::libav

// Called by lumora_libav_bind with the entry's index; returns the real function. libav is a dependency of the
// package like any linked library: without it the process cannot go on, as it could not have started had the
// libraries been linked.
extern "C" __attribute__((visibility("hidden"))) void* lumora_libav_resolve(unsigned index) noexcept {
    using namespace lumora::libav;
    const char* name = index < sizeof kNames / sizeof *kNames ? kNames[index] : "?";
    for (void* handle : libraries().handles) {
        if (void* function = dlsym(handle, name)) {
            __atomic_store_n(&lumora_libav_slots[index], function, __ATOMIC_RELEASE);
            return function;
        }
    }
    const std::string why = "libav's " + std::string(name) + " cannot be found: " +
                            (libraries().error.empty() ? "not in the loaded libraries" : libraries().error);
    lumora::logError("libav", why);
    std::abort();
}
