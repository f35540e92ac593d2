#include "DeviceId.h"

#include <cstdio>

namespace orv::device {

std::string MacText(const MacAddress& mac) {
    char text[18] = {};
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

DeviceId DeviceId::OfMac(const MacAddress& mac) {
    DeviceId id;
    id.m_kind = Kind::Mac;
    id.m_mac = mac;
    return id;
}

DeviceId DeviceId::OfEndpoint(std::string_view protocol, std::string_view endpoint) {
    DeviceId id;
    id.m_kind = Kind::Endpoint;
    id.m_endpoint.reserve(protocol.size() + 1 + endpoint.size());
    id.m_endpoint.append(protocol).append(":").append(endpoint);
    return id;
}

std::string DeviceId::Text() const {
    switch (m_kind) {
    case Kind::Mac:
        return "mac:" + MacText(m_mac);
    case Kind::Endpoint:
        return m_endpoint;
    case Kind::None:
        break;
    }
    return {};
}

std::size_t DeviceId::Hash() const {
    if (m_kind != Kind::Mac) {
        return std::hash<std::string>{}(m_endpoint);
    }
    std::uint64_t v = 0;
    for (const std::uint8_t b : m_mac) {
        v = v << 8 | b;
    }
    return std::hash<std::uint64_t>{}(v);
}

} // namespace orv::device
