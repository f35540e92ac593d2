#pragma once
// New camera passwords and the file that keeps them. A rotated password
// exists nowhere but on its camera and in this file, so the file is made
// before any camera is touched: created new (never over something that is
// there, never through a link), readable by its owner alone, and written
// again once the outcome of every camera is known.

#include "file/UniqueFd.h"

#include <optional>
#include <string>

namespace orv::cli {

// 14 characters from letters and digits without the look-alikes (0 O o 1 l
// I): about 81 bits, the most a camera login carries once escaped.
inline constexpr int kPasswordLength = 14;
std::string RandomPassword();

class CSecretsFile {
public:
    // Creates the file; false with `error` set when it cannot.
    bool Create(const std::string& path, std::string& error);
    // Replaces the whole content and flushes it to the disk.
    bool Write(const std::string& content, std::string& error);

private:
    std::optional<UniqueFd> m_fd;
};

} // namespace orv::cli
