#include "Digest.h"

#include "qvipcsdk/wire/Hex.h"
#include "qvipcsdk/wire/Seal.h"

#include <algorithm>

namespace camsim::digest {

using qvipc::wire::DigestAlgorithm;

std::string NonceBook::issue(const std::string& camera, Clock::time_point now) {
    std::string nonce = qvipc::wire::randomHex(16);
    std::lock_guard guard(m_lock);
    auto& entries = m_cameras[camera];
    if (entries.size() == kNoncesPerCamera) {
        entries.pop_front();
    }
    entries.push_back({nonce, now, {}, 0});
    return nonce;
}

NonceBook::Use NonceBook::take(const std::string& camera, const std::string& nonce,
                               std::uint32_t nc, Clock::time_point now) {
    std::lock_guard guard(m_lock);
    const auto it = m_cameras.find(camera);
    if (it == m_cameras.end()) {
        return Use::Stale;
    }
    auto& entries = it->second;
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const Entry& e) { return e.nonce == nonce; });
    if (entry == entries.end()) {
        return Use::Stale;
    }
    if (now - entry->issued > m_lifetime) {
        entries.erase(entry);
        return Use::Stale;
    }
    if (nc <= entry->floor || !entry->used.insert(nc).second) {
        return Use::Replayed;
    }
    if (entry->used.size() > kCountsPerNonce) {
        entry->floor = *entry->used.begin();
        entry->used.erase(entry->used.begin());
    }
    return Use::Fresh;
}

void NonceBook::forget(const std::string& camera) {
    std::lock_guard guard(m_lock);
    m_cameras.erase(camera);
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
               Clock::time_point now) {
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
        answered = answered || qvipc::wire::digestResponse(in) == response;
    }
    if (!answered) {
        return Verdict::Refused;
    }
    switch (book.take(camera, nonce, nc, now)) {
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
