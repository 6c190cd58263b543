#pragma once
// The process-wide, append-only event log: errors the user does not see at once (unreadable frames, failed
// alignment, preset file errors). Callable from any thread; a write that fails loses the entry silently.

#include <ctime>
#include <functional>
#include <string>

namespace lumora {

inline constexpr const char* kLogFileName = "LumoraLog.txt";

// Log path becomes directory + "LumoraLog.txt"; the directory must end with a separator.
void setLogDirectory(const std::string& directory);
// Current log file path ("LumoraLog.txt" in the working directory until a directory is set).
std::string logPath();

// Appends "<timestamp>\nERROR at function <place> => <message>\n\n".
void logError(const std::string& place, const std::string& message);
// Appends the notice written when the image library's version differs from the one we were built with.
void logLibraryVersionNotice();

// Sends every later entry (the text after the timestamp) to `sink` instead of the file; an empty function
// restores the file. The decoding helper uses it to hand its entries to Lumora, which logs them.
void redirectLog(std::function<void(const std::string& entry)> sink);

// Appends entries captured by redirectLog in another process, stamped with the current time.
void logForwarded(const std::string& entries);

// "MM/DD/YYYY hh:mm:ss" (month first) of a broken-down local time.
std::string formatLogTimestamp(const std::tm& localTime);

} // namespace lumora
