#include "SecretsFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

bool CSecretsFile::Create(const std::string& path, std::string& error) {
    m_fd.emplace(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (m_fd->get() < 0) {
        error = path + ": " + std::strerror(errno) +
                (errno == EEXIST ? " (an earlier secrets file is never written over)" : "");
        return false;
    }
    // Whatever the umask, the file is the owner's alone.
    ::fchmod(m_fd->get(), 0600);
    return true;
}

bool CSecretsFile::Write(const std::string& content, std::string& error) {
    if (!m_fd || m_fd->get() < 0 || ::ftruncate(m_fd->get(), 0) != 0) {
        error = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::pwrite(m_fd->get(), content.data() + done, content.size() - done,
                                   static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(m_fd->get()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace orv
