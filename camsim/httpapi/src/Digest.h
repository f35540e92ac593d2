#pragma once
// HTTP Digest as a camera checks it (RFC 7616, qop=auth, MD5 or SHA-256).
// Every challenge carries a nonce of its own; a nonce lives for a limited
// time and every nonce count is taken once, so a recorded request cannot be
// sent again.

#include "qvipcsdk/wire/DigestAuth.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace camsim::digest {

using Clock = std::chrono::steady_clock;

// The nonces each camera handed out, with the counts already used.
class NonceBook {
public:
    explicit NonceBook(std::chrono::milliseconds lifetime) : m_lifetime(lifetime) {}

    std::string issue(const std::string& camera, Clock::time_point now);

    enum class Use { Fresh, Stale, Replayed };
    // Takes nonce count nc of nonce for camera. Stale: unknown to the camera
    // (another boot, too many newer ones) or older than the lifetime.
    Use take(const std::string& camera, const std::string& nonce, std::uint32_t nc,
             Clock::time_point now);
    // A reboot: every nonce of the camera is stale from now on.
    void forget(const std::string& camera);

    // Open nonces per camera; the oldest goes first. Counts remembered per
    // nonce; older counts than those are refused.
    static constexpr std::size_t kNoncesPerCamera = 16;
    static constexpr std::size_t kCountsPerNonce = 256;

private:
    struct Entry {
        std::string nonce;
        Clock::time_point issued;
        std::set<std::uint32_t> used;
        std::uint32_t floor = 0; // counts at or below this are gone
    };
    std::chrono::milliseconds m_lifetime;
    std::mutex m_lock;
    std::map<std::string, std::deque<Entry>> m_cameras;
};

enum class Verdict { Accepted, Refused, Stale };

struct Request {
    std::string_view authorization; // the header's value
    std::string_view method;
    std::string_view target; // as the request line carried it
    std::string_view realm;
    std::string_view user;
    std::string_view password;
};

// Accepted when the answer matches the password, a fresh nonce of the camera
// and a nonce count not used before; Stale when it matches but the nonce is
// no longer good (the client retries without asking for credentials again).
Verdict verify(const Request& request, NonceBook& book, const std::string& camera,
               Clock::time_point now);

// The WWW-Authenticate values of a challenge: MD5 first, for clients that
// read only the first one, then SHA-256.
std::vector<std::string> challenges(std::string_view realm, std::string_view nonce, bool stale);

} // namespace camsim::digest
