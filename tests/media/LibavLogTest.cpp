// libav's messages reach the event log as whole lines, however libav cuts them into calls.

#include "media/LibavLog.h"
#include "TestEnvironment.h"

extern "C" {
#include <libavutil/log.h>
}

#include <gtest/gtest.h>

namespace {

TEST(LibavMessages, PiecesBecomeWholeLinesAndChatterStaysOut) {
    lumora::test::LogCapture log;
    lumora::routeLibavMessages();
    av_log(nullptr, AV_LOG_ERROR, "first ");
    av_log(nullptr, AV_LOG_ERROR, "half\nsecond");
    av_log(nullptr, AV_LOG_WARNING, " line\n\n");
    av_log(nullptr, AV_LOG_INFO, "chatter\n");
    const std::string text = log.text();
    EXPECT_NE(text.find("first half\n"), std::string::npos) << text;
    EXPECT_NE(text.find("second line\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("chatter"), std::string::npos) << text;
}

} // namespace
