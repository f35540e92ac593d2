#include "DeviceInfo.h"

#include <QStringList>

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

std::optional<std::uint32_t> ParseIpv4(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) {
        return std::nullopt;
    }
    std::uint32_t address = 0;
    for (const QString& part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok, 10);
        if (!ok || value > 255 || part.isEmpty() || part.size() > 3 ||
            !std::all_of(part.begin(), part.end(), [](QChar c) { return c.isDigit(); })) {
            return std::nullopt;
        }
        address = address << 8 | value;
    }
    return address;
}

} // namespace orv::device
