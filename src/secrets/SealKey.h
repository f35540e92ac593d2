#pragma once
// The key camera passwords are sealed under where no keyring keeps them:
// derived from the site passphrase with Argon2id, used with XSalsa20-
// Poly1305 (libsodium's secretbox). The key lives in locked memory that is
// wiped when it goes. A sealed text is base64 of a fresh nonce and the box,
// so that the same password sealed twice never looks the same.

#include "site/SiteBook.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orv::secrets {

class CSealKey {
public:
    // A new derivation for a site that has none: random salt, the costs
    // below, and the proof sealed with the key. Empty when libsodium cannot
    // start or the memory is not there.
    static std::optional<CSealKey> Create(std::string_view passphrase, site::SiteKeyEntry& entry);
    // The key of an existing derivation; nothing when the passphrase is not
    // the one the site's key was made from (or the entry is damaged).
    static std::optional<CSealKey> Derive(std::string_view passphrase,
                                          const site::SiteKeyEntry& entry);

    std::string Seal(std::string_view plain) const;
    // Nothing when `sealed` was not sealed with this key or was changed.
    std::optional<std::string> Open(std::string_view sealed) const;

    // Argon2id costs: three passes over 64 MiB, a fraction of a second on
    // an installer's laptop per start, years per guess list for a thief.
    static constexpr std::int64_t kOps = 3;
    static constexpr std::int64_t kMem = 64LL << 20;

private:
    struct Locked;
    explicit CSealKey(std::shared_ptr<Locked> key) : m_key(std::move(key)) {}
    static std::optional<CSealKey> derive(std::string_view passphrase, std::string_view salt,
                                          std::int64_t ops, std::int64_t mem);

    std::shared_ptr<Locked> m_key;
};

} // namespace orv::secrets
