#include "FuzzTargets.h"

#include "presets/PresetFiles.h"

#include <string>

namespace lumora::fuzz {

int fuzzPresetFile(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<PresetRecord> records = readPresetText(text, false);
    for (const PresetRecord& r : records) {
        if (r.name.empty())
            return failed("a preset read without a name");
        if (r.name.size() > static_cast<std::size_t>(kPresetNameLimit))
            return failed("a preset name longer than the limit");
    }
    // What we write must read back as the same records, or saving the user's list would alter it.
    const std::string written = presetDocumentText(records);
    if (readPresetText(written, false) != records)
        return failed("presets change when written and read back");
    return 0;
}

} // namespace lumora::fuzz
