#include "qvipcsdk/wire/Seal.h"

#include "qvipcsdk/wire/Hex.h"

#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <array>
#include <memory>
#include <vector>

namespace qvipc::wire {

namespace {

constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kIvBytes = 12;
constexpr std::size_t kTagBytes = 16;
// Longest secret sealed: the texts are at most a few dozen bytes.
constexpr std::size_t kMaxSecret = 4096;

using Bytes = std::vector<unsigned char>;

struct PkeyCtxDeleter {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
struct CipherCtxDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

std::optional<std::array<unsigned char, kKeyBytes>>
deriveKey(const SealKey& key, std::string_view nonce, std::string_view purpose) {
    const std::string secret =
        std::string(key.user) + ":" + std::string(key.realm) + ":" + std::string(key.password);
    const std::string info = "orvantix seal " + std::string(purpose);
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr));
    std::array<unsigned char, kKeyBytes> out{};
    std::size_t length = out.size();
    if (!ctx || EVP_PKEY_derive_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_hkdf_md(ctx.get(), EVP_sha256()) <= 0 ||
        EVP_PKEY_CTX_set1_hkdf_salt(ctx.get(), reinterpret_cast<const unsigned char*>(nonce.data()),
                                    static_cast<int>(nonce.size())) <= 0 ||
        EVP_PKEY_CTX_set1_hkdf_key(ctx.get(), reinterpret_cast<const unsigned char*>(secret.data()),
                                   static_cast<int>(secret.size())) <= 0 ||
        EVP_PKEY_CTX_add1_hkdf_info(ctx.get(), reinterpret_cast<const unsigned char*>(info.data()),
                                    static_cast<int>(info.size())) <= 0 ||
        EVP_PKEY_derive(ctx.get(), out.data(), &length) <= 0 || length != out.size()) {
        return std::nullopt;
    }
    return out;
}

} // namespace

std::string randomHex(std::size_t bytes) {
    Bytes buffer(bytes);
    if (RAND_bytes(buffer.data(), static_cast<int>(buffer.size())) != 1) {
        return {};
    }
    return hexOf(buffer.data(), buffer.size());
}

std::optional<Sealed> sealSecret(const SealKey& key, std::string_view nonce,
                                 std::string_view purpose, std::string_view secret) {
    const auto derived = deriveKey(key, nonce, purpose);
    unsigned char iv[kIvBytes] = {};
    if (!derived || nonce.empty() || secret.size() > kMaxSecret || RAND_bytes(iv, sizeof iv) != 1) {
        return std::nullopt;
    }
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter> ctx(EVP_CIPHER_CTX_new());
    Bytes out(secret.size() + kTagBytes);
    int length = 0;
    int final = 0;
    if (!ctx ||
        EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, derived->data(), iv) != 1 ||
        EVP_EncryptUpdate(ctx.get(), nullptr, &length,
                          reinterpret_cast<const unsigned char*>(purpose.data()),
                          static_cast<int>(purpose.size())) != 1 ||
        EVP_EncryptUpdate(ctx.get(), out.data(), &length,
                          reinterpret_cast<const unsigned char*>(secret.data()),
                          static_cast<int>(secret.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), out.data() + length, &final) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagBytes,
                            out.data() + secret.size()) != 1) {
        return std::nullopt;
    }
    return Sealed{std::string(nonce), hexOf(iv, sizeof iv), hexOf(out.data(), out.size())};
}

std::optional<std::string> openSecret(const SealKey& key, const Sealed& sealed,
                                      std::string_view purpose) {
    const auto iv = bytesOfHex(sealed.iv);
    const auto data = bytesOfHex(sealed.data);
    if (!iv || !data || iv->size() != kIvBytes || data->size() < kTagBytes ||
        data->size() > kMaxSecret + kTagBytes || sealed.nonce.empty()) {
        return std::nullopt;
    }
    const auto derived = deriveKey(key, sealed.nonce, purpose);
    if (!derived) {
        return std::nullopt;
    }
    const std::size_t textBytes = data->size() - kTagBytes;
    Bytes tag(data->begin() + static_cast<std::ptrdiff_t>(textBytes), data->end());
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter> ctx(EVP_CIPHER_CTX_new());
    std::string out(textBytes, '\0');
    int length = 0;
    int final = 0;
    if (!ctx ||
        EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, derived->data(), iv->data()) !=
            1 ||
        EVP_DecryptUpdate(ctx.get(), nullptr, &length,
                          reinterpret_cast<const unsigned char*>(purpose.data()),
                          static_cast<int>(purpose.size())) != 1 ||
        EVP_DecryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length,
                          data->data(), static_cast<int>(textBytes)) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagBytes, tag.data()) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()) + length,
                            &final) != 1) {
        return std::nullopt;
    }
    return out;
}

} // namespace qvipc::wire
