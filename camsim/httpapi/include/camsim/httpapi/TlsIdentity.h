#pragma once
// A camera's TLS identity: its own ECDSA P-256 key and a self-signed
// certificate whose subject is the camera's MAC address. Kept in the
// camera's config as {"tls": {"port": P, "key": PEM, "cert": PEM}}; port 0
// means the camera offers no TLS (older firmware).

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace camsim::tls {

struct Identity {
    std::string keyPem;
    std::string certPem;
};

// A new key and a certificate for it: subject and issuer CN = commonName,
// a random serial, valid from one day ago for 20 years. Nothing when
// OpenSSL fails.
std::optional<Identity> makeIdentity(std::string_view commonName);

// Whether config's key and certificate can be read and belong together
// (about half a millisecond).
bool usable(const nlohmann::json& config);

// The SHA-256 of the certificate's public key (SubjectPublicKeyInfo, DER)
// in libcurl's pin form "sha256//<base64>"; empty for an unreadable text.
std::string pinOf(std::string_view certPem);

// The certificate's subject CN; empty for an unreadable text.
std::string commonNameOf(std::string_view certPem);

// The common name of a camera whose lasting identity is id: a MAC address
// is written in capitals (AA:BB:CC:DD:EE:FF), anything else as it is.
std::string commonNameFor(std::string_view id);

// The TLS port in config; 0 when the camera offers none or has no section.
int portOf(const nlohmann::json& config);

// Gives config a TLS section when it has none (port `port`) and an identity
// when its key or certificate is missing. True when it changed config.
// Cheap: the texts are not read (see usable).
bool ensureIdentity(nlohmann::json& config, std::string_view commonName, int port);

// A new key and certificate, as after the camera's hardware was replaced;
// the port stays. False when OpenSSL fails (config is then unchanged).
bool renewIdentity(nlohmann::json& config, std::string_view commonName);

// Sets the TLS port (0 to 65535; 0 = none), making an identity if needed.
bool setPort(nlohmann::json& config, std::string_view commonName, int port);

} // namespace camsim::tls
