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

DeviceInfo MergeAnswer(const DeviceInfo& known, const DeviceInfo& answer) {
    const bool onlyOnvif = answer.services.size() == 1 && answer.Speaks(Protocol::Onvif);
    DeviceInfo merged = onlyOnvif && known.Speaks(Protocol::Maker) ? known : answer;
    merged.id = answer.id;
    merged.formerId = {};
    merged.lastAnswer = std::max(known.lastAnswer, answer.lastAnswer);
    merged.services = known.services;
    for (const ServiceAddress& service : answer.services) {
        const auto it =
            std::find_if(merged.services.begin(), merged.services.end(),
                         [&](const ServiceAddress& s) { return s.protocol == service.protocol; });
        if (it == merged.services.end()) {
            merged.services.push_back(service);
        } else if (*it != service) {
            *it = service;
        }
    }
    // Maker first: the list and the drivers read them in this order.
    std::stable_sort(
        merged.services.begin(), merged.services.end(),
        [](const ServiceAddress& a, const ServiceAddress& b) { return a.protocol < b.protocol; });
    // An answer through every protocol the camera was known by says all it
    // can do now; one through another protocol adds to it.
    const bool sameProtocols =
        std::all_of(known.services.begin(), known.services.end(),
                    [&](const ServiceAddress& s) { return answer.Speaks(s.protocol); });
    merged.capabilities =
        sameProtocols ? answer.capabilities : known.capabilities | answer.capabilities;
    if (!merged.mac) {
        merged.mac = known.mac;
    }
    return merged;
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
