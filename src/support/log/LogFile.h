#pragma once
// The diagnostic log: one file per program start (and per 102400 lines) in the
// log folder (Logs/ beside the program, or the user's state folder when
// installed; see paths/AppPaths.h), plus the developer trace on standard
// error. Only messages written with output switch 1 reach either channel.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

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
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Starts a new, empty log file named after the current local time and
    // removes the files of earlier months. False only when the log
    // directory cannot be created.
    bool CreateNewFile();
    void RemoveOldFiles();
    // Appends "<timestamp> <text>" to the current file under the lock; a
    // line that cannot be written is dropped.
    void WriteLine(const char* text);

    bool IsOpened() const;
    std::string CurrentPath() const;
    const std::string& Directory() const { return m_dir; }

private:
    bool createNewFileLocked();

    std::string m_dir;
    const int m_linesPerFile;
    const Clock m_clock;
    bool m_bOpened = false;
    int m_nLines = 0;
    char m_szPath[kPathSize] = {};
    mutable std::mutex m_cs;
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
