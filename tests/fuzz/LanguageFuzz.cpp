#include "FuzzTargets.h"

#include "i18n/LanguageEngine.h"

#include <string>

namespace lumora::fuzz {

int fuzzLanguageFile(const std::uint8_t* data, std::size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);

    const LanguageEngine::FileHeader header = LanguageEngine::parseHeader(content);
    if (header.isLanguageFile) {
        if (header.name.empty())
            return failed("a language file without a name");
        if (header.name.find('\n') != std::string::npos || header.version.find('\n') != std::string::npos)
            return failed("a header field spans lines");
    }

    for (const auto& [key, text] : LanguageEngine::parseTexts(content)) {
        if (key.find('\n') != std::string::npos)
            return failed("a key spans lines");
        if (!key.empty() && key[0] == '#')
            return failed("a comment line read as a text");
        if (text.find("\\n") != std::string::npos)
            return failed("an escaped line break left in a text");
    }

    return 0;
}

} // namespace lumora::fuzz
