#include "DeviceInfo.h"

#include <algorithm>

namespace orv::device {

bool DeviceInfo::Speaks(Protocol p) const {
    return Service(p) != nullptr;
}

const ServiceAddress* DeviceInfo::Service(Protocol p) const {
    const auto it = std::find_if(services.begin(), services.end(),
                                 [p](const ServiceAddress& s) { return s.protocol == p; });
    return it == services.end() ? nullptr : &*it;
}

QString DeviceInfo::AddressText() const {
    return Ipv4Text(address);
}

std::string DeviceInfo::MacText() const {
    return mac ? device::MacText(*mac) : id.Text();
}

bool SameValues(const DeviceInfo& a, const DeviceInfo& b) {
    return a.id == b.id && a.mac == b.mac && a.name == b.name && a.address == b.address &&
           a.netmask == b.netmask && a.gateway == b.gateway && a.dns == b.dns &&
           a.ports == b.ports && a.manufacturer == b.manufacturer && a.model == b.model &&
           a.displayModel == b.displayModel && a.firmware == b.firmware &&
           a.services == b.services && a.capabilities == b.capabilities;
}

QString Ipv4Text(std::uint32_t address) {
    // Every list cell and sort key of an address goes through here: written
    // by hand, without QString::arg's parsing.
    char text[16];
    char* out = text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = address >> shift & 0xff;
        if (part >= 100) {
            *out++ = static_cast<char>('0' + part / 100);
        }
        if (part >= 10) {
            *out++ = static_cast<char>('0' + part / 10 % 10);
        }
        *out++ = static_cast<char>('0' + part % 10);
        if (shift > 0) {
            *out++ = '.';
        }
    }
    return QString::fromLatin1(text, out - text);
}

std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
    // Every discovery answer's four addresses are read here: by hand, with
    // no allocation.
    std::uint32_t address = 0;
    std::size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.') {
                return std::nullopt;
            }
            ++i;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(text[i++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) {
            return std::nullopt;
        }
        address = address << 8 | value;
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return address;
}

} // namespace orv::device
