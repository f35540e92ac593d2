#pragma once
// WS-Discovery messages of the ONVIF driver, without sockets: the Probe the
// tool multicasts and the three messages cameras send (ProbeMatches to the
// prober, Hello and Bye to the group). Elements are matched by namespace
// and local name only; cameras choose prefixes of their own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace onvifc {

inline constexpr std::uint16_t kDiscoveryPort = 3702;
inline constexpr std::uint32_t kDiscoveryGroup = 0xeffffffa; // 239.255.255.250, host order
// Larger datagrams are refused unparsed: a ProbeMatch with a long scope list
// is a few kilobytes, and UDP cannot carry more than this anyway.
inline constexpr std::size_t kMaxDatagramBytes = 64 * 1024;

struct DiscoveryMessage {
    enum class Kind { ProbeMatch, Hello, Bye };
    Kind kind = Kind::Hello;
    std::string messageId;
    // The Probe a ProbeMatch answers; empty for Hello and Bye.
    std::string relatesTo;
    // EndpointReference/Address: the camera's stable identity (urn:uuid:...).
    std::string endpoint;
    std::vector<std::string> xaddrs;
    std::vector<std::string> scopes;
    // Resolved against the namespaces in scope; a prefix the camera forgot
    // to declare leaves the namespace empty rather than dropping the type.
    std::vector<std::pair<std::string, std::string>> types;
    std::uint32_t metadataVersion = 0;
};

// "urn:uuid:" and a random (version 4) UUID from the kernel's generator: a
// MessageID others cannot predict, so they cannot forge answers to it.
std::string newMessageId();

// A SOAP 1.2 Probe for NetworkVideoTransmitter.
std::string probeMessage(const std::string& messageId);

// Every camera a datagram describes: one for a Hello or a Bye, one per
// ProbeMatch element of a ProbeMatches (some devices answer for several
// endpoints at once). Empty for anything else: a Probe, a foreign message,
// text that is not well-formed, carries a DOCTYPE or exceeds
// kMaxDatagramBytes. An entry without an endpoint address is left out.
std::vector<DiscoveryMessage> parseDiscoveryMessage(std::string_view datagram);

} // namespace onvifc
