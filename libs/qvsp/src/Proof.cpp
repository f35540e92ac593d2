#include "qvsp/wire/Proof.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

namespace qvsp::wire {

Proof computeProof(std::string_view password, const ModifyRequest& request) {
    const auto input = proofInput(request);
    Proof out{};
    unsigned int length = 0;
    // An empty key is legal for HMAC; OpenSSL wants a non-null pointer for it.
    static const unsigned char kEmpty = 0;
    const void* key = password.empty() ? static_cast<const void*>(&kEmpty) : password.data();
    HMAC(EVP_sha256(), key, static_cast<int>(password.size()), input.data(), input.size(),
         out.data(), &length);
    return out;
}

bool proofMatches(std::string_view password, const ModifyRequest& request) {
    const Proof expected = computeProof(password, request);
    return CRYPTO_memcmp(expected.data(), request.proof.data(), expected.size()) == 0;
}

bool randomNonce(Nonce& out) {
    return RAND_bytes(out.data(), static_cast<int>(out.size())) == 1;
}

} // namespace qvsp::wire
