#pragma once
// The keys the tool trusts cameras by. A camera that speaks TLS is trusted
// by the key it showed at its first contact (nobody vouches for a camera's
// self-signed certificate); a later contact must show the same key, or the
// camera gets no credentials. Only a person's explicit "trust again" lets a
// replaced or reset camera in. Keyed by MAC, which stays with the hardware
// when its address changes.

#include "DeviceId.h"

#include <chrono>
#include <optional>
#include <string>

namespace orv::device {

struct TrustedKey {
    // libcurl's pin form: "sha256//" and the base64 of the SHA-256 of the
    // certificate's SubjectPublicKeyInfo.
    std::string pin;
    int tlsPort = 0;
    // When the key was first trusted (the date a person is told).
    std::chrono::system_clock::time_point since;
    bool operator==(const TrustedKey&) const = default;
};

// Used by every job worker at once: implementations are thread-safe.
class ITrustStore {
public:
    virtual ~ITrustStore() = default;
    virtual std::optional<TrustedKey> Find(const MacAddress& mac) const = 0;
    // Keeps the key a camera showed at its first contact, or moved to a new
    // TLS port with the same key.
    virtual void Keep(const MacAddress& mac, const TrustedKey& key) = 0;
    // Forgets the camera's key, so its next login trusts the key it shows.
    // False when none was kept.
    virtual bool Forget(const MacAddress& mac) = 0;
};

// "2026-12-06": the day a key was first trusted, as a refusal names it.
std::string TrustedSince(const TrustedKey& key);

} // namespace orv::device
