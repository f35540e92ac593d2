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
    id.m_key = "mac:" + MacText(mac);
    return id;
}

DeviceId DeviceId::OfEndpoint(std::string_view protocol, std::string_view endpoint) {
    DeviceId id;
    id.m_kind = Kind::Endpoint;
    id.m_key.reserve(protocol.size() + 1 + endpoint.size());
    id.m_key.append(protocol).append(":").append(endpoint);
    return id;
}

MacAddress DeviceId::Mac() const {
    MacAddress mac{};
    if (m_kind != Kind::Mac) {
        return mac;
    }
    unsigned v[6] = {};
    if (std::sscanf(m_key.c_str() + 4, "%2x:%2x:%2x:%2x:%2x:%2x", &v[0], &v[1], &v[2], &v[3], &v[4],
                    &v[5]) == 6) {
        for (int i = 0; i < 6; ++i) {
            mac[i] = static_cast<std::uint8_t>(v[i]);
        }
    }
    return mac;
}

} // namespace orv::device
