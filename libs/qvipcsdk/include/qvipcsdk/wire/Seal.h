#pragma once
// Secrets that must not travel in clear (a new admin password, a DDNS
// password) are sealed with AES-256-GCM. The key is derived with HKDF-SHA-256
// from the credentials both ends know already (user, realm, current admin
// password) and a nonce; the purpose (the route) is bound in as associated
// data, so a sealed value cannot be moved to another call. A request uses a
// single-use nonce the camera handed out; an answer a nonce of its own.

#include <optional>
#include <string>
#include <string_view>

namespace qvipc::wire {

struct SealKey {
    std::string_view user;
    std::string_view realm;
    std::string_view password;
};

// Everything in lower-case hexadecimal: 12-byte IV, ciphertext with the
// 16-byte tag appended.
struct Sealed {
    std::string nonce;
    std::string iv;
    std::string data;
};

// Random bytes as hexadecimal; empty when the system has no randomness.
std::string randomHex(std::size_t bytes);

// Nothing when the cipher cannot run.
std::optional<Sealed> sealSecret(const SealKey& key, std::string_view nonce,
                                 std::string_view purpose, std::string_view secret);
// Nothing when the value was not sealed under this key, nonce and purpose,
// or was changed on the way.
std::optional<std::string> openSecret(const SealKey& key, const Sealed& sealed,
                                      std::string_view purpose);

} // namespace qvipc::wire
