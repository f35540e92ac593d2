#include "DeviceId.h"

#include <cstdio>

namespace orv::device {

std::string MacText(const MacAddress& mac) {
    char text[18] = {};
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

std::optional<MacAddress> ReadMac(std::string_view text) {
    // Twelve hex digits, alone or in pairs parted by one kind of separator.
    const bool separated = text.size() == 17;
    if (!separated && text.size() != 12) {
        return std::nullopt;
    }
    if (separated && text[2] != ':' && text[2] != '-') {
        return std::nullopt;
    }
    MacAddress mac{};
    std::size_t digits = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (separated && i % 3 == 2) {
            if (c != text[2]) {
                return std::nullopt;
            }
            continue;
        }
        const int value = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (value < 0) {
            return std::nullopt;
        }
        mac[digits / 2] = static_cast<std::uint8_t>(mac[digits / 2] << 4 | value);
        ++digits;
    }
    return mac;
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

DeviceId DeviceId::FromText(std::string_view text) {
    if (text.starts_with("mac:")) {
        const std::optional<MacAddress> mac = ReadMac(text.substr(4));
        return mac ? OfMac(*mac) : DeviceId();
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) {
        return {};
    }
    return OfEndpoint(text.substr(0, colon), text.substr(colon + 1));
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
