#pragma once
// How both ends name a camera's TLS key: libcurl's pin form "sha256//" and
// the base64 of the SHA-256 of the certificate's SubjectPublicKeyInfo (DER).
// The SDK holds a camera to it; the simulator shows it to tests.

#include <openssl/types.h>

#include <string>

namespace qvipc::wire {

// Empty when the certificate has no readable key.
std::string keyPin(X509* certificate);

} // namespace qvipc::wire
