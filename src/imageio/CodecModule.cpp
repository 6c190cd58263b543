#include "imageio/CodecModule.h"

#include "app/EventLog.h"
#include "imageio/ProgramModule.h"

namespace lumora::imageio::codecs {

Result<const Api*> api() {
    static const ModuleTable<Api> loaded = [] {
        ModuleTable<Api> l = loadModuleTable<Api>(kModuleFile, kEntryPoint, kApiVersion, "a codec");
        if (!l.api)
            logError("imageio", l.error);
        return l;
    }();
    if (!loaded.api)
        return failure(loaded.error);
    return loaded.api;
}

} // namespace lumora::imageio::codecs
