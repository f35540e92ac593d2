#include "camsim/httpapi/TlsIdentity.h"

#include "qvipcsdk/wire/KeyPin.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <memory>

namespace camsim::tls {

using nlohmann::json;

namespace {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;

constexpr long kDay = 24L * 60 * 60;
// 20 years, leap days included.
constexpr int kValidDays = 20 * 365 + 5;

std::string textOf(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

CertPtr certOf(std::string_view pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    return CertPtr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

KeyPtr keyOf(std::string_view pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    return KeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

bool addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    ExtPtr extension(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    return extension && X509_add_ext(cert, extension.get(), -1) == 1;
}

// A key and a certificate are there. Reading them costs half a millisecond
// (OpenSSL's decoders), too much for every camera at every look; whether
// they can be read and belong together is checked where they are used.
bool present(const json& section) {
    const auto filled = [&section](const char* key) {
        const auto it = section.find(key);
        return it != section.end() && it->is_string() && !it->get<std::string>().empty();
    };
    return section.is_object() && filled("key") && filled("cert");
}

bool validPort(const json& value) {
    return value.is_number_integer() && value.get<long long>() >= 0 &&
           value.get<long long>() <= 65535;
}

} // namespace

std::optional<Identity> makeIdentity(std::string_view commonName) {
    KeyPtr key(EVP_EC_gen("P-256"));
    CertPtr cert(X509_new());
    BnPtr serial(BN_new());
    if (!key || !cert || !serial || X509_set_version(cert.get(), 2) != 1 ||
        // 159 random bits: positive and within the 20 bytes a serial may have.
        BN_rand(serial.get(), 159, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1 ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())) ||
        !X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kDay) ||
        !X509_time_adj_ex(X509_getm_notAfter(cert.get()), kValidDays, -kDay, nullptr) ||
        X509_set_pubkey(cert.get(), key.get()) != 1) {
        return std::nullopt;
    }
    X509_NAME* name = X509_get_subject_name(cert.get());
    const std::string cn(commonName);
    if (X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1,
                                   0) != 1 ||
        X509_set_issuer_name(cert.get(), name) != 1 ||
        !addExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        !addExtension(cert.get(), NID_key_usage, "critical,digitalSignature") ||
        !addExtension(cert.get(), NID_ext_key_usage, "serverAuth") ||
        !addExtension(cert.get(), NID_subject_key_identifier, "hash") ||
        X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
        return std::nullopt;
    }
    BioPtr keyBio(BIO_new(BIO_s_mem()));
    BioPtr certBio(BIO_new(BIO_s_mem()));
    if (!keyBio || !certBio ||
        PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1 ||
        PEM_write_bio_X509(certBio.get(), cert.get()) != 1) {
        return std::nullopt;
    }
    return Identity{textOf(keyBio.get()), textOf(certBio.get())};
}

bool usable(const json& config) {
    const auto section = config.is_object() ? config.find("tls") : config.end();
    if (!config.is_object() || section == config.end() || !present(*section)) {
        return false;
    }
    const KeyPtr key = keyOf((*section)["key"].get<std::string>());
    const CertPtr cert = certOf((*section)["cert"].get<std::string>());
    return key && cert && X509_check_private_key(cert.get(), key.get()) == 1;
}

std::string pinOf(std::string_view certPem) {
    const CertPtr cert = certOf(certPem);
    return cert ? qvipc::wire::keyPin(cert.get()) : std::string();
}

std::string commonNameOf(std::string_view certPem) {
    const CertPtr cert = certOf(certPem);
    if (!cert) {
        return {};
    }
    char text[256] = {};
    const int length = X509_NAME_get_text_by_NID(X509_get_subject_name(cert.get()), NID_commonName,
                                                 text, sizeof text);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

std::string commonNameFor(std::string_view id) {
    std::string out(id);
    const bool mac = id.size() == 17 && [&] {
        for (std::size_t i = 0; i < id.size(); ++i) {
            const bool colon = i % 3 == 2;
            if (colon ? id[i] != ':' : !std::isxdigit(static_cast<unsigned char>(id[i]))) {
                return false;
            }
        }
        return true;
    }();
    if (mac) {
        for (char& c : out) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

int portOf(const json& config) {
    if (!config.is_object()) {
        return 0;
    }
    const auto section = config.find("tls");
    if (section == config.end() || !section->is_object()) {
        return 0;
    }
    const auto port = section->find("port");
    return port != section->end() && validPort(*port) ? port->get<int>() : 0;
}

bool ensureIdentity(json& config, std::string_view commonName, int port) {
    if (!config.is_object()) {
        config = json::object();
    }
    bool changed = false;
    json& section = config["tls"];
    if (!section.is_object()) {
        section = {{"port", port}};
        changed = true;
    }
    if (!validPort(section.value("port", json()))) {
        section["port"] = port;
        changed = true;
    }
    if (!present(section)) {
        const auto identity = makeIdentity(commonName);
        if (identity) {
            section["key"] = identity->keyPem;
            section["cert"] = identity->certPem;
            changed = true;
        }
    }
    return changed;
}

bool renewIdentity(json& config, std::string_view commonName) {
    const auto identity = makeIdentity(commonName);
    if (!identity) {
        return false;
    }
    if (!config.is_object()) {
        config = json::object();
    }
    json& section = config["tls"];
    if (!section.is_object() || !validPort(section.value("port", json()))) {
        section = {{"port", 0}};
    }
    section["key"] = identity->keyPem;
    section["cert"] = identity->certPem;
    return true;
}

bool setPort(json& config, std::string_view commonName, int port) {
    if (port < 0 || port > 65535) {
        return false;
    }
    ensureIdentity(config, commonName, port);
    config["tls"]["port"] = port;
    return true;
}

} // namespace camsim::tls
