#pragma once
// Text rules shared by the calls: the escaped form in which the program hands
// texts over, the percent form of the device name, and fixed-width fields.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qvsdk {

// Undoes the program's escaping: a backslash before a backslash or an
// apostrophe is dropped. Any other backslash stays, so an unescaped text
// (a path without backslashes, for instance) passes unchanged.
std::string unescapeText(std::string_view escaped);

// Undoes the device-name encoding: "%" and two hexadecimal digits (the first
// may be a blank) give one byte; other bytes stand for themselves. Returns
// nothing for a "%" that is not followed by such a pair.
std::optional<std::string> percentDecode(std::string_view encoded);

bool isValidUtf8(std::string_view text);

// Bounded length of a zero-terminated field; a field without terminator
// counts as its full width.
std::string_view fieldText(const char* field, std::size_t width);

// Writes at most width - 1 bytes and zero-fills the rest. A cut never splits
// a UTF-8 sequence.
void copyToField(char* field, std::size_t width, std::string_view text);

} // namespace qvsdk
