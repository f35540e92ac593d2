#pragma once
// WS-UsernameToken with PasswordDigest, as cameras check it: the digest is
// base64(SHA-1(nonce bytes + Created text + password)); a Created time too
// far from the camera's clock is refused, and so is a nonce the camera has
// seen before (a recorded request cannot be sent again).

#include "onvifc/wire/Token.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace camsim::onvif {

using namespace onvifc::wire;

struct UsernameToken {
    std::string user;
    std::string password; // the digest (base64) or the text
    bool digest = true;
    std::string nonce; // base64 as sent
    std::string created;
};

enum class TokenVerdict { Accepted, BadPassword, Replayed, ClockSkew, Malformed };

// Nonces each camera saw, each kept for as long as a Created time could be
// taken: older ones cannot come back with a Created that passes.
class NonceMemory {
public:
    // False when the camera already saw this nonce.
    bool remember(const std::string& camera, const std::string& nonce, SystemClock::time_point now);
    void forget(const std::string& camera);

    static constexpr std::chrono::seconds kKeep{30};
    static constexpr std::size_t kPerCamera = 4096;

private:
    struct Seen {
        std::deque<std::pair<SystemClock::time_point, std::string>> order;
        std::set<std::string> nonces;
    };
    std::mutex m_lock;
    std::map<std::string, Seen> m_cameras;
};

struct TokenRules {
    std::chrono::seconds skew{5};
    // Accept a nonce seen before (clients that reuse one for every request).
    bool allowReplay = false;
};

// Checks the token against the password of its user; the nonce is only
// remembered once the digest matched, so a guesser cannot burn nonces.
TokenVerdict verifyToken(const UsernameToken& token, std::string_view password,
                         const std::string& camera, SystemClock::time_point cameraNow,
                         NonceMemory& memory, const TokenRules& rules);

} // namespace camsim::onvif
