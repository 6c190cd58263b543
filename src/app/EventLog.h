#pragma once
// The process-wide, append-only event log: errors the user does not see at once (unreadable frames, failed
// alignment, preset file errors). Callable from any thread; a write that fails loses the entry silently.

#include <ctime>
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

// "MM/DD/YYYY hh:mm:ss" (month first) of a broken-down local time.
std::string formatLogTimestamp(const std::tm& localTime);

} // namespace lumora
