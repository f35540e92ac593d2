#pragma once
// HTTP Digest as both ends compute it (RFC 7616, qop=auth only): the
// parameter syntax of a challenge or an answer, and the hashes. Shared by the
// device SDK and the camera simulator, so both speak one dialect.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvipc::wire {

enum class DigestAlgorithm { Md5, Sha256 };

// "MD5" or "SHA-256"; nothing for names this system does not speak (-sess
// variants among them). An empty name means MD5, as RFC 2617 had it.
std::optional<DigestAlgorithm> digestAlgorithm(std::string_view name);
const char* digestAlgorithmName(DigestAlgorithm algorithm);

std::string digestHex(DigestAlgorithm algorithm, std::string_view data);

// The parameters of one "Digest ..." header value, names lower-cased; nothing
// when the scheme is not Digest (compared without regard to case).
std::optional<std::map<std::string, std::string>> digestParams(std::string_view header);

// Each Digest challenge among several WWW-Authenticate header values.
std::vector<std::map<std::string, std::string>>
digestChallenges(const std::vector<std::string>& headers);

struct DigestInput {
    DigestAlgorithm algorithm = DigestAlgorithm::Md5;
    std::string_view user;
    std::string_view realm;
    std::string_view password;
    std::string_view method;
    std::string_view uri;
    std::string_view nonce;
    std::string_view nc; // eight hexadecimal digits
    std::string_view cnonce;
};

// H(user:realm:password): what a camera could store instead of the password.
std::string digestHa1(const DigestInput& in);
// The "response" value for qop=auth.
std::string digestResponse(const DigestInput& in);

// A client's side of Digest over one login: the challenge it answers and
// the nonce count used with it.
class DigestLogin {
public:
    // Takes the best challenge offered (SHA-256 before MD5). A challenge
    // without qop=auth lets the camera choose every input of the hash, so it
    // is never answered. False when none can be answered.
    bool take(const std::vector<std::string>& offered);
    bool ready() const { return !m_nonce.empty(); }
    const std::string& realm() const { return m_realm; }
    // Whether one of the challenges says the nonce answered had gone stale
    // (so the credentials were not refused).
    static bool stale(const std::vector<std::string>& offered);
    // The Authorization header value ("Digest username=...") for the next
    // request; only when ready().
    std::string answer(std::string_view user, std::string_view password, std::string_view method,
                       std::string_view uri);

private:
    DigestAlgorithm m_algorithm = DigestAlgorithm::Md5;
    std::string m_realm;
    std::string m_nonce;
    std::string m_opaque;
    std::uint32_t m_count = 0;
};

} // namespace qvipc::wire
