#pragma once
// Small rules on wide text that several parts share: blanks at the ends,
// upper case, comparison without regard to case.

#include <string>
#include <string_view>

namespace orv {

// `text` without the white space at both ends.
std::wstring_view TrimView(std::wstring_view text);
std::wstring Upper(std::wstring_view text);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

} // namespace orv
