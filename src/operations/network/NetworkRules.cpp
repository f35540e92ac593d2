#include "NetworkRules.h"

#include "protocols/qv/RecordText.h"
#include "text/DottedNumbers.h"
#include "text/TextConv.h"
#include "text/WideText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>

namespace orv::network {
namespace {

std::wstring trimmed(std::wstring_view s) {
    return std::wstring(TrimView(s));
}

bool sameNoCase(const char* field, size_t width, const char* text) {
    const size_t n = strnlen(field, width);
    if (n != std::strlen(text)) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(field[i])) !=
            std::tolower(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

template <size_t N>
void putAddress(char (&field)[N], const std::array<int, 4>& a) {
    std::snprintf(field, N, "%d.%d.%d.%d", a[0], a[1], a[2], a[3]);
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

CheckedForm CheckForm(const NetworkForm& form, bool checkedMode,
                      const std::vector<int>& currentPorts) {
    CheckedForm out;
    tagQvIpcInfo r{};
    auto fail = [&out](const Message& m) {
        out.error = m;
        return out;
    };

    // A text its field cannot take whole is refused by name, never sent empty.
    const auto tooLong = [&out, &fail](const Message& label) {
        out.field = label;
        return fail(kTooLongForCamera);
    };
    const std::wstring user = trimmed(form.user);
    if (user.empty()) {
        return fail(kUserEmpty);
    }
    if (!PutRecordText(r.UserName, user, kCpAnsi)) {
        return tooLong(kUserLabel);
    }

    const std::wstring password = trimmed(form.password);
    if (password.empty()) {
        return fail(kPasswordEmpty);
    }
    if (!PutRecordText(r.Password, password, kCpAnsi)) {
        return tooLong(kPasswordLabel);
    }

    const std::wstring name = trimmed(form.deviceName);
    if (!checkedMode) {
        if (name.empty()) {
            return fail(kFieldEmpty);
        }
        if (!PutRecordText(r.DevName, name, kCpUtf8)) {
            return tooLong(kDeviceNameLabel);
        }
    }

    // Addresses go out in their plain dotted form, so stray blanks or text
    // after the fourth number never reach a camera.
    const std::wstring ip = trimmed(form.ip);
    if (ip.empty()) {
        return fail(kFieldEmpty);
    }
    if (!IsValidAddress(ip)) {
        return fail(kInvalidIp);
    }
    out.address = *ReadFourNumbers(ip);
    putAddress(r.IpAddr, out.address);

    const std::wstring mask = trimmed(form.netmask);
    if (mask.empty() && checkedMode) {
        out.keepNetmask = true;
    } else if (mask.empty()) {
        return fail(kFieldEmpty);
    } else if (!IsValidNetmask(mask)) {
        return fail(kInvalidNetmask);
    } else {
        putAddress(r.NetMask, *ReadFourNumbers(mask));
    }

    const std::wstring gateway = trimmed(form.gateway);
    if (gateway.empty() && checkedMode) {
        out.keepGateway = true;
    } else if (gateway.empty()) {
        return fail(kFieldEmpty);
    } else if (!IsValidAddress(gateway)) {
        return fail(kInvalidGateway);
    } else {
        putAddress(r.Gateway, *ReadFourNumbers(gateway));
        // The gateway serves as DNS server as well.
        std::memcpy(r.Dns, r.Gateway, sizeof r.Dns);
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
        r.HttpPort = static_cast<std::int32_t>(portNumber);
    }
    out.request = r;
    return out;
}

std::vector<tagQvIpcInfo> BuildCheckedRequests(const CheckedForm& form,
                                               const std::vector<tagQvIpcInfo>& checkedDevices,
                                               bool sameIp) {
    std::vector<tagQvIpcInfo> requests;
    if (!form.request) {
        return requests;
    }
    int k = 0;
    for (const auto& device : checkedDevices) {
        tagQvIpcInfo r = *form.request;
        std::memcpy(r.Mac, device.Mac, sizeof r.Mac);
        if (form.keepNetmask) {
            std::memcpy(r.NetMask, device.NetMask, sizeof r.NetMask);
        }
        if (form.keepGateway) {
            std::memcpy(r.Gateway, device.Gateway, sizeof r.Gateway);
            std::memcpy(r.Dns, device.Dns, sizeof r.Dns);
        }
        if (form.keepPort) {
            r.HttpPort = device.HttpPort;
        }
        // The device keeps its own name; it goes out escaped like every text,
        // cut where the field ends rather than emptied by an escape too many.
        const std::wstring name =
            FromUtf8(std::string(device.DevName, strnlen(device.DevName, sizeof device.DevName)));
        PutRecordText(r.DevName, CutToRecordField(name, kCpUtf8, sizeof r.DevName), kCpUtf8);
        if (!sameIp) {
            std::array<int, 4> a = form.address;
            a[3] = (form.address[3] + k) % 255;
            if (a[3] == 0) {
                a[3] = 1;
            }
            putAddress(r.IpAddr, a);
        }
        requests.push_back(r);
        ++k;
    }
    return requests;
}

bool RequestChangesNothing(const tagQvIpcInfo& request, std::wstring_view newName,
                           const tagQvIpcInfo& device) {
    const std::wstring oldName =
        FromUtf8(std::string_view(device.DevName, strnlen(device.DevName, sizeof device.DevName)));
    return EqualsNoCase(oldName, newName) &&
           sameNoCase(device.IpAddr, sizeof device.IpAddr, request.IpAddr) &&
           sameNoCase(device.NetMask, sizeof device.NetMask, request.NetMask) &&
           sameNoCase(device.Gateway, sizeof device.Gateway, request.Gateway) &&
           device.HttpPort == request.HttpPort;
}

} // namespace orv::network
