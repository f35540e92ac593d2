#include "NetworkRules.h"

#include "text/DottedNumbers.h"
#include "text/TextConv.h"
#include "text/WideText.h"

#include <algorithm>

namespace orv::network {
namespace {

std::wstring trimmed(std::wstring_view s) {
    return std::wstring(TrimView(s));
}

std::uint32_t hostOrder(const std::array<int, 4>& a) {
    return static_cast<std::uint32_t>(a[0]) << 24 | static_cast<std::uint32_t>(a[1]) << 16 |
           static_cast<std::uint32_t>(a[2]) << 8 | static_cast<std::uint32_t>(a[3]);
}

} // namespace
std::optional<std::array<int, 4>> ReadFourNumbers(std::wstring_view text) {
    return orv::ReadFourNumbers(trimmed(text));
}

bool IsValidAddress(std::wstring_view text) {
    const auto n = ReadFourNumbers(text);
    return n && std::all_of(n->begin(), n->end(), [](int v) { return v >= 0 && v <= 254; });
}

bool IsValidNetmask(std::wstring_view text) {
    const auto n = ReadFourNumbers(text);
    return n && (*n)[0] >= 1 && (*n)[0] <= 255 &&
           std::all_of(n->begin() + 1, n->end(), [](int v) { return v >= 0 && v <= 255; });
}

long ReadPortNumber(std::wstring_view text) {
    return orv::ReadLeadingNumber(text);
}

CheckedForm CheckForm(const NetworkForm& form, const device::CDriverSet& drivers, bool checkedMode,
                      const std::vector<int>& currentPorts,
                      const std::vector<device::DeviceInfo>& targets) {
    CheckedForm out;
    device::AddressChange change;
    auto fail = [&out](const Message& m) {
        out.error = m;
        return out;
    };

    // A text the camera cannot take whole is refused by name, never sent cut.
    const auto tooLong = [&out, &fail](const Message& label) {
        out.field = label;
        return fail(kTooLongForCamera);
    };
    const QString user = QString::fromStdWString(trimmed(form.user));
    if (user.isEmpty()) {
        return fail(kUserEmpty);
    }
    if (!drivers.TakesFor(targets, device::TextField::User, user)) {
        return tooLong(kUserLabel);
    }

    const QString password = QString::fromStdWString(trimmed(form.password));
    if (password.isEmpty()) {
        return fail(kPasswordEmpty);
    }
    if (!drivers.TakesFor(targets, device::TextField::Password, password)) {
        return tooLong(kPasswordLabel);
    }

    if (!checkedMode) {
        change.name = QString::fromStdWString(trimmed(form.deviceName));
        if (change.name.isEmpty()) {
            return fail(kFieldEmpty);
        }
        if (!drivers.TakesFor(targets, device::TextField::Name, change.name)) {
            return tooLong(kDeviceNameLabel);
        }
    }

    // Addresses are read as numbers, so stray blanks or text after the
    // fourth number never reach a camera.
    const std::wstring ip = trimmed(form.ip);
    if (ip.empty()) {
        return fail(kFieldEmpty);
    }
    if (!IsValidAddress(ip)) {
        return fail(kInvalidIp);
    }
    out.address = *ReadFourNumbers(ip);
    change.address = hostOrder(out.address);

    const std::wstring mask = trimmed(form.netmask);
    if (mask.empty() && checkedMode) {
        out.keepNetmask = true;
    } else if (mask.empty()) {
        return fail(kFieldEmpty);
    } else if (!IsValidNetmask(mask)) {
        return fail(kInvalidNetmask);
    } else {
        change.netmask = hostOrder(*ReadFourNumbers(mask));
    }

    const std::wstring gateway = trimmed(form.gateway);
    if (gateway.empty() && checkedMode) {
        out.keepGateway = true;
    } else if (gateway.empty()) {
        return fail(kFieldEmpty);
    } else if (!IsValidAddress(gateway)) {
        return fail(kInvalidGateway);
    } else {
        change.gateway = hostOrder(*ReadFourNumbers(gateway));
        // The gateway serves as DNS server as well.
        change.dns = change.gateway;
    }

    const std::wstring port = trimmed(form.port);
    if (port.empty() && checkedMode) {
        out.keepPort = true;
    } else if (port.empty()) {
        return fail(kFieldEmpty);
    } else {
        const long portNumber = ReadPortNumber(port);
        const bool unchanged = !currentPorts.empty() &&
                               std::all_of(currentPorts.begin(), currentPorts.end(),
                                           [&](int current) { return current == portNumber; });
        if (!unchanged && (portNumber < 1024 || portNumber > 65535)) {
            return fail(kPortRange);
        }
        change.httpPort = static_cast<int>(portNumber);
    }
    out.change = change;
    out.credentials = {user, password};
    return out;
}

std::vector<ModifyRequest> BuildCheckedRequests(const CheckedForm& form,
                                                const std::vector<device::DeviceInfo>& checked,
                                                bool sameIp) {
    std::vector<ModifyRequest> requests;
    if (!form.change) {
        return requests;
    }
    int k = 0;
    for (const device::DeviceInfo& device : checked) {
        device::AddressChange change = *form.change;
        if (form.keepNetmask) {
            change.netmask = device.netmask;
        }
        if (form.keepGateway) {
            change.gateway = device.gateway;
            change.dns = device.dns;
        }
        if (form.keepPort) {
            change.httpPort = device.ports.http;
        }
        change.name = device.name;
        if (!sameIp) {
            std::array<int, 4> a = form.address;
            a[3] = (form.address[3] + k) % 255;
            if (a[3] == 0) {
                a[3] = 1;
            }
            change.address = hostOrder(a);
        }
        requests.push_back({device, change, form.credentials});
        ++k;
    }
    return requests;
}

bool RequestChangesNothing(const device::AddressChange& change, const device::DeviceInfo& device) {
    return EqualsNoCase(device.name.toStdWString(), change.name.toStdWString()) &&
           device.address == change.address && device.netmask == change.netmask &&
           device.gateway == change.gateway && device.ports.http == change.httpPort;
}

} // namespace orv::network
