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

QString Ipv4Text(std::uint32_t address) {
    if (address == 0) {
        return {};
    }
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg(address >> 16 & 0xff)
        .arg(address >> 8 & 0xff)
        .arg(address & 0xff);
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
