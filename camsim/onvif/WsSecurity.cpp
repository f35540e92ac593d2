#include "onvif/WsSecurity.h"

#include <openssl/crypto.h>

namespace camsim::onvif {

bool NonceMemory::remember(const std::string& camera, const std::string& nonce,
                           SystemClock::time_point now) {
    std::lock_guard guard(m_lock);
    Seen& seen = m_cameras[camera];
    while (!seen.order.empty() &&
           (seen.order.front().first + kKeep < now || seen.order.size() >= kPerCamera)) {
        seen.nonces.erase(seen.order.front().second);
        seen.order.pop_front();
    }
    if (!seen.nonces.insert(nonce).second)
        return false;
    seen.order.emplace_back(now, nonce);
    return true;
}

void NonceMemory::forget(const std::string& camera) {
    std::lock_guard guard(m_lock);
    m_cameras.erase(camera);
}

TokenVerdict verifyToken(const UsernameToken& token, std::string_view password,
                         const std::string& camera, SystemClock::time_point cameraNow,
                         NonceMemory& memory, const TokenRules& rules) {
    if (!token.digest)
        // Text passwords cross the lab in clear; cameras that take them are
        // not what the tool should expect, and none of the clients sends one.
        return TokenVerdict::Malformed;
    const auto nonce = unbase64(token.nonce);
    const auto created = parseIsoTime(token.created);
    if (!nonce || nonce->empty() || !created)
        return TokenVerdict::Malformed;
    // In constant time: how long a refusal takes tells nothing of the digest.
    const std::string expected = passwordDigest(*nonce, token.created, password);
    if (expected.size() != token.password.size() ||
        CRYPTO_memcmp(expected.data(), token.password.data(), expected.size()) != 0)
        return TokenVerdict::BadPassword;
    const auto off = *created > cameraNow ? *created - cameraNow : cameraNow - *created;
    if (off > rules.skew)
        return TokenVerdict::ClockSkew;
    if (!memory.remember(camera, token.nonce, cameraNow) && !rules.allowReplay)
        return TokenVerdict::Replayed;
    return TokenVerdict::Accepted;
}

} // namespace camsim::onvif
