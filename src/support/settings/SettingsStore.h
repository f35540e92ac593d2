#pragma once
// The settings store: the default user name and password that every device
// login uses. On Windows they live in the current user's registry (key
// "SOFTWARE\Orvantix", values User and Password, 64-bit view); elsewhere in
// a file in the user's private configuration directory, readable by its
// owner only, since it holds the password.

#include <filesystem>
#include <string>

namespace orv {

struct Credentials {
    std::u16string user = u"admin";
    std::u16string password = u"kt7391";
    bool operator==(const Credentials&) const = default;
};

// The stored credentials; a value that is missing or cannot be read keeps
// its default.
Credentials LoadCredentials();

// Stores both values as given (the caller trims them); false when the store
// cannot be written, which the program does not report.
bool StoreCredentials(const Credentials& credentials);

// The settings file: $XDG_CONFIG_HOME/orvantix/settings.json, or the same
// below ~/.config of the user's home from the password database. Empty
// where there is no such place, and on Windows, which uses the registry.
std::filesystem::path SettingsFilePath();

} // namespace orv
