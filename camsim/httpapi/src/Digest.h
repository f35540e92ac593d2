#pragma once
// HTTP Digest as a camera checks it (RFC 7616, qop=auth, MD5 or SHA-256).
// Every challenge carries a nonce of its own; a nonce lives for a limited
// time and every nonce count is taken once, so a recorded request cannot be
// sent again.

#include "qvipcsdk/wire/DigestAuth.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace camsim::digest {

using Clock = std::chrono::steady_clock;

// The nonces each camera handed out, with the counts already used.
//
// A nonce carries its own proof: the time it was issued and a tag (HMAC
// under a key of the book's own) over that time, the camera, the camera's
// boot and the client's address. Issuing keeps nothing, so no flood of
// unauthenticated requests, from any address, can push out the nonce a
// client is about to answer. State is kept only for nonces answered with
// the right password (their used counts): per client address at most
// kNoncesPerClient nonces and per camera at most kClientsPerCamera clients,
// the least recently used going first. A nonce whose counts were dropped
// that way is stale from then on, so no count is ever taken twice.
class NonceBook {
public:
    explicit NonceBook(std::chrono::milliseconds lifetime);

    std::string issue(const std::string& camera, const std::string& client, Clock::time_point now);
    std::string issue(const std::string& camera, Clock::time_point now) {
        return issue(camera, std::string(), now);
    }

    enum class Use { Fresh, Stale, Replayed };
    // Takes nonce count nc of nonce for camera and client. Stale: not issued
    // by this book to this camera and client in the camera's current boot,
    // older than the lifetime, or its counts dropped (see above).
    Use take(const std::string& camera, const std::string& client, const std::string& nonce,
             std::uint32_t nc, Clock::time_point now);
    Use take(const std::string& camera, const std::string& nonce, std::uint32_t nc,
             Clock::time_point now) {
        return take(camera, std::string(), nonce, nc, now);
    }
    // A reboot: every nonce of the camera is stale from now on.
    void forget(const std::string& camera);

    static constexpr std::size_t kNoncesPerClient = 16;
    static constexpr std::size_t kClientsPerCamera = 32;
    // Counts remembered per nonce; older counts than those are refused.
    static constexpr std::size_t kCountsPerNonce = 256;

private:
    struct Entry {
        std::uint64_t issuedMs = 0;
        Clock::time_point lastUse;
        std::set<std::uint32_t> used;
        std::uint32_t floor = 0; // counts at or below this are gone
    };
    struct Client {
        std::map<std::string, Entry> nonces;
        // Nonces issued at or before this (ms) lost their counts: stale.
        std::uint64_t floorMs = 0;
        Clock::time_point lastUse;
    };
    struct Camera {
        std::uint64_t boot = 0;
        std::uint64_t floorMs = 0;
        std::map<std::string, Client> clients;
    };
    std::string tagOf(const std::string& camera, std::uint64_t boot, const std::string& client,
                      const unsigned char* stamp) const;
    std::uint64_t msOf(Clock::time_point t) const;

    std::chrono::milliseconds m_lifetime;
    Clock::time_point m_epoch;
    unsigned char m_key[32] = {};
    std::mutex m_lock;
    std::map<std::string, Camera> m_cameras;
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
// client: the address the request came from; the nonce must have been
// issued to it.
Verdict verify(const Request& request, NonceBook& book, const std::string& camera,
               const std::string& client, Clock::time_point now);
inline Verdict verify(const Request& request, NonceBook& book, const std::string& camera,
                      Clock::time_point now) {
    return verify(request, book, camera, std::string(), now);
}

// The WWW-Authenticate values of a challenge: MD5 first, for clients that
// read only the first one, then SHA-256.
std::vector<std::string> challenges(std::string_view realm, std::string_view nonce, bool stale);

} // namespace camsim::digest
