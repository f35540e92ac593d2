#pragma once
// The text of the settings file on systems without a registry: one JSON
// object in the registry's terms,
//   {"keys": {"HKEY_CURRENT_USER\\SOFTWARE\\Orvantix":
//             {"User": {"type": 1, "text": ...}, "Password": {...}}}}
// with key and value names compared without regard to case. Reading keeps
// only what the store knows and refuses nesting deeper than the format's, so
// a hostile file can neither exhaust the stack nor grow with every write.

#include "SettingsStore.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orv::settings {

// Nothing the program writes comes near this.
inline constexpr std::size_t kMaxFileBytes = 64 * 1024;
inline constexpr int kMaxDepth = 8;

// The credentials in a settings file's text; defaults for what it lacks or
// holds in another form. Values stop at a NUL and keep 259 UTF-16 units.
Credentials Parse(std::string_view text);

// The text for the two values: compact, on one line.
std::string Serialize(const Credentials& credentials);

} // namespace orv::settings
