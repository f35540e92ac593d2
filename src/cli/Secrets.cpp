#include "Secrets.h"

#include <sys/random.h>

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

} // namespace orv::cli
