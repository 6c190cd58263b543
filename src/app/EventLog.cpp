#include "app/EventLog.h"

#include <cstdio>
#include <mutex>

namespace lumora {
namespace {

// One lock for the path and for every append, so entries from concurrent threads never interleave.
std::mutex& logMutex() {
    static std::mutex m;
    return m;
}

std::string& logPathStorage() {
    static std::string path = kLogFileName;
    return path;
}

std::function<void(const std::string&)>& logSink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

void appendEntry(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(logMutex());
        if (logSink()) {
            logSink()(text);
            return;
        }
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string entry = formatLogTimestamp(local) + text;

    std::lock_guard<std::mutex> lock(logMutex());
    // Open, append, close for every entry: the log must survive a crash right after it.
    std::FILE* f = std::fopen(logPathStorage().c_str(), "ab");
    if (!f)
        return;
    std::fwrite(entry.data(), 1, entry.size(), f);
    std::fclose(f);
}

} // namespace

void setLogDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> lock(logMutex());
    logPathStorage() = directory + kLogFileName;
}

void redirectLog(std::function<void(const std::string& entry)> sink) {
    std::lock_guard<std::mutex> lock(logMutex());
    logSink() = std::move(sink);
}

std::string logPath() {
    std::lock_guard<std::mutex> lock(logMutex());
    return logPathStorage();
}

std::string formatLogTimestamp(const std::tm& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

void logError(const std::string& place, const std::string& message) {
    appendEntry("\nERROR at function " + place + " => " + message + "\n\n");
}

void logForwarded(const std::string& entries) {
    if (!entries.empty())
        appendEntry(entries);
}

void logLibraryVersionNotice() {
    appendEntry("\nMESSAGE => DevIL version is different...\n\n");
}

} // namespace lumora
