// The time an entry names, where the event log goes, and that concurrent writers never tear each other's
// entries.

#include "app/EventLog.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iomanip>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

TEST(EventLog, EntriesCarryTheDateAndTimeOfTheCall) {
    lumora::test::LogCapture log;
    const std::time_t before = std::time(nullptr);
    lumora::logError("getCvImageAt", "frame 12 unreadable");
    const std::time_t after = std::time(nullptr);
    std::tm stamp{};
    std::istringstream first(log.text());
    first >> std::get_time(&stamp, "%m/%d/%Y %H:%M:%S");
    ASSERT_FALSE(first.fail()) << log.text();
    stamp.tm_isdst = -1;
    EXPECT_GE(std::mktime(&stamp), before);
    EXPECT_LE(std::mktime(&stamp), after);
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
