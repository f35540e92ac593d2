#include "LogFile.h"

#include "paths/AppPaths.h"
#include "text/Printable.h"
#include "text/TextConv.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <vector>

#include <sys/stat.h>
#if defined(_WIN32)
#include <direct.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr char kPrefix[] = "[orvantix]";

std::tm localTime(std::chrono::system_clock::time_point now, int* millis) {
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    if (millis != nullptr) {
        *millis = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
            1000);
    }
    std::tm tm{};
#if defined(_WIN32)
    localtime_s(&tm, &secs);
#else
    localtime_r(&secs, &tm);
#endif
    return tm;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool makeDir(const std::string& path) {
#if defined(_WIN32)
    return _mkdir(path.c_str()) == 0;
#else
    return ::mkdir(path.c_str(), 0755) == 0;
#endif
}

// Cuts a line to `max` bytes. A cut line keeps its final line feed, so a long
// message never runs into the next one in the file.
void cutLine(std::string& line, size_t max) {
    if (line.size() <= max) {
        return;
    }
    const bool hadNewline = !line.empty() && line.back() == '\n';
    line.resize(max);
    if (hadNewline && max > 0) {
        line.back() = '\n';
    }
}

std::atomic<bool> g_debugOutput{true};

void debugOutput(const char* text) {
    if (*text == '\0') {
        return;
    }
#if defined(_WIN32)
    OutputDebugStringA(text);
#else
    std::fputs(text, stderr);
#endif
}

std::string defaultLogDir() {
    std::string path = orv::paths::Current().logDir;
    if (path.size() > CLogFile::kPathSize - 1) {
        path.resize(CLogFile::kPathSize - 1);
    }
    return path;
}

} // namespace

CLogFile::CLogFile(std::string logDir, int linesPerFile, Clock clock)
    : m_dir(logDir.empty() ? defaultLogDir() : std::move(logDir)),
      m_linesPerFile(linesPerFile > 0 ? linesPerFile : kLinesPerFile),
      m_clock(clock ? std::move(clock) : Clock([] { return std::chrono::system_clock::now(); })) {
    CreateNewFile();
    m_writer = std::thread([this] { writeQueued(); });
}

CLogFile::~CLogFile() {
    {
        std::lock_guard lock(m_cs);
        m_stopping = true;
    }
    m_queuedCv.notify_all();
    m_writer.join();
}

bool CLogFile::CreateNewFile() {
    std::lock_guard lock(m_fileLock);
    return createNewFileLocked();
}

bool CLogFile::createNewFileLocked() {
    if (!CreateDirs(m_dir.c_str())) {
        return false;
    }
    RemoveOldFiles();

    const std::tm tm = localTime(m_clock(), nullptr);
    char name[64];
    std::snprintf(name, sizeof name, "qvlog%d-%02d-%02d %02d-%02d-%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    // Two files started within the same second (a rollover right after the
    // start) must not truncate each other: the later one gets a suffix.
    std::string path = m_dir + orv::kPathSep + name + ".txt";
    for (int n = 1; fileExists(path) && n < 1000; ++n) {
        path = m_dir + orv::kPathSep + name + "-" + std::to_string(n) + ".txt";
    }
    std::snprintf(m_szPath, sizeof m_szPath, "%s", path.c_str());

    if (std::FILE* f = std::fopen(m_szPath, "wb")) {
        std::fclose(f);
        m_bOpened = true;
    }
    return true;
}

void CLogFile::RemoveOldFiles() {
    const std::tm tm = localTime(m_clock(), nullptr);
    std::error_code ec;
    fs::directory_iterator it(m_dir, ec);
    if (ec) {
        return;
    }
    std::vector<fs::path> doomed;
    for (const auto& entry : it) {
        std::error_code entryEc;
        if (entry.is_directory(entryEc)) {
            continue;
        }
        const std::string name = entry.path().filename().string();
        if (name.find(".txt") == std::string::npos ||
            orv::IsLogOfEarlierMonth(name, tm.tm_year + 1900, tm.tm_mon + 1)) {
            doomed.push_back(entry.path());
        }
    }
    for (const auto& path : doomed) {
        fs::remove(path, ec);
    }
}

void CLogFile::WriteLine(const char* text, std::string echo) {
    if (text == nullptr) {
        return;
    }
    if (!m_bOpened.load()) {
        debugOutput(echo.c_str());
        return;
    }
    std::unique_lock lock(m_cs);
    Queued queued;
    if (++m_nLines >= m_linesPerFile) {
        queued.newFile = true;
        m_nLines = 0;
    }
    std::string line = orv::LogTimestamp(m_clock());
    line += ' ';
    line += text;
    cutLine(line, kLineSize - 1);

    // Lines end in CR LF on every platform, so a log reads the same wherever
    // it is opened.
    queued.bytes.reserve(line.size() + 4);
    for (char c : line) {
        if (c == '\n') {
            queued.bytes += '\r';
        }
        queued.bytes += c;
    }
    queued.echo = std::move(echo);
    m_writtenCv.wait(lock, [this] { return m_queuedBytes < kMaxQueuedBytes || m_stopping; });
    m_queuedBytes += queued.bytes.size() + queued.echo.size();
    m_queue.push_back(std::move(queued));
    ++m_queuedCount;
    if (m_queue.size() == 1) {
        m_queuedCv.notify_one();
    }
}

void CLogFile::writeQueued() {
    std::unique_lock lock(m_cs);
    for (;;) {
        m_queuedCv.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            return; // stopping, with everything written
        }
        std::vector<Queued> lines;
        lines.swap(m_queue);
        m_queuedBytes = 0;
        const std::uint64_t upTo = m_queuedCount;
        lock.unlock();
        write(lines);
        for (const Queued& line : lines) {
            debugOutput(line.echo.c_str());
        }
        lock.lock();
        m_writtenCount = upTo;
        m_writtenCv.notify_all();
    }
}

void CLogFile::write(const std::vector<Queued>& lines) {
    std::lock_guard lock(m_fileLock);
    // The file is opened once per batch and closed after it, so no handle
    // stays open between batches (a log folder on a stick can be pulled).
    std::FILE* f = nullptr;
    for (const Queued& line : lines) {
        if (line.newFile) {
            if (f != nullptr) {
                std::fclose(f);
                f = nullptr;
            }
            createNewFileLocked();
        }
        if (f == nullptr) {
            f = std::fopen(m_szPath, "ab");
        }
        if (f != nullptr) {
            std::fwrite(line.bytes.data(), 1, line.bytes.size(), f);
        }
    }
    if (f != nullptr) {
        std::fclose(f);
    }
}

void CLogFile::Flush() {
    std::unique_lock lock(m_cs);
    const std::uint64_t target = m_queuedCount;
    m_writtenCv.wait(lock, [this, target] { return m_writtenCount >= target; });
}

bool CLogFile::IsOpened() const {
    return m_bOpened.load();
}

std::string CLogFile::CurrentPath() {
    Flush();
    std::lock_guard lock(m_fileLock);
    return m_szPath;
}

void SetDebugOutput(bool on) {
    g_debugOutput.store(on);
}

CLogFile& TheLogFile() {
    static CLogFile logFile;
    return logFile;
}

void WriteLog(int level, const char* format, ...) {
    if (level != 1 || format == nullptr) {
        return;
    }
    char message[CLogFile::kLineSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);

    // Camera texts in a message never reach a terminal's tail -f raw.
    std::string line = kPrefix;
    line += orv::PrintableBytes(message);
    line += '\n';
    cutLine(line, CLogFile::kLineSize - 1);
    TheLogFile().WriteLine(line.c_str(), g_debugOutput.load() ? line : std::string());
}

void WriteLogW(int level, const wchar_t* format, ...) {
    if (level != 1 || format == nullptr) {
        return;
    }
    // vswprintf reports truncation only as a failure, so grow until it fits
    // and cut afterwards.
    std::vector<wchar_t> message(CLogFile::kLineSize);
    for (;;) {
        va_list args;
        va_start(args, format);
        const int n = std::vswprintf(message.data(), message.size(), format, args);
        va_end(args);
        if (n >= 0 || message.size() >= 64 * 1024) {
            break;
        }
        message.resize(message.size() * 2);
    }
    message.back() = L'\0';

    std::wstring wide = L"[orvantix]";
    wide += orv::FromUtf8(orv::Printable(orv::ToUtf8(message.data())));
    wide += L'\n';
    if (wide.size() > CLogFile::kLineSize - 1) {
        wide.resize(CLogFile::kLineSize - 1);
        wide.back() = L'\n';
    }
    std::string echo;
    if (g_debugOutput.load()) {
#if defined(_WIN32)
        OutputDebugStringW(wide.c_str());
#else
        echo = orv::ToUtf8(wide);
#endif
    }
    // The file gets the same escaped UTF-8 form that device texts take.
    std::wstring escaped;
    for (wchar_t c : wide) {
        if (c == L'\\' || c == L'\'') {
            escaped += L'\\';
        }
        escaped += c;
    }
    std::string line = orv::ToUtf8(escaped);
    cutLine(line, CLogFile::kLineSize - 1);
    TheLogFile().WriteLine(line.c_str(), std::move(echo));
}

bool GetModuleDir(char* buffer, int size) {
    if (buffer == nullptr || size <= 0) {
        return false;
    }
    std::string path;
#if defined(_WIN32)
    char raw[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, raw, MAX_PATH);
    path = raw;
#else
    std::error_code ec;
    path = fs::read_symlink("/proc/self/exe", ec).string();
#endif
    std::snprintf(buffer, static_cast<size_t>(size), "%s", path.c_str());
    char* sep = std::strrchr(buffer, orv::kPathSep);
    if (sep == nullptr) {
        return false;
    }
    *sep = '\0';
    return true;
}

bool CreateDirs(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        return false;
    }
    const std::string whole = path;
    for (size_t i = 0; i <= whole.size(); ++i) {
        if (i < whole.size() && whole[i] != orv::kPathSep) {
            continue;
        }
        const std::string prefix = whole.substr(0, i);
        // The empty prefix before a leading separator is the root; "C:" is
        // a drive and always exists when the path is usable at all.
        if (prefix.empty() || (prefix.size() == 2 && prefix[1] == ':')) {
            continue;
        }
        if (!isDirectory(prefix) && !makeDir(prefix)) {
            return false;
        }
    }
    return true;
}

namespace orv {

std::string LogTimestamp(std::chrono::system_clock::time_point now) {
    int ms = 0;
    const std::tm tm = localTime(now, &ms);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%d-%02d-%02d %02d:%02d:%02d:%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return stamp;
}

bool IsLogOfEarlierMonth(const std::string& name, int year, int month) {
    constexpr std::string_view kStem = "qvlog";
    if (name.compare(0, kStem.size(), kStem) != 0) {
        return false;
    }
    // The date must stand right behind the stem as digits, '-', two digits.
    size_t i = kStem.size();
    int fileYear = 0;
    int digits = 0;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && digits < 6) {
        fileYear = fileYear * 10 + (name[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0 || i + 2 >= name.size() || name[i] != '-' || name[i + 1] < '0' ||
        name[i + 1] > '9' || name[i + 2] < '0' || name[i + 2] > '9') {
        return false;
    }
    const int fileMonth = (name[i + 1] - '0') * 10 + (name[i + 2] - '0');
    if (fileMonth < 1 || fileMonth > 12) {
        return false;
    }
    return fileYear * 12 + fileMonth < year * 12 + month;
}

} // namespace orv
