#pragma once
// The diagnostic log: one file per program start (and per 102400 lines) in the
// log folder (Logs/ beside the program, or the user's state folder when
// installed; see paths/AppPaths.h), plus the developer trace on standard
// error. Only messages written with output switch 1 reach either channel.
//
// A writer thread of the log's own puts the lines on disk, in the order they
// were written and each stamped when it was written, a few milliseconds
// later: a thread that logs (the window's among them) never waits for the
// disk, nor for another thread's write. The lines still queued are written
// when the log is destroyed at exit; only a crash can lose them.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__GNUC__)
#define ORV_PRINTF_FORMAT(fmtIndex, argIndex) __attribute__((format(printf, fmtIndex, argIndex)))
#else
#define ORV_PRINTF_FORMAT(fmtIndex, argIndex)
#endif

namespace orv {
#if defined(_WIN32)
inline constexpr char kPathSep = '\\';
#else
inline constexpr char kPathSep = '/';
#endif
} // namespace orv

class CLogFile {
public:
    static constexpr int kLinesPerFile = 102400;
    static constexpr int kPathSize = 256;
    static constexpr int kLineSize = 1024;

    // The wall clock that names the files and decides which months are old.
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // `logDir` empty: the log folder orv::paths::Current() names.
    // `linesPerFile` lets tests reach a rollover without writing 102400
    // lines, `clock` lets them stand on any date; the program always uses
    // the defaults.
    explicit CLogFile(std::string logDir = {}, int linesPerFile = kLinesPerFile,
                      Clock clock = nullptr);
    // Writes what is still queued.
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Starts a new, empty log file named after the current local time and
    // removes the files of earlier months. False only when the log
    // directory cannot be created.
    bool CreateNewFile();
    void RemoveOldFiles();
    // Queues "<timestamp> <text>" for the current file; a line that cannot
    // be written is dropped. Waits only when a megabyte of lines is still
    // queued (a disk that stopped taking them). `echo`, when given, goes to
    // the debugging output after the file, from the writer's thread: a
    // terminal or a pipe that is slow to read, or another thread holding
    // the standard error stream, never holds up the caller.
    void WriteLine(const char* text, std::string echo = {});
    // Returns once every line written before is on disk.
    void Flush();

    bool IsOpened() const;
    // The current file, with every line written so far in it.
    std::string CurrentPath();
    const std::string& Directory() const { return m_dir; }

private:
    // A line's bytes, and whether a new file starts with it.
    struct Queued {
        bool newFile = false;
        std::string bytes;
        std::string echo;
    };
    static constexpr std::size_t kMaxQueuedBytes = 1 << 20;

    // Under m_fileLock.
    bool createNewFileLocked();
    void writeQueued();
    void write(const std::vector<Queued>& lines);

    std::string m_dir;
    const int m_linesPerFile;
    const Clock m_clock;
    std::atomic<bool> m_bOpened{false};
    // The file and its path: the writer's, and CreateNewFile's.
    std::mutex m_fileLock;
    char m_szPath[kPathSize] = {};
    // The queue and the line count: every writing thread's.
    std::mutex m_cs;
    std::condition_variable m_queuedCv;  // lines to write, or the end
    std::condition_variable m_writtenCv; // lines written
    int m_nLines = 0;
    std::vector<Queued> m_queue;
    std::size_t m_queuedBytes = 0;
    std::uint64_t m_queuedCount = 0;
    std::uint64_t m_writtenCount = 0;
    bool m_stopping = false;
    std::thread m_writer; // last: it starts once the rest is set up
};

// The process-wide log, created before anything else runs.
CLogFile& TheLogFile();

void WriteLog(int level, const char* format, ...) ORV_PRINTF_FORMAT(2, 3);
// The developer trace on standard error is on by default; a program whose
// standard error belongs to its user (the command line) switches it off.
void SetDebugOutput(bool on);
void WriteLogW(int level, const wchar_t* format, ...);

// Directory of the running program (without the trailing separator).
// False when no separator was found in the program path.
bool GetModuleDir(char* buffer, int size);
// Creates every missing directory along `path`; true when all exist after.
bool CreateDirs(const char* path);

namespace orv {
// "%d-%02d-%02d %02d:%02d:%02d:%03d" of `now` in local time.
std::string
LogTimestamp(std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
// True when a log file name carries a date of a month before `year`/`month`.
bool IsLogOfEarlierMonth(const std::string& name, int year, int month);
} // namespace orv
