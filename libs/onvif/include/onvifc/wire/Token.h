#pragma once
// WS-UsernameToken's arithmetic, the same at both ends: the PasswordDigest
// is base64(SHA-1(nonce bytes + Created text + password)), and Created is
// an xs:dateTime in UTC.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace onvifc::wire {

using SystemClock = std::chrono::system_clock;

std::string base64(std::string_view bytes);
std::optional<std::string> unbase64(std::string_view text);
std::string sha1(std::string_view bytes);

// PasswordDigest of a token, base64.
std::string passwordDigest(std::string_view nonce, std::string_view created,
                           std::string_view password);

// "2026-12-06T14:00:00Z", with optional fraction and zone offset.
std::optional<SystemClock::time_point> parseIsoTime(std::string_view text);
// The same form to the second, in UTC: what a client writes as Created.
std::string isoTime(SystemClock::time_point t);

} // namespace onvifc::wire
