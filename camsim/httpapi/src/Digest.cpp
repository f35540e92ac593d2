#include "Digest.h"

#include "qvipcsdk/wire/Hex.h"
#include "qvipcsdk/wire/Seal.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace camsim::digest {

using qvipc::wire::DigestAlgorithm;

namespace {

// A nonce: 5 bytes of issue time (ms since the book began, big-endian),
// 3 bytes of a running count (two nonces of one millisecond differ), 8
// bytes of tag; 32 hexadecimal digits on the wire.
constexpr std::size_t kStampBytes = 8;
constexpr std::size_t kTagBytes = 8;
constexpr std::size_t kNonceBytes = kStampBytes + kTagBytes;

} // namespace

NonceBook::NonceBook(std::chrono::milliseconds lifetime)
    : m_lifetime(lifetime), m_epoch(Clock::now() - std::chrono::hours(1)) {
    // Without its key the book cannot issue: a failure here is fatal.
    if (RAND_bytes(m_key, sizeof m_key) != 1) {
        throw std::runtime_error("no random bytes for the Digest nonce key");
    }
}

std::uint64_t NonceBook::msOf(Clock::time_point t) const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - m_epoch).count();
    return ms < 0 ? 0 : static_cast<std::uint64_t>(ms);
}

std::string NonceBook::tagOf(const std::string& camera, std::uint64_t boot,
                             const std::string& client, const unsigned char* stamp) const {
    std::string message(reinterpret_cast<const char*>(stamp), kStampBytes);
    message += '\0' + camera + '\0' + client + '\0' + std::to_string(boot);
    unsigned char mac[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), m_key, sizeof m_key,
              reinterpret_cast<const unsigned char*>(message.data()), message.size(), mac,
              &length) ||
        length < kTagBytes) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(mac), kTagBytes);
}

std::string NonceBook::issue(const std::string& camera, const std::string& client,
                             Clock::time_point now) {
    static std::atomic<std::uint32_t> counter{0};
    const std::uint64_t ms = msOf(now);
    const std::uint32_t count = counter.fetch_add(1, std::memory_order_relaxed);
    unsigned char stamp[kStampBytes] = {
        static_cast<unsigned char>(ms >> 32),   static_cast<unsigned char>(ms >> 24),
        static_cast<unsigned char>(ms >> 16),   static_cast<unsigned char>(ms >> 8),
        static_cast<unsigned char>(ms),         static_cast<unsigned char>(count >> 16),
        static_cast<unsigned char>(count >> 8), static_cast<unsigned char>(count)};
    std::uint64_t boot = 0;
    {
        std::lock_guard guard(m_lock);
        if (const auto it = m_cameras.find(camera); it != m_cameras.end()) {
            boot = it->second.boot;
        }
    }
    const std::string tag = tagOf(camera, boot, client, stamp);
    return qvipc::wire::hexOf(stamp, kStampBytes) +
           qvipc::wire::hexOf(reinterpret_cast<const unsigned char*>(tag.data()), tag.size());
}

NonceBook::Use NonceBook::take(const std::string& camera, const std::string& client,
                               const std::string& nonce, std::uint32_t nc, Clock::time_point now) {
    unsigned char bytes[kNonceBytes] = {};
    if (nonce.size() != 2 * kNonceBytes) {
        return Use::Stale;
    }
    for (std::size_t i = 0; i < kNonceBytes; ++i) {
        const int high = qvipc::wire::hexDigit(nonce[2 * i]);
        const int low = qvipc::wire::hexDigit(nonce[2 * i + 1]);
        if (high < 0 || low < 0) {
            return Use::Stale;
        }
        bytes[i] = static_cast<unsigned char>(high << 4 | low);
    }
    std::uint64_t issuedMs = 0;
    for (std::size_t i = 0; i < 5; ++i) {
        issuedMs = issuedMs << 8 | bytes[i];
    }
    const std::uint64_t nowMs = msOf(now);
    if (issuedMs > nowMs || nowMs - issuedMs > static_cast<std::uint64_t>(m_lifetime.count())) {
        return Use::Stale;
    }
    std::lock_guard guard(m_lock);
    Camera& cam = m_cameras[camera];
    const std::string tag = tagOf(camera, cam.boot, client, bytes);
    if (tag.size() != kTagBytes || CRYPTO_memcmp(tag.data(), bytes + kStampBytes, kTagBytes) != 0) {
        return Use::Stale;
    }
    if (issuedMs <= cam.floorMs) {
        return Use::Stale;
    }
    auto clientIt = cam.clients.find(client);
    if (clientIt == cam.clients.end()) {
        if (cam.clients.size() >= kClientsPerCamera) {
            // The client longest without a login makes room; every nonce
            // issued up to its newest one goes stale for all clients.
            const auto oldest = std::min_element(
                cam.clients.begin(), cam.clients.end(),
                [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; });
            for (const auto& [text, entry] : oldest->second.nonces) {
                cam.floorMs = std::max(cam.floorMs, entry.issuedMs);
            }
            cam.floorMs = std::max(cam.floorMs, oldest->second.floorMs);
            cam.clients.erase(oldest);
            if (issuedMs <= cam.floorMs) {
                return Use::Stale;
            }
        }
        clientIt = cam.clients.emplace(client, Client{}).first;
    }
    Client& owner = clientIt->second;
    if (issuedMs <= owner.floorMs) {
        return Use::Stale;
    }
    auto entryIt = owner.nonces.find(nonce);
    if (entryIt == owner.nonces.end()) {
        if (owner.nonces.size() >= kNoncesPerClient) {
            const auto oldest = std::min_element(
                owner.nonces.begin(), owner.nonces.end(),
                [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; });
            owner.floorMs = std::max(owner.floorMs, oldest->second.issuedMs);
            owner.nonces.erase(oldest);
            if (issuedMs <= owner.floorMs) {
                return Use::Stale;
            }
        }
        entryIt = owner.nonces.emplace(nonce, Entry{issuedMs, now, {}, 0}).first;
    }
    Entry& entry = entryIt->second;
    if (nc <= entry.floor || !entry.used.insert(nc).second) {
        return Use::Replayed;
    }
    if (entry.used.size() > kCountsPerNonce) {
        entry.floor = *entry.used.begin();
        entry.used.erase(entry.used.begin());
    }
    entry.lastUse = now;
    owner.lastUse = now;
    return Use::Fresh;
}

void NonceBook::forget(const std::string& camera) {
    std::lock_guard guard(m_lock);
    Camera& cam = m_cameras[camera];
    ++cam.boot;
    cam.clients.clear();
}

namespace {

// The request line may reach the handler decoded or not; the client hashed
// the form it sent. Both sides are compared decoded, the hash uses the
// client's own form.
std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    using qvipc::wire::hexDigit;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool parseCount(const std::string& text, std::uint32_t& out) {
    if (text.size() != 8) {
        return false;
    }
    out = 0;
    for (const char c : text) {
        const int digit = qvipc::wire::hexDigit(c);
        if (digit < 0) {
            return false;
        }
        out = out << 4 | static_cast<std::uint32_t>(digit);
    }
    return out != 0;
}

} // namespace

Verdict verify(const Request& request, NonceBook& book, const std::string& camera,
               const std::string& client, Clock::time_point now) {
    const auto params = qvipc::wire::digestParams(request.authorization);
    if (!params) {
        return Verdict::Refused;
    }
    auto value = [&](const char* key) -> std::string {
        const auto it = params->find(key);
        return it == params->end() ? std::string() : it->second;
    };
    const std::string nonce = value("nonce");
    const std::string uri = value("uri");
    const auto algorithm = qvipc::wire::digestAlgorithm(value("algorithm"));
    std::uint32_t nc = 0;
    if (!algorithm || value("username") != request.user || value("realm") != request.realm ||
        percentDecoded(uri) != percentDecoded(request.target) || nonce.empty() ||
        value("qop") != "auth" || !parseCount(value("nc"), nc)) {
        return Verdict::Refused;
    }
    // Clients differ in which form of the target they hash (libcurl hashes
    // the request line as sent but may write the uri field decoded).
    const std::string count = value("nc");
    const std::string cnonce = value("cnonce");
    const std::string response = value("response");
    bool answered = false;
    for (const std::string& form : {uri, std::string(request.target)}) {
        const qvipc::wire::DigestInput in{
            *algorithm, request.user, request.realm, request.password, request.method, form,
            nonce,      count,        cnonce};
        // Compared in constant time: the answer's bytes must not leak
        // through how long a refusal takes.
        const std::string expected = qvipc::wire::digestResponse(in);
        answered =
            answered || (expected.size() == response.size() &&
                         CRYPTO_memcmp(expected.data(), response.data(), expected.size()) == 0);
    }
    if (!answered) {
        return Verdict::Refused;
    }
    switch (book.take(camera, client, nonce, nc, now)) {
    case NonceBook::Use::Fresh:
        return Verdict::Accepted;
    case NonceBook::Use::Stale:
        return Verdict::Stale;
    case NonceBook::Use::Replayed:
        break;
    }
    return Verdict::Refused;
}

std::vector<std::string> challenges(std::string_view realm, std::string_view nonce, bool stale) {
    std::vector<std::string> out;
    for (const DigestAlgorithm algorithm : {DigestAlgorithm::Md5, DigestAlgorithm::Sha256}) {
        std::string header = "Digest realm=\"" + std::string(realm) + "\", qop=\"auth\", nonce=\"" +
                             std::string(nonce) +
                             "\", algorithm=" + qvipc::wire::digestAlgorithmName(algorithm);
        if (stale) {
            header += ", stale=true";
        }
        out.push_back(std::move(header));
    }
    return out;
}

} // namespace camsim::digest
