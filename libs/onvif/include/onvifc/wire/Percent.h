#pragma once
// Percent-encoding of scope values ("onvif://www.onvif.org/name/Gate%20A"),
// the same at both ends: RFC 3986's unreserved characters stay, every other
// byte of the UTF-8 text is written as %XX.

#include <string>
#include <string_view>

namespace onvifc::wire {

std::string percentEncode(std::string_view text);
// A '%' not followed by two hex digits stays as it is.
std::string percentDecode(std::string_view text);

} // namespace onvifc::wire
