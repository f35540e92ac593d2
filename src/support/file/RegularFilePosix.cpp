#include "RegularFile.h"
#include "UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {
namespace {

FileError openError(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return FileError::Missing;
    case ELOOP:
        return FileError::Link;
    default:
        return FileError::Unreadable;
    }
}

} // namespace

FileError WriteRegularFile(const std::filesystem::path& path, std::string_view bytes,
                           Readers readers) {
    struct stat there {};
    if (::lstat(path.c_str(), &there) == 0) {
        if (S_ISLNK(there.st_mode)) {
            return FileError::Link;
        }
        if (!S_ISREG(there.st_mode)) {
            return FileError::NotRegular;
        }
    } else if (errno != ENOENT) {
        return openError(errno);
    }
    std::string temporary = path.string() + ".XXXXXX";
    const UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return FileError::Unwritable;
    }
    // As a new file is made: the person's umask decides who reads it,
    // unless it holds what only its owner may read.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool written = ::fchmod(fd.get(), readers == Readers::OwnerOnly ? 0600 : 0666 & ~mask) == 0;
    for (std::size_t done = 0; written && done < bytes.size();) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        written = n > 0;
        done += written ? static_cast<std::size_t>(n) : 0;
    }
    written = written && ::fsync(fd.get()) == 0 && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) {
        ::unlink(temporary.c_str());
        return FileError::Unwritable;
    }
    return FileError::None;
}

FileContent ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes, Links links,
                            std::size_t firstBytes) {
    FileContent out;
    // Look before opening: opening a device can have effects of its own.
    struct stat before {};
    const int looked =
        links == Links::Refuse ? ::lstat(path.c_str(), &before) : ::stat(path.c_str(), &before);
    if (looked != 0) {
        out.error = openError(errno);
        return out;
    }
    if (S_ISLNK(before.st_mode)) {
        out.error = FileError::Link;
        return out;
    }
    if (!S_ISREG(before.st_mode)) {
        out.error = FileError::NotRegular;
        return out;
    }
    // Non-blocking, in case a FIFO took the file's place since the look.
    const int flags =
        O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (links == Links::Refuse ? O_NOFOLLOW : 0);
    const UniqueFd fd(::open(path.c_str(), flags));
    if (fd.get() < 0) {
        out.error = openError(errno);
        return out;
    }
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0) {
        out.error = FileError::Unreadable;
        return out;
    }
    if (!S_ISREG(opened.st_mode)) {
        out.error = FileError::NotRegular;
        return out;
    }
    out.size = static_cast<std::uint64_t>(opened.st_size);
    if (out.size > maxBytes) {
        out.error = FileError::TooLarge;
        return out;
    }
    const std::size_t want = std::min<std::size_t>(static_cast<std::size_t>(out.size), firstBytes);
    out.bytes.resize(want);
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd.get(), out.bytes.data() + got, want - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            out.error = FileError::Unreadable;
            out.bytes.clear();
            return out;
        }
        if (n == 0)
            break; // shrunk meanwhile
        got += static_cast<std::size_t>(n);
    }
    out.bytes.resize(got);
    if (want == out.size)
        out.size = got;
    return out;
}

} // namespace orv
