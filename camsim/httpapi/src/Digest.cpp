#include "Digest.h"

#include <openssl/evp.h>

#include <memory>

namespace camsim::digest {

std::string md5Hex(std::string_view data) {
    struct CtxDeleter {
        void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
    };
    std::unique_ptr<EVP_MD_CTX, CtxDeleter> ctx(EVP_MD_CTX_new());
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data.data(), data.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) {
        return {};
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out.push_back(kDigits[digest[i] >> 4]);
        out.push_back(kDigits[digest[i] & 0x0F]);
    }
    return out;
}

std::map<std::string, std::string> parseAuthorization(std::string_view header) {
    std::map<std::string, std::string> params;
    static constexpr std::string_view kScheme = "Digest ";
    if (header.substr(0, kScheme.size()) != kScheme) {
        return params;
    }
    std::size_t pos = kScheme.size();
    while (pos < header.size()) {
        while (pos < header.size() && (header[pos] == ' ' || header[pos] == ',')) {
            ++pos;
        }
        const auto equals = header.find('=', pos);
        if (equals == std::string_view::npos) {
            break;
        }
        std::string key(header.substr(pos, equals - pos));
        pos = equals + 1;
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
            pos = end == std::string_view::npos ? header.size() : end;
        }
        params[std::move(key)] = std::move(value);
    }
    return params;
}

namespace {

// The request line may reach the handler decoded or not; the client hashed
// the form it sent. Both sides are compared decoded, the hash uses the
// client's own form.
std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
            hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

Verdict verify(const std::map<std::string, std::string>& params, std::string_view method,
               std::string_view target, std::string_view realm, std::string_view user,
               std::string_view password, std::string_view currentNonce) {
    auto value = [&](const char* key) -> std::string {
        const auto it = params.find(key);
        return it == params.end() ? std::string() : it->second;
    };
    const std::string nonce = value("nonce");
    const std::string qop = value("qop");
    const std::string algorithm = value("algorithm");
    const std::string uri = value("uri");
    if (value("username") != user || value("realm") != realm ||
        percentDecoded(uri) != percentDecoded(target) || nonce.empty() || qop != "auth" ||
        (!algorithm.empty() && algorithm != "MD5")) {
        return Verdict::Refused;
    }
    const std::string ha1 =
        md5Hex(std::string(user) + ":" + std::string(realm) + ":" + std::string(password));
    // Clients differ in which form of the target they hash (libcurl hashes
    // the request line as sent but may write the uri field decoded).
    bool answered = false;
    for (const std::string& form : {uri, std::string(target)}) {
        const std::string ha2 = md5Hex(std::string(method) + ":" + form);
        answered = answered || md5Hex(ha1 + ":" + nonce + ":" + value("nc") + ":" +
                                      value("cnonce") + ":" + qop + ":" + ha2) == value("response");
    }
    if (!answered) {
        return Verdict::Refused;
    }
    return nonce == currentNonce ? Verdict::Accepted : Verdict::Stale;
}

std::string challenge(std::string_view realm, std::string_view nonce, bool stale) {
    std::string header = "Digest realm=\"" + std::string(realm) + "\", qop=\"auth\", nonce=\"" +
                         std::string(nonce) + "\", algorithm=MD5";
    if (stale) {
        header += ", stale=true";
    }
    return header;
}

} // namespace camsim::digest
