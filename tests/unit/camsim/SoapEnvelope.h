#pragma once
// SOAP requests as an ONVIF client writes them, with a WS-UsernameToken made
// here with OpenSSL directly, not with the code under test, so that a wrong
// digest rule cannot agree with itself.

#include "onvifc/wire/Token.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <chrono>
#include <optional>
#include <regex>
#include <string>

namespace camsim::onvif::test {

using onvifc::wire::SystemClock;

inline const std::string kDevice = "http://www.onvif.org/ver10/device/wsdl";

inline std::string b64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    out.resize(static_cast<std::size_t>(EVP_EncodeBlock(
        reinterpret_cast<unsigned char*>(out.data()),
        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()))));
    return out;
}

struct Token {
    std::string user = "admin";
    std::string password = "admin";
    std::string nonce = "nonce-0001";
    // Off the camera's own clock (which a factory camera keeps in its zone's
    // local time, so its UTC is hours from the machine's).
    std::chrono::seconds skew{0};
};

inline std::string securityHeader(const Token& t, SystemClock::time_point cameraNow) {
    const std::string created = onvifc::wire::isoTime(cameraNow + t.skew);
    unsigned char digest[SHA_DIGEST_LENGTH];
    const std::string input = t.nonce + created + t.password;
    SHA1(reinterpret_cast<const unsigned char*>(input.data()), input.size(), digest);
    return "<s:Header><wsse:Security "
           "xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-wssecurity-secext-1.0.xsd\" "
           "xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-wssecurity-utility-1.0.xsd\"><wsse:UsernameToken><wsse:Username>" +
           t.user +
           "</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">" +
           b64(std::string(reinterpret_cast<char*>(digest), sizeof digest)) +
           "</wsse:Password><wsse:Nonce>" + b64(t.nonce) + "</wsse:Nonce><wsu:Created>" + created +
           "</wsu:Created></wsse:UsernameToken></wsse:Security></s:Header>";
}

inline std::string soap(const std::string& body, const std::optional<Token>& token,
                        SystemClock::time_point cameraNow) {
    return "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
           "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" "
           "xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\" "
           "xmlns:tt=\"http://www.onvif.org/ver10/schema\">" +
           (token ? securityHeader(*token, cameraNow) : std::string()) + "<s:Body>" + body +
           "</s:Body></s:Envelope>";
}

// The first text of an element, whatever its prefix.
inline std::string field(const std::string& xml, const std::string& local) {
    std::smatch m;
    const std::regex re("<(?:[A-Za-z0-9-]+:)?" + local + "(?: [^>]*)?>([^<]*)<");
    return std::regex_search(xml, m, re) ? m[1].str() : std::string("<none>");
}

} // namespace camsim::onvif::test
