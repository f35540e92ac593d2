#pragma once
// A file that holds passwords in clear text (a rotation's secrets, a
// handover): created new (never over something that is there, never
// through a link), readable by its owner alone whatever the umask, and
// written whole and flushed to the disk.

#include "file/UniqueFd.h"

#include <optional>
#include <string>

namespace orv {

class CSecretsFile {
public:
    // Creates the file; false with `error` set when it cannot.
    bool Create(const std::string& path, std::string& error);
    // Replaces the whole content and flushes it to the disk.
    bool Write(const std::string& content, std::string& error);

private:
    std::optional<UniqueFd> m_fd;
};

} // namespace orv
