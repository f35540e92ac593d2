// The settings store as a file. Another local user must not be able to make
// a run of the program (perhaps as root) read or write a file of their
// choosing: the file lives only in the user's own configuration directory,
// which is private, links are neither followed nor written over, and the
// new file is written under a fresh name, created exclusively, then renamed
// into place.

#include "SettingsFile.h"
#include "SettingsStore.h"

#include "file/RegularFile.h"
#include "file/UniqueFd.h"
#include "log/LogFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace orv {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFileName = "settings.json";

fs::path configHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
        return xdg;
    // The home of the account the program runs as, not whatever HOME says:
    // a run through sudo may carry another user's HOME.
    const passwd* account = ::getpwuid(::geteuid());
    if (account == nullptr || account->pw_dir == nullptr || account->pw_dir[0] != '/')
        return {};
    return fs::path(account->pw_dir) / ".config";
}

// The directory, created private when missing; it must be a real directory
// of this user. -1 (logged) otherwise.
int openPrivateDirectory(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir.parent_path(), ec);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        WriteLog(1, "Settings directory %s cannot be created: %s.", dir.c_str(),
                 std::strerror(errno));
        return -1;
    }
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid()) {
        WriteLog(1, "Settings directory %s is not a directory of this user: not used.",
                 dir.c_str());
        return -1;
    }
    if ((st.st_mode & 077) != 0)
        ::fchmod(fd.get(), 0700);
    return fd.release();
}

// A new file beside the settings, under a name nobody can have prepared.
int createTemporary(int dirFd, std::string& name) {
    std::random_device random;
    for (int attempt = 0; attempt < 8; ++attempt) {
        name = std::string(".") + kFileName + "." + std::to_string(random()) + ".tmp";
        const int fd = ::openat(dirFd, name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0;
}

} // namespace

fs::path SettingsFilePath() {
    const fs::path home = configHome();
    return home.empty() ? fs::path() : home / "orvantix" / kFileName;
}

Credentials LoadCredentials() {
    const fs::path path = SettingsFilePath();
    if (path.empty())
        return {};
    const FileContent file = ReadRegularFile(path, settings::kMaxFileBytes, Links::Refuse);
    if (file.error != FileError::None) {
        if (file.error != FileError::Missing)
            WriteLog(1, "Settings file %s is %s: the defaults are used.", path.c_str(),
                     std::string(Describe(file.error)).c_str());
        return {};
    }
    return settings::Parse(file.bytes);
}

bool StoreCredentials(const Credentials& credentials) {
    const fs::path path = SettingsFilePath();
    if (path.empty()) {
        WriteLog(1, "No private directory for the settings: they are not stored.");
        return false;
    }
    const UniqueFd dir(openPrivateDirectory(path.parent_path()));
    if (dir.get() < 0)
        return false;
    // What is there and is not a regular file stays as it is.
    struct stat existing {};
    if (::fstatat(dir.get(), kFileName, &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(existing.st_mode)) {
        WriteLog(1, "Settings file %s is not a regular file: not written over.", path.c_str());
        return false;
    }
    std::string temporary;
    const UniqueFd file(createTemporary(dir.get(), temporary));
    if (file.get() < 0) {
        WriteLog(1, "Settings file %s cannot be written: %s.", path.c_str(), std::strerror(errno));
        return false;
    }
    if (!writeAll(file.get(), settings::Serialize(credentials)) ||
        ::renameat(dir.get(), temporary.c_str(), dir.get(), kFileName) != 0) {
        WriteLog(1, "Settings file %s cannot be written: %s.", path.c_str(), std::strerror(errno));
        ::unlinkat(dir.get(), temporary.c_str(), 0);
        return false;
    }
    return true;
}

} // namespace orv
