#include "Secrets.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::cli {

std::string RandomPassword() {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz23456789";
    // Bytes at or above the largest multiple of the alphabet's size are
    // drawn again, so every character is equally likely.
    constexpr unsigned kLimit = 256 - 256 % kAlphabet.size();
    std::string password;
    while (password.size() < kPasswordLength) {
        unsigned char bytes[32];
        if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
            continue;
        }
        for (const unsigned char b : bytes) {
            if (b < kLimit && password.size() < kPasswordLength) {
                password += kAlphabet[b % kAlphabet.size()];
            }
        }
    }
    return password;
}

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

} // namespace orv::cli
