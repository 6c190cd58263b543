#pragma once
// Translated texts by key. Finds the language files ("*.txt" whose first line is "#lang:NAME") in the
// application's and the user's Lang/ directories, keeps the newest file of each language (application
// directory on a tie), and answers lookups from the current language, then English, then the key itself.

#include <QString>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace lumora {

class LanguageEngine {
public:
    // The process-wide engine used by the window and dialogs.
    static LanguageEngine& instance();

    // Both directories end with '/'. Setting one forgets what was scanned, so the next lookup rescans.
    void setApplicationLanguageDirectory(const std::string& dir);
    void setUserLanguageDirectory(const std::string& dir);

    std::string translate(const std::string& key);
    QString translatedText(const std::string& key);

    // Makes `name` current when a file of that language was found; otherwise nothing changes.
    bool setLanguage(const std::string& name);
    std::vector<std::string> languageNames();
    std::string currentLanguage() const { return current_; }

    // Dot-separated numeric versions padded to four components; <0, 0, >0 like strcmp.
    static int compareVersions(const std::string& a, const std::string& b);

    struct FileHeader {
        bool isLanguageFile = false;
        std::string name;
        std::string version;
    };
    static FileHeader readHeader(const std::string& path);
    // The same rules applied to a file's content already in memory.
    static FileHeader parseHeader(const std::string& content);
    static std::map<std::string, std::string> parseTexts(const std::string& content);

private:
    struct Available {
        std::string path;
        std::string version;
    };

    void ensureInitialised();
    void scanDirectory(const std::string& dir);
    // Later definitions of a key in the same file replace earlier ones.
    static void loadTexts(const std::string& path, std::map<std::string, std::string>& into);
    static FileHeader headerFrom(std::istream& in);
    static void textsFrom(std::istream& in, std::map<std::string, std::string>& into);

    std::string appDir_ = "Lang/";
    std::string userDir_ = "Lang/";
    bool initialised_ = false;
    std::map<std::string, Available> available_;
    std::vector<std::string> names_;
    std::string current_;
    std::map<std::string, std::string> currentTexts_;
    std::map<std::string, std::string> fallbackTexts_;
};

// A translated printf-style pattern with its "%d" conversions replaced by `values` in order ("%%" is a
// percent sign). Anything else is left as written: the pattern comes from a file users may edit, so it never
// reaches a real printf.
QString formatIntegers(const QString& pattern, const std::vector<int>& values);

// Shorthands on the process-wide engine.
inline std::string translate(const std::string& key) {
    return LanguageEngine::instance().translate(key);
}
inline QString translatedText(const std::string& key) {
    return LanguageEngine::instance().translatedText(key);
}

} // namespace lumora
