#include "imageio/CodecModule.h"

#include "app/EventLog.h"
#include "imageio/ProgramModule.h"

namespace lumora::imageio::codecs {

namespace {

struct Loaded {
    const Api* api = nullptr;
    std::string error;
};

Loaded load() {
    Loaded out;
    using Entry = const Api* (*)();
    const auto entry = reinterpret_cast<Entry>(openProgramModule(kModuleFile, kEntryPoint, &out.error));
    if (!entry)
        return out;
    const Api* api = entry();
    if (api && api->version == kApiVersion)
        out.api = api;
    else
        out.error = std::string(kModuleFile) + " is not a codec module of this version";
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
