#include "log/LogFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

// A clock standing still at a local date and time.
CLogFile::Clock at(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const auto point = std::chrono::system_clock::from_time_t(std::mktime(&tm));
    return [point] { return point; };
}

} // namespace

TEST(LogFile, StartCreatesTheDirectoryAndOneEmptyFileNamedByTime) {
    TempDir tmp;
    const std::string dir = (tmp.path() / "a" / "b" / "Logs").string();
    CLogFile log(dir, CLogFile::kLinesPerFile, at(2013, 7, 4, 9, 5, 3));
    ASSERT_TRUE(log.IsOpened());
    EXPECT_EQ(logNames(dir), std::set<std::string>{"qvlog2013-07-04 09-05-03.txt"});
    EXPECT_EQ(fs::file_size(log.CurrentPath()), 0u);
    log.WriteLine("[orvantix]Parse IP Failed.\n");
    EXPECT_EQ(readLines(log.CurrentPath()).at(0).substr(0, 24), "2013-07-04 09:05:03:000 ");
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

// A log on a disk that stopped answering (here a pipe nobody reads yet)
// holds up no thread that writes to it, and loses nothing once it answers:
// the lines arrive in their order, each stamped when it was written.
// The debugging copy of each line goes to standard error from the writer's
// thread: a terminal or a pipe nobody reads holds up no thread that logs,
// and every copy still arrives, in order, once it is read.
TEST(LogFile, AStuckStandardErrorHoldsUpNoWriter) {
    TempDir tmp;
    CLogFile log(tmp.str());
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    // Full before the first line: nothing more goes in until it is read.
    ASSERT_EQ(::fcntl(pipeFds[1], F_SETFL, O_NONBLOCK), 0);
    const std::string filler(4096, 'f');
    std::size_t filled = 0;
    for (ssize_t n = 0; n >= 0; filled += n > 0 ? static_cast<std::size_t>(n) : 0) {
        n = ::write(pipeFds[1], filler.data(), filler.size());
    }
    ASSERT_EQ(::fcntl(pipeFds[1], F_SETFL, 0), 0);
    struct Restore {
        int saved = ::dup(STDERR_FILENO);
        ~Restore() {
            ::dup2(saved, STDERR_FILENO);
            ::close(saved);
        }
    } restore;
    ASSERT_GE(::dup2(pipeFds[1], STDERR_FILENO), 0);
    ::close(pipeFds[1]);

    std::atomic<bool> written{false};
    std::thread writer([&] {
        for (int i = 0; i < 50; ++i) {
            const std::string echo = "echo " + std::to_string(i) + "\n";
            log.WriteLine(echo.c_str(), echo);
        }
        written = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (!written && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(written) << "a thread that logs waited for standard error";
    std::string all;
    char buffer[8192];
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (all.find("echo 49\n") == std::string::npos &&
           std::chrono::steady_clock::now() < giveUp) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        all.append(buffer, static_cast<std::size_t>(n));
    }
    writer.join();
    log.Flush();
    ::close(pipeFds[0]);
    ASSERT_GE(all.size(), filled);
    std::string expected;
    for (int i = 0; i < 50; ++i) {
        expected += "echo " + std::to_string(i) + "\n";
    }
    EXPECT_EQ(all.substr(filled), expected);
}

TEST(LogFile, AStuckDiskHoldsUpNoWriterAndLosesNoLine) {
    TempDir tmp;
    CLogFile log(tmp.str());
    const std::string path = log.CurrentPath();
    ASSERT_TRUE(fs::remove(path));
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::atomic<bool> written{false};
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i) {
            log.WriteLine(("line " + std::to_string(i) + "\n").c_str());
        }
        written = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (!written && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(written) << "a thread that logs waited for the disk";
    // The disk answers again. The reading end stays open from batch to
    // batch: a writer that opened the pipe just before its reader let go
    // would write into a pipe without a reader.
    std::string all;
    std::thread reader([&] {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        char buffer[4096];
        while (fd >= 0 && std::count(all.begin(), all.end(), '\n') < 200 &&
               std::chrono::steady_clock::now() < giveUp) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                all.append(buffer, static_cast<std::size_t>(n));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        if (fd >= 0) {
            ::close(fd);
        }
    });
    writer.join();
    log.Flush();
    reader.join();
    std::istringstream lines(all);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_NE(line.find(" line " + std::to_string(count) + "\r"), std::string::npos) << line;
        ++count;
    }
    EXPECT_EQ(count, 200);
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
    for (const char* name :
         {"qvlog2013-01-01 00-00-00.txt", "qvlog2012-12-31 23-59-59.txt",
          "qvlog2012-01-15 10-00-00.txt", "qvlog2014-01-01 00-00-00.txt", "qvlog2012-13-01.txt",
          "xqvlog2012-01-01.txt", "qvlog-2012-01.txt", "notes.txt", "core.dmp"}) {
        tmp.write(name, "x");
    }
    fs::create_directory(tmp.path() / "archive");

    // In January the year's turn decides what is old.
    CLogFile log(tmp.str(), CLogFile::kLinesPerFile, at(2013, 1, 5));
    std::set<std::string> expected{"qvlog2013-01-01 00-00-00.txt",
                                   "qvlog2014-01-01 00-00-00.txt",
                                   "qvlog2012-13-01.txt",
                                   "xqvlog2012-01-01.txt",
                                   "qvlog-2012-01.txt",
                                   "notes.txt",
                                   "archive",
                                   "qvlog2013-01-05 12-00-00.txt"};
    EXPECT_EQ(logNames(tmp.path()), expected)
        << "earlier months and anything that is not .txt go; names without a date stay";
}

// WriteLog goes to the process-wide log beside the test program.
TEST(WriteLog, OnlySwitchOneWritesAndLongMessagesAreCut) {
    ASSERT_TRUE(TheLogFile().IsOpened());
    const std::string path = TheLogFile().CurrentPath();
    const size_t before = readLines(path).size();

    WriteLog(0, "switch %d", 0);
    WriteLog(2, "switch %d", 2);
    TheLogFile().Flush();
    EXPECT_EQ(readLines(path).size(), before);

    WriteLog(1, "Item(%d) Disconnect IPC:%s now:%d ipctime:%d (%d)", 3, "192.0.2.7", 100, 60, 40);
    WriteLog(1, "%s", std::string(1100, 'z').c_str());
    WriteLogW(1, L"Wide %ls 'q'", L"网络");
    TheLogFile().Flush();
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
