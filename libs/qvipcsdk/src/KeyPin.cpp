#include "qvipcsdk/wire/KeyPin.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace qvipc::wire {

std::string keyPin(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (length <= 0) {
        return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int digestLength = 0;
    const bool hashed = EVP_Digest(der, static_cast<size_t>(length), digest, &digestLength,
                                   EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    if (!hashed) {
        return {};
    }
    unsigned char text[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1] = {};
    const int textLength = EVP_EncodeBlock(text, digest, static_cast<int>(digestLength));
    return "sha256//" +
           std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(textLength));
}

} // namespace qvipc::wire
