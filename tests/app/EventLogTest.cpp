// The event log's entry format, where it goes, and that concurrent writers never tear each other's entries.

#include "app/EventLog.h"

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        lumora::setLogDirectory(dir_.path().toStdString() + "/");
    }
    std::string path() const { return dir_.path().toStdString() + "/LumoraLog.txt"; }
    QTemporaryDir dir_;
};

TEST(EventLogFormat, TimestampIsMonthFirstWithZeroPadding) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 2; // March
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    EXPECT_EQ(lumora::formatLogTimestamp(t), "03/05/2026 14:07:09");
    t.tm_mon = 11;
    t.tm_mday = 31;
    t.tm_hour = 0;
    t.tm_min = 0;
    t.tm_sec = 0;
    EXPECT_EQ(lumora::formatLogTimestamp(t), "12/31/2026 00:00:00");
}

TEST_F(EventLogTest, ErrorEntryIsTimestampLineThenPlaceAndMessageThenBlankLine) {
    const std::time_t before = std::time(nullptr);
    lumora::logError("getCvImageAt", "frame 12 unreadable");
    const std::time_t after = std::time(nullptr);

    const std::string content = readAll(path());
    const std::regex entry(R"(^(\d\d)/(\d\d)/(\d{4}) (\d\d):(\d\d):(\d\d)\nERROR at function getCvImageAt => )"
                           R"(frame 12 unreadable\n\n$)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(content, m, entry)) << content;

    // The stamp is the local time of the call, to the second.
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

TEST_F(EventLogTest, EntriesAppendAndLibraryNoticeHasItsOwnForm) {
    lumora::logError("main", "first");
    lumora::logLibraryVersionNotice();
    const std::string content = readAll(path());
    const size_t first = content.find("\nERROR at function main => first\n\n");
    const size_t notice = content.find("\nMESSAGE => DevIL version is different...\n\n");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(notice, std::string::npos);
    EXPECT_LT(first, notice);
}

TEST_F(EventLogTest, ConcurrentWritersNeverInterleaveEntries) {
    constexpr int kThreads = 4, kEntries = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kEntries; ++i)
                lumora::logError("worker" + std::to_string(t), std::string(100, char('a' + t)));
        });
    for (auto& th : threads)
        th.join();

    const std::string content = readAll(path());
    const std::regex entry(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\nERROR at function worker(\d) => ([a-d]{100})\n\n)");
    size_t count = 0;
    for (auto it = std::sregex_iterator(content.begin(), content.end(), entry); it != std::sregex_iterator();
         ++it) {
        const int worker = std::stoi((*it)[1]);
        EXPECT_EQ((*it)[2].str(), std::string(100, char('a' + worker)));
        ++count;
    }
    EXPECT_EQ(count, size_t(kThreads * kEntries));
    // Nothing but whole entries: their total length is the file's length.
    const size_t entryLength = std::string("01/01/2026 00:00:00\nERROR at function worker0 => \n\n").size() + 100;
    EXPECT_EQ(content.size(), count * entryLength);
}

TEST(EventLogLocation, BeforeADirectoryIsSetTheLogIsInTheWorkingDirectory) {
    // A fresh process state is simulated by pointing the log at the bare name again.
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    lumora::setLogDirectory("");
    EXPECT_EQ(lumora::logPath(), "LumoraLog.txt");
    lumora::logError("main", "early");
    EXPECT_TRUE(QFile::exists(dir.filePath("LumoraLog.txt")));
    QDir::setCurrent(old);
}

TEST(EventLogLocation, UnwritableDirectoryLosesTheEntrySilently) {
    lumora::setLogDirectory("/nonexistent-dir-for-lumora-test/");
    lumora::logError("main", "lost"); // must neither throw nor crash
    EXPECT_FALSE(QFile::exists("/nonexistent-dir-for-lumora-test/LumoraLog.txt"));
}

} // namespace
