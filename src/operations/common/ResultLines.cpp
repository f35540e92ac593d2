#include "ResultLines.h"

#include <cstdio>

namespace orv {

std::string ResultLine(const device::DeviceInfo& device, std::string_view words, bool succeeded) {
    char line[260] = {};
    std::snprintf(line, sizeof line, "[%s] %s %.*s %s", device.MacText().c_str(),
                  device.AddressText().toStdString().c_str(), static_cast<int>(words.size()),
                  words.data(), succeeded ? "Succeed." : "Failed.");
    return line;
}

std::string ModifyResultLine(const device::DeviceInfo& device, bool succeeded) {
    char line[260] = {};
    std::snprintf(line, sizeof line, "[%s] Modify IP,Port,Netmask to %s, %d, %s %s",
                  device.MacText().c_str(), device.AddressText().toStdString().c_str(),
                  device.ports.http, device::Ipv4Text(device.netmask).toStdString().c_str(),
                  succeeded ? "Succeed." : "Failed.");
    return line;
}

} // namespace orv
