#include "SealKey.h"

#include <sodium.h>

#include <cstring>
#include <vector>

namespace orv::secrets {

namespace {

constexpr std::string_view kProof = "orvantix site key";

std::string toBase64(const unsigned char* bytes, std::size_t size) {
    std::string out(sodium_base64_encoded_len(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    out.resize(std::strlen(out.c_str()));
    return out;
}

std::optional<std::vector<unsigned char>> fromBase64(std::string_view text) {
    std::vector<unsigned char> out(text.size());
    std::size_t size = 0;
    if (sodium_base642bin(out.data(), out.size(), text.data(), text.size(), nullptr, &size, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0) {
        return std::nullopt;
    }
    out.resize(size);
    return out;
}

bool started() {
    static const bool ok = sodium_init() >= 0;
    return ok;
}

} // namespace

struct CSealKey::Locked {
    unsigned char* bytes = static_cast<unsigned char*>(sodium_malloc(crypto_secretbox_KEYBYTES));
    ~Locked() { sodium_free(bytes); }
};

std::optional<CSealKey> CSealKey::derive(std::string_view passphrase, std::string_view salt,
                                         std::int64_t ops, std::int64_t mem) {
    if (!started() || salt.size() != crypto_pwhash_SALTBYTES || ops < crypto_pwhash_OPSLIMIT_MIN ||
        ops > crypto_pwhash_OPSLIMIT_MAX ||
        mem < static_cast<std::int64_t>(crypto_pwhash_MEMLIMIT_MIN) || mem > (1LL << 32)) {
        return std::nullopt;
    }
    auto key = std::make_shared<Locked>();
    if (key->bytes == nullptr ||
        crypto_pwhash(key->bytes, crypto_secretbox_KEYBYTES, passphrase.data(), passphrase.size(),
                      reinterpret_cast<const unsigned char*>(salt.data()),
                      static_cast<unsigned long long>(ops), static_cast<std::size_t>(mem),
                      crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return std::nullopt;
    }
    return CSealKey(std::move(key));
}

std::optional<CSealKey> CSealKey::Create(std::string_view passphrase, site::SiteKeyEntry& entry) {
    if (!started()) {
        return std::nullopt;
    }
    unsigned char salt[crypto_pwhash_SALTBYTES];
    randombytes_buf(salt, sizeof salt);
    std::optional<CSealKey> key = derive(
        passphrase, std::string_view(reinterpret_cast<const char*>(salt), sizeof salt), kOps, kMem);
    if (!key) {
        return std::nullopt;
    }
    entry.salt = toBase64(salt, sizeof salt);
    entry.ops = kOps;
    entry.mem = kMem;
    entry.proof = key->Seal(kProof);
    return key;
}

std::optional<CSealKey> CSealKey::Derive(std::string_view passphrase,
                                         const site::SiteKeyEntry& entry) {
    const auto salt = fromBase64(entry.salt);
    if (!salt) {
        return std::nullopt;
    }
    std::optional<CSealKey> key = derive(
        passphrase, std::string_view(reinterpret_cast<const char*>(salt->data()), salt->size()),
        entry.ops, entry.mem);
    if (!key || key->Open(entry.proof) != std::string(kProof)) {
        return std::nullopt;
    }
    return key;
}

std::string CSealKey::Seal(std::string_view plain) const {
    std::vector<unsigned char> out(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES +
                                   plain.size());
    randombytes_buf(out.data(), crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy(out.data() + crypto_secretbox_NONCEBYTES,
                          reinterpret_cast<const unsigned char*>(plain.data()), plain.size(),
                          out.data(), m_key->bytes);
    std::string text = toBase64(out.data(), out.size());
    sodium_memzero(out.data(), out.size());
    return text;
}

std::optional<std::string> CSealKey::Open(std::string_view sealed) const {
    const auto bytes = fromBase64(sealed);
    if (!bytes || bytes->size() < crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES) {
        return std::nullopt;
    }
    std::string plain(bytes->size() - crypto_secretbox_NONCEBYTES - crypto_secretbox_MACBYTES,
                      '\0');
    if (crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(plain.data()),
                                   bytes->data() + crypto_secretbox_NONCEBYTES,
                                   bytes->size() - crypto_secretbox_NONCEBYTES, bytes->data(),
                                   m_key->bytes) != 0) {
        return std::nullopt;
    }
    return plain;
}

} // namespace orv::secrets
