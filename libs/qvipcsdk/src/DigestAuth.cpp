#include "qvipcsdk/wire/DigestAuth.h"

#include "qvipcsdk/wire/Hex.h"
#include "qvipcsdk/wire/Seal.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace qvipc::wire {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string valueOf(const std::map<std::string, std::string>& params, const char* key) {
    const auto it = params.find(key);
    return it == params.end() ? std::string() : it->second;
}

// A quoted-string value of an Authorization header.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out + "\"";
}

bool offersAuth(std::string_view qop) {
    for (std::size_t start = 0; start <= qop.size();) {
        std::size_t end = qop.find(',', start);
        end = end == std::string_view::npos ? qop.size() : end;
        std::string_view token = qop.substr(start, end - start);
        while (!token.empty() && isSpace(token.front())) {
            token.remove_prefix(1);
        }
        while (!token.empty() && isSpace(token.back())) {
            token.remove_suffix(1);
        }
        if (token == "auth") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

} // namespace

std::optional<DigestAlgorithm> digestAlgorithm(std::string_view name) {
    if (name.empty() || equalNoCase(name, "MD5")) {
        return DigestAlgorithm::Md5;
    }
    if (equalNoCase(name, "SHA-256")) {
        return DigestAlgorithm::Sha256;
    }
    return std::nullopt;
}

const char* digestAlgorithmName(DigestAlgorithm algorithm) {
    return algorithm == DigestAlgorithm::Sha256 ? "SHA-256" : "MD5";
}

std::string digestHex(DigestAlgorithm algorithm, std::string_view data) {
    struct CtxDeleter {
        void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
    };
    std::unique_ptr<EVP_MD_CTX, CtxDeleter> ctx(EVP_MD_CTX_new());
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    const EVP_MD* md = algorithm == DigestAlgorithm::Sha256 ? EVP_sha256() : EVP_md5();
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data.data(), data.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) {
        return {};
    }
    return hexOf(digest, length);
}

std::optional<std::map<std::string, std::string>> digestParams(std::string_view header) {
    std::size_t pos = 0;
    while (pos < header.size() && isSpace(header[pos])) {
        ++pos;
    }
    static constexpr std::string_view kScheme = "digest";
    if (header.size() < pos + kScheme.size() + 1 ||
        !equalNoCase(header.substr(pos, kScheme.size()), kScheme) ||
        !isSpace(header[pos + kScheme.size()])) {
        return std::nullopt;
    }
    pos += kScheme.size();
    std::map<std::string, std::string> params;
    while (pos < header.size()) {
        while (pos < header.size() && (isSpace(header[pos]) || header[pos] == ',')) {
            ++pos;
        }
        const auto equals = header.find('=', pos);
        if (equals == std::string_view::npos) {
            break;
        }
        std::string key;
        for (const char c : header.substr(pos, equals - pos)) {
            if (!isSpace(c)) {
                key.push_back(lower(c));
            }
        }
        pos = equals + 1;
        while (pos < header.size() && isSpace(header[pos])) {
            ++pos;
        }
        std::string value;
        if (pos < header.size() && header[pos] == '"') {
            ++pos;
            while (pos < header.size() && header[pos] != '"') {
                if (header[pos] == '\\' && pos + 1 < header.size()) {
                    ++pos;
                }
                value.push_back(header[pos++]);
            }
            ++pos;
        } else {
            const auto end = header.find(',', pos);
            value = std::string(header.substr(
                pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
            while (!value.empty() && isSpace(value.back())) {
                value.pop_back();
            }
            pos = end == std::string_view::npos ? header.size() : end;
        }
        params[std::move(key)] = std::move(value);
    }
    return params;
}

std::vector<std::map<std::string, std::string>>
digestChallenges(const std::vector<std::string>& headers) {
    std::vector<std::map<std::string, std::string>> out;
    for (const auto& header : headers) {
        if (auto params = digestParams(header)) {
            out.push_back(std::move(*params));
        }
    }
    return out;
}

std::string digestHa1(const DigestInput& in) {
    return digestHex(in.algorithm, std::string(in.user) + ":" + std::string(in.realm) + ":" +
                                       std::string(in.password));
}

std::string digestResponse(const DigestInput& in) {
    const std::string ha2 =
        digestHex(in.algorithm, std::string(in.method) + ":" + std::string(in.uri));
    return digestHex(in.algorithm, digestHa1(in) + ":" + std::string(in.nonce) + ":" +
                                       std::string(in.nc) + ":" + std::string(in.cnonce) +
                                       ":auth:" + ha2);
}

bool DigestLogin::take(const std::vector<std::string>& offered) {
    bool found = false;
    for (const auto& params : digestChallenges(offered)) {
        const auto algorithm = digestAlgorithm(valueOf(params, "algorithm"));
        if (!offersAuth(valueOf(params, "qop")) || !algorithm || valueOf(params, "nonce").empty()) {
            continue;
        }
        if (!found || *algorithm == DigestAlgorithm::Sha256) {
            m_algorithm = *algorithm;
            m_realm = valueOf(params, "realm");
            m_nonce = valueOf(params, "nonce");
            m_opaque = valueOf(params, "opaque");
            m_count = 0;
            found = true;
        }
    }
    return found;
}

bool DigestLogin::stale(const std::vector<std::string>& offered) {
    for (const auto& params : digestChallenges(offered)) {
        const std::string value = valueOf(params, "stale");
        if (equalNoCase(value.substr(0, 4), "true")) {
            return true;
        }
    }
    return false;
}

std::string DigestLogin::answer(std::string_view user, std::string_view password,
                                std::string_view method, std::string_view uri) {
    char nc[9] = {};
    std::snprintf(nc, sizeof nc, "%08x", ++m_count);
    const std::string cnonce = randomHex(8);
    const std::string response =
        digestResponse({m_algorithm, user, m_realm, password, method, uri, m_nonce, nc, cnonce});
    std::string header = "Digest username=" + quoted(user) + ", realm=" + quoted(m_realm) +
                         ", nonce=" + quoted(m_nonce) + ", uri=" + quoted(uri) +
                         ", algorithm=" + digestAlgorithmName(m_algorithm) +
                         ", qop=auth, nc=" + nc + ", cnonce=" + quoted(cnonce) +
                         ", response=" + quoted(response);
    if (!m_opaque.empty()) {
        header += ", opaque=" + quoted(m_opaque);
    }
    return header;
}

} // namespace qvipc::wire
