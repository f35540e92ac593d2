#pragma once
// Dotted IPv4 text as the installer types it and as the lists sort it.

#include <array>
#include <optional>
#include <string_view>

namespace orv {

// Four decimal numbers separated by points, each read like the C scanner
// reads a number (leading blanks, an optional sign, digits); anything after
// the fourth is ignored. Nothing when four numbers cannot be read. Values are
// clamped to +-1000000, far outside every valid range.
std::optional<std::array<int, 4>> ReadFourNumbers(std::wstring_view text);

// One number read the same way from the start of `text`; 0 when there is
// none (as the C library's atoi reads it).
long ReadLeadingNumber(std::wstring_view text);

} // namespace orv
