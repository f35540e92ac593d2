#pragma once
// HTTP Digest as both ends compute it (RFC 7616, qop=auth only): the
// parameter syntax of a challenge or an answer, and the hashes. Shared by the
// device SDK and the camera simulator, so both speak one dialect.

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

} // namespace qvipc::wire
