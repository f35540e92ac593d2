#include "qvipcsdk/wire/DigestAuth.h"

#include "qvipcsdk/wire/Hex.h"

#include <openssl/evp.h>

#include <algorithm>
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

} // namespace qvipc::wire
