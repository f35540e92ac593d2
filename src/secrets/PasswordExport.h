#pragma once
// The handover file of a site's camera passwords: one row per camera with
// its MAC, address and name as the site last saw them, the user, its
// password and a new one not yet confirmed. Its first line says what it
// holds, where a spreadsheet shows it too. Created new and owner-only.

#include "PasswordVault.h"

#include <filesystem>
#include <map>
#include <string>

namespace orv::secrets {

struct ExportResult {
    int cameras = 0;    // rows written
    int unreadable = 0; // cameras whose passwords could not be read
    std::string error;  // the file could not be written; nothing was
};

// Reads the keyring through the vault: call it off the keyring's thread
// (or on it, from the command line, which may wait).
ExportResult ExportPasswords(CPasswordVault& vault, const std::string& site,
                             const std::filesystem::path& book, const std::string& file);

// Each camera's login for the handover report, by its site key, as a
// person types it: "admin / <password>"; a new password no login has
// confirmed yet is named with the one it may not have replaced. Cameras
// without a password of their own are not listed. `unreadable` counts
// those whose passwords could not be read.
std::map<std::string, std::string> HandoverLogins(CPasswordVault& vault, int& unreadable);

} // namespace orv::secrets
