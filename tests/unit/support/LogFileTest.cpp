#include "log/LogFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::regex kFileName(R"(qvlog\d{4}-\d{2}-\d{2} \d{2}-\d{2}-\d{2}(-\d+)?\.txt)");
const std::regex kLine(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}:\d{3} (.*)\r\n)");

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t pos; (pos = all.find('\n', start)) != std::string::npos; start = pos + 1) {
        lines.push_back(all.substr(start, pos + 1 - start));
    }
    if (start < all.size()) {
        lines.push_back(all.substr(start));
    }
    return lines;
}

std::set<std::string> logNames(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

std::tm today() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

} // namespace

TEST(LogFile, StartCreatesTheDirectoryAndOneEmptyFileNamedByTime) {
    TempDir tmp;
    const std::string dir = (tmp.path() / "a" / "b" / "Logs").string();
    CLogFile log(dir);
    ASSERT_TRUE(log.IsOpened());
    const auto names = logNames(dir);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(*names.begin(), kFileName)) << *names.begin();
    EXPECT_EQ(fs::file_size(log.CurrentPath()), 0u);
}

TEST(LogFile, WriteLineStampsEachLineAndEndsItWithCrLf) {
    TempDir tmp;
    CLogFile log(tmp.str());
    log.WriteLine("[orvantix]Parse IP Failed.\n");
    log.WriteLine(nullptr);
    const auto lines = readLines(log.CurrentPath());
    ASSERT_EQ(lines.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kLine)) << lines[0];
    EXPECT_EQ(m[1], "[orvantix]Parse IP Failed.");
}

TEST(LogFile, EveryNthLineStartsANewFile) {
    TempDir tmp;
    CLogFile log(tmp.str(), 5);
    std::vector<std::string> paths;
    for (int i = 1; i <= 10; ++i) {
        log.WriteLine(("line " + std::to_string(i) + "\n").c_str());
        if (paths.empty() || paths.back() != log.CurrentPath()) {
            paths.push_back(log.CurrentPath());
        }
    }
    // The 5th line goes into the second file, the counter restarts there, so
    // the second file takes five lines and the 10th opens the third.
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(readLines(paths[0]).size(), 4u);
    const auto second = readLines(paths[1]);
    ASSERT_EQ(second.size(), 5u);
    EXPECT_NE(second.front().find("line 5"), std::string::npos);
    EXPECT_EQ(readLines(paths[2]).size(), 1u);
    for (const auto& p : paths) {
        EXPECT_TRUE(std::regex_match(fs::path(p).filename().string(), kFileName)) << p;
    }
}

TEST(LogFile, ShippedRolloverCountIsTheDocumentedOne) {
    TempDir tmp;
    CLogFile log(tmp.str());
    for (int i = 1; i < CLogFile::kLinesPerFile; ++i) {
        log.WriteLine("x\n");
    }
    const std::string first = log.CurrentPath();
    log.WriteLine("the 102400th line\n");
    EXPECT_NE(log.CurrentPath(), first);
    EXPECT_EQ(readLines(first).size(), 102399u);
    EXPECT_EQ(readLines(log.CurrentPath()).size(), 1u);
}

TEST(LogFile, TwoThreadsWritingAtOnceProduceWholeLines) {
    TempDir tmp;
    CLogFile log(tmp.str());
    auto writer = [&log](char tag) {
        const std::string text = std::string(200, tag) + "\n";
        for (int i = 0; i < 300; ++i) {
            log.WriteLine(text.c_str());
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    const auto lines = readLines(log.CurrentPath());
    ASSERT_EQ(lines.size(), 600u);
    for (const auto& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, kLine));
        const std::string body = m[1];
        EXPECT_TRUE(body == std::string(200, 'a') || body == std::string(200, 'b'));
    }
}

TEST(LogFile, AnUncreatableDirectoryLeavesTheLogClosed) {
    TempDir tmp;
    tmp.write("plainfile", "not a directory");
    CLogFile log((tmp.path() / "plainfile" / "Logs").string());
    EXPECT_FALSE(log.IsOpened());
    log.WriteLine("dropped\n");
    EXPECT_FALSE(fs::exists(tmp.path() / "plainfile" / "Logs"));
    EXPECT_FALSE(CreateDirs(""));
    EXPECT_FALSE(CreateDirs(nullptr));
}

TEST(LogFile, StartRemovesEarlierMonthsAndForeignFilesOnly) {
    TempDir tmp;
    const std::tm now = today();
    const int year = now.tm_year + 1900;
    const int month = now.tm_mon + 1;
    char current[64];
    char lastMonth[64];
    char lastYear[64];
    std::snprintf(current, sizeof current, "qvlog%d-%02d-01 00-00-00.txt", year, month);
    std::snprintf(lastMonth, sizeof lastMonth, "qvlog%d-%02d-28 23-59-59.txt",
                  month == 1 ? year - 1 : year, month == 1 ? 12 : month - 1);
    std::snprintf(lastYear, sizeof lastYear, "qvlog%d-%02d-15 10-00-00.txt", year - 1, month);
    for (const char* name : std::initializer_list<const char*>{
             current, lastMonth, lastYear, "notes.txt", "core.dmp", "qvlog.txt"}) {
        tmp.write(name, "x");
    }
    fs::create_directory(tmp.path() / "archive");

    CLogFile log(tmp.str());
    const auto names = logNames(tmp.path());
    EXPECT_TRUE(names.count(current));
    EXPECT_FALSE(names.count(lastMonth));
    EXPECT_FALSE(names.count(lastYear));
    EXPECT_TRUE(names.count("notes.txt")) << "a name without a date stays";
    EXPECT_TRUE(names.count("qvlog.txt"));
    EXPECT_FALSE(names.count("core.dmp")) << "anything that is not .txt goes";
    EXPECT_TRUE(names.count("archive"));
    EXPECT_EQ(names.size(), 5u) << "current, notes, qvlog.txt, archive and the new log";
}

TEST(LogFile, MonthComparisonCrossesTheYear) {
    EXPECT_TRUE(orv::IsLogOfEarlierMonth("qvlog2012-12-31 23-59-59.txt", 2013, 1));
    EXPECT_FALSE(orv::IsLogOfEarlierMonth("qvlog2013-01-01 00-00-00.txt", 2013, 1));
    EXPECT_FALSE(orv::IsLogOfEarlierMonth("qvlog2014-01-01 00-00-00.txt", 2013, 5));
    EXPECT_FALSE(orv::IsLogOfEarlierMonth("qvlog2013-13-01.txt", 2014, 5));
    EXPECT_FALSE(orv::IsLogOfEarlierMonth("xqvlog2012-01-01.txt", 2013, 5));
    EXPECT_FALSE(orv::IsLogOfEarlierMonth("qvlog-2012-01.txt", 2013, 5));
}

// WriteLog goes to the process-wide log beside the test program.
TEST(WriteLog, OnlySwitchOneWritesAndLongMessagesAreCut) {
    ASSERT_TRUE(TheLogFile().IsOpened());
    const std::string path = TheLogFile().CurrentPath();
    const size_t before = readLines(path).size();

    WriteLog(0, "switch %d", 0);
    WriteLog(2, "switch %d", 2);
    EXPECT_EQ(readLines(path).size(), before);

    WriteLog(1, "Item(%d) Disconnect IPC:%s now:%d ipctime:%d (%d)", 3, "192.0.2.7", 100, 60, 40);
    WriteLog(1, "%s", std::string(1100, 'z').c_str());
    WriteLogW(1, L"Wide %ls 'q'", L"网络");
    const auto lines = readLines(path);
    ASSERT_EQ(lines.size(), before + 3);

    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[before], m, kLine));
    EXPECT_EQ(m[1], "[orvantix]Item(3) Disconnect IPC:192.0.2.7 now:100 ipctime:60 (40)");

    // 1023 bytes of line text (timestamp, blank, message, line feed), plus
    // the carriage return the file adds.
    EXPECT_EQ(lines[before + 1].size(), 1024u);
    EXPECT_EQ(lines[before + 1].substr(lines[before + 1].size() - 2), "\r\n");

    ASSERT_TRUE(std::regex_match(lines[before + 2], m, kLine));
    EXPECT_EQ(m[1], "[orvantix]Wide \xE7\xBD\x91\xE7\xBB\x9C \\'q\\'");
}
