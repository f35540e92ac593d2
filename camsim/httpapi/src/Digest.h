#pragma once
// HTTP Digest (MD5, qop=auth) as a camera checks it.

#include <map>
#include <string>
#include <string_view>

namespace camsim::digest {

std::string md5Hex(std::string_view data);

// Parameters of an "Authorization: Digest ..." header; empty when the header
// is not a Digest one.
std::map<std::string, std::string> parseAuthorization(std::string_view header);

enum class Verdict { Accepted, Refused, Stale };

// Accepted when the response matches the password and the current nonce;
// Stale when it matches an older nonce (the client retries without asking
// for credentials again).
Verdict verify(const std::map<std::string, std::string>& params, std::string_view method,
               std::string_view target, std::string_view realm, std::string_view user,
               std::string_view password, std::string_view currentNonce);

std::string challenge(std::string_view realm, std::string_view nonce, bool stale);

} // namespace camsim::digest
