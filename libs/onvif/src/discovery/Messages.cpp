#include "onvifc/discovery/Messages.h"

#include "onvifc/wire/Xml.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace onvifc {

namespace {

using namespace onvifc::wire;

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t\r\n", at)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(" \t\r\n", at), text.size());
        out.emplace_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> typesOf(Node types) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const std::string& word : words(text(types))) {
        if (auto resolved = qname(types, word)) {
            out.push_back(std::move(*resolved));
            continue;
        }
        // Cameras that forget to declare the prefix still mean the type:
        // kept with no namespace, for the caller to judge.
        const auto colon = word.find(':');
        const std::string local = colon == std::string::npos ? word : word.substr(colon + 1);
        if (!local.empty() && local.find(':') == std::string::npos)
            out.emplace_back(std::string(), local);
    }
    return out;
}

std::uint32_t numberOf(Node node) {
    const std::string digits = text(node);
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && end == digits.data() + digits.size() ? value : 0;
}

} // namespace

std::string newMessageId() {
    unsigned char b[16];
    std::size_t have = 0;
    while (have < sizeof b) {
        const ssize_t n = ::getrandom(b + have, sizeof b - have, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error("the kernel's random generator failed");
        have += static_cast<std::size_t>(n);
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);
    char out[48];
    std::snprintf(out, sizeof out,
                  "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12],
                  b[13], b[14], b[15]);
    return out;
}

std::string probeMessage(const std::string& messageId) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
           " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
           " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\">"
           "<s:Header><a:MessageID>" +
           escape(messageId) +
           "</a:MessageID>"
           "<a:To s:mustUnderstand=\"true\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
           "<a:Action s:mustUnderstand=\"true\">"
           "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action></s:Header>"
           "<s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe></s:Body>"
           "</s:Envelope>";
}

std::vector<DiscoveryMessage> parseDiscoveryMessage(std::string_view datagram) {
    std::vector<DiscoveryMessage> out;
    const auto document = XmlDocument::parse(datagram, kMaxDatagramBytes);
    if (!document)
        return out;
    const Node root = document->root();
    // SOAP 1.1 is not what WS-Discovery prescribes, but older cameras answer in it.
    if (!is(root, kSoap12, "Envelope") && !is(root, kSoap11, "Envelope"))
        return out;
    const std::string_view soap = namespaceOf(root);
    const Node head = child(root, soap, "Header");
    const Node content = firstChild(child(root, soap, "Body"));
    const std::string messageId = text(child(head, kAddressing, "MessageID"));
    const auto describe = [&](Node node, DiscoveryMessage::Kind kind) {
        DiscoveryMessage m;
        m.kind = kind;
        m.endpoint =
            text(child(child(node, kAddressing, "EndpointReference"), kAddressing, "Address"));
        // Without its address nobody can tell which camera spoke.
        if (m.endpoint.empty())
            return;
        m.messageId = messageId;
        if (kind == DiscoveryMessage::Kind::ProbeMatch)
            m.relatesTo = text(child(head, kAddressing, "RelatesTo"));
        m.types = typesOf(child(node, kDiscovery, "Types"));
        m.scopes = words(text(child(node, kDiscovery, "Scopes")));
        m.xaddrs = words(text(child(node, kDiscovery, "XAddrs")));
        m.metadataVersion = numberOf(child(node, kDiscovery, "MetadataVersion"));
        out.push_back(std::move(m));
    };
    if (is(content, kDiscovery, "ProbeMatches")) {
        for (const Node match : children(content, kDiscovery, "ProbeMatch"))
            describe(match, DiscoveryMessage::Kind::ProbeMatch);
    } else if (is(content, kDiscovery, "Hello")) {
        describe(content, DiscoveryMessage::Kind::Hello);
    } else if (is(content, kDiscovery, "Bye")) {
        describe(content, DiscoveryMessage::Kind::Bye);
    }
    return out;
}

} // namespace onvifc
