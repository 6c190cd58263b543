#include "media/LibavLog.h"

#include "app/EventLog.h"

extern "C" {
#include <libavutil/log.h>
}

#include <chrono>
#include <cstdarg>
#include <mutex>
#include <string>

namespace lumora {
namespace {

constexpr int kEntriesPerSecond = 20;

std::mutex gMutex;
std::string gPending;                                 // a line libav sent in pieces
std::chrono::steady_clock::time_point gWindowStart{}; // the current second of the rate limit
int gInWindow = 0, gDropped = 0;

void logLine(const std::string& line) {
    const auto now = std::chrono::steady_clock::now();
    if (now - gWindowStart >= std::chrono::seconds(1)) {
        if (gDropped > 0)
            logError("libav", std::to_string(gDropped) + " more messages left out");
        gWindowStart = now;
        gInWindow = 0;
        gDropped = 0;
    }
    if (++gInWindow > kEntriesPerSecond)
        ++gDropped;
    else
        logError("libav", line);
}

void callback(void* context, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING)
        return;
    char text[1024];
    int printPrefix = 1;
    av_log_format_line2(context, level, format, args, text, sizeof text, &printPrefix);
    std::lock_guard<std::mutex> lock(gMutex);
    gPending += text;
    for (auto end = gPending.find('\n'); end != std::string::npos; end = gPending.find('\n')) {
        if (end > 0)
            logLine(gPending.substr(0, end));
        gPending.erase(0, end + 1);
    }
}

} // namespace

void routeLibavMessages() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(callback); });
}

} // namespace lumora
