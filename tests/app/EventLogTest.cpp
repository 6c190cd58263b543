// The event log's entry format, where it goes, and that concurrent writers never tear each other's entries.

#include "app/EventLog.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <regex>
#include <thread>
#include <vector>

namespace {

TEST(EventLog, EntriesAreStampedWithTheTimeOfTheCallAndAppended) {
    lumora::test::LogCapture log;
    const std::time_t before = std::time(nullptr);
    lumora::logError("getCvImageAt", "frame 12 unreadable");
    const std::time_t after = std::time(nullptr);
    lumora::logLibraryVersionNotice();
    const std::string content = log.text();
    const std::regex entry(
        R"(^(\d\d)/(\d\d)/(\d{4}) (\d\d):(\d\d):(\d\d)\nERROR at function getCvImageAt => )"
        R"(frame 12 unreadable\n\n\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\nMESSAGE => [^\n]+\n\n$)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(content, m, entry)) << content;
    std::tm stamp{};
    stamp.tm_mon = std::stoi(m[1]) - 1;
    stamp.tm_mday = std::stoi(m[2]);
    stamp.tm_year = std::stoi(m[3]) - 1900;
    stamp.tm_hour = std::stoi(m[4]);
    stamp.tm_min = std::stoi(m[5]);
    stamp.tm_sec = std::stoi(m[6]);
    stamp.tm_isdst = -1;
    const std::time_t logged = std::mktime(&stamp);
    EXPECT_GE(logged, before);
    EXPECT_LE(logged, after);
}

TEST(EventLog, ConcurrentWritersNeverInterleaveEntries) {
    lumora::test::LogCapture log;
    constexpr int kThreads = 4, kEntries = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kEntries; ++i)
                lumora::logError("worker" + std::to_string(t), std::string(100, char('a' + t)));
        });
    for (auto& th : threads)
        th.join();
    const std::string content = log.text();
    const std::regex entry(
        R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\nERROR at function worker(\d) => ([a-d]{100})\n\n)");
    size_t count = 0;
    for (auto it = std::sregex_iterator(content.begin(), content.end(), entry); it != std::sregex_iterator();
         ++it) {
        EXPECT_EQ((*it)[2].str(), std::string(100, char('a' + std::stoi((*it)[1]))));
        ++count;
    }
    EXPECT_EQ(count, size_t(kThreads * kEntries));
    // Nothing but whole entries: their total length is the file's length.
    const size_t entryLength =
        std::string("01/01/2026 00:00:00\nERROR at function worker0 => \n\n").size() + 100;
    EXPECT_EQ(content.size(), count * entryLength);
}

TEST(EventLog, GoesToTheWorkingDirectoryUntilSetAndLosesEntriesItCannotWriteSilently) {
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    lumora::setLogDirectory("");
    EXPECT_EQ(lumora::logPath(), "LumoraLog.txt");
    lumora::logError("main", "early");
    EXPECT_TRUE(QFile::exists(dir.filePath("LumoraLog.txt")));
    QDir::setCurrent(old);

    lumora::setLogDirectory("/nonexistent-dir-for-lumora-test/");
    lumora::logError("main", "lost"); // must neither throw nor crash
    EXPECT_FALSE(QFile::exists("/nonexistent-dir-for-lumora-test/LumoraLog.txt"));
    lumora::setLogDirectory("");
}

} // namespace
