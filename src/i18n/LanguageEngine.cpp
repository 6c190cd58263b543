#include "i18n/LanguageEngine.h"

#include <QDir>
#include <QFileInfo>
#include <QVersionNumber>
#include <algorithm>
#include <fstream>
#include <sstream>

namespace lumora {
namespace {

constexpr const char* kFallbackLanguage = "English";

bool readLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

} // namespace

LanguageEngine& LanguageEngine::instance() {
    static LanguageEngine engine;
    return engine;
}

void LanguageEngine::setApplicationLanguageDirectory(const std::string& dir) {
    appDir_ = dir;
    initialised_ = false;
}

void LanguageEngine::setUserLanguageDirectory(const std::string& dir) {
    userDir_ = dir;
    initialised_ = false;
}

int LanguageEngine::compareVersions(const std::string& a, const std::string& b) {
    // The leading numbers of each; missing components count as 0 ("2" is "2.0.0.0").
    const auto version = [](const std::string& v) {
        return QVersionNumber::fromString(QString::fromStdString(v)).normalized();
    };
    const int order = QVersionNumber::compare(version(a), version(b));
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

LanguageEngine::FileHeader LanguageEngine::readHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    return headerFrom(in);
}

LanguageEngine::FileHeader LanguageEngine::parseHeader(const std::string& content) {
    std::istringstream in(content);
    return headerFrom(in);
}

std::map<std::string, std::string> LanguageEngine::parseTexts(const std::string& content) {
    std::istringstream in(content);
    std::map<std::string, std::string> texts;
    textsFrom(in, texts);
    return texts;
}

void LanguageEngine::loadTexts(const std::string& path, std::map<std::string, std::string>& into) {
    std::ifstream in(path, std::ios::binary);
    textsFrom(in, into);
}

LanguageEngine::FileHeader LanguageEngine::headerFrom(std::istream& in) {
    FileHeader h;
    std::string line;
    if (!readLine(in, line) || line.size() <= 6 || !startsWith(line, "#lang:"))
        return h;
    h.isLanguageFile = true;
    h.name = line.substr(6);
    if (readLine(in, line) && startsWith(line, "#V:"))
        h.version = line.substr(3);
    return h;
}

void LanguageEngine::textsFrom(std::istream& in, std::map<std::string, std::string>& into) {
    std::string line;
    while (readLine(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const size_t sep = line.find(":=");
        if (sep == std::string::npos)
            continue;
        std::string text = line.substr(sep + 2);
        // A message that needs a line break writes the two characters "\n".
        for (size_t p = text.find("\\n"); p != std::string::npos; p = text.find("\\n", p + 1))
            text.replace(p, 2, "\n");
        into[line.substr(0, sep)] = text;
    }
}

void LanguageEngine::scanDirectory(const std::string& dir) {
    const QDir qdir(QString::fromStdString(dir));
    if (!qdir.exists())
        return;
    const QStringList entries = qdir.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& entry : entries) {
        if (!entry.endsWith(QLatin1String(".txt")))
            continue;
        const std::string path = dir + entry.toStdString();
        const FileHeader h = readHeader(path);
        if (!h.isLanguageFile || h.name.empty())
            continue;
        auto it = available_.find(h.name);
        if (it == available_.end())
            available_.emplace(h.name, Available{path, h.version});
        else if (compareVersions(h.version, it->second.version) > 0)
            it->second = Available{path, h.version};
    }
}

void LanguageEngine::ensureInitialised() {
    if (initialised_)
        return;
    initialised_ = true;
    available_.clear();
    names_.clear();
    fallbackTexts_.clear();
    scanDirectory(appDir_);
    scanDirectory(userDir_);
    if (auto it = available_.find(kFallbackLanguage); it != available_.end())
        loadTexts(it->second.path, fallbackTexts_);
    else if (!available_.empty())
        loadTexts(available_.begin()->second.path, fallbackTexts_);
    for (const auto& [name, file] : available_)
        names_.push_back(name);
    // A current language chosen before a rescan stays current if it is still there.
    if (!current_.empty()) {
        currentTexts_.clear();
        if (auto it = available_.find(current_); it != available_.end())
            loadTexts(it->second.path, currentTexts_);
        else
            current_.clear();
    }
}

bool LanguageEngine::setLanguage(const std::string& name) {
    ensureInitialised();
    const auto it = available_.find(name);
    if (it == available_.end())
        return false;
    currentTexts_.clear();
    loadTexts(it->second.path, currentTexts_);
    current_ = name;
    return true;
}

std::vector<std::string> LanguageEngine::languageNames() {
    ensureInitialised();
    return names_;
}

std::string LanguageEngine::translate(const std::string& key) {
    ensureInitialised();
    if (auto it = currentTexts_.find(key); it != currentTexts_.end())
        return it->second;
    if (auto it = fallbackTexts_.find(key); it != fallbackTexts_.end())
        return it->second;
    return key;
}

QString LanguageEngine::translatedText(const std::string& key) {
    return QString::fromStdString(translate(key));
}

QString formatIntegers(const QString& pattern, const std::vector<int>& values) {
    QString out;
    std::size_t next = 0;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('%') && i + 1 < pattern.size()) {
            const QChar k = pattern[i + 1];
            if (k == QLatin1Char('%')) {
                out += QLatin1Char('%');
                ++i;
                continue;
            }
            if (k == QLatin1Char('d') && next < values.size()) {
                out += QString::number(values[next++]);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace lumora
