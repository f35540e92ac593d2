#include "ResultLines.h"

#include "protocols/qv/RecordText.h"

#include <cstdio>

namespace orv {

std::string MacText(const tagQvIpcInfo& r) {
    char text[32] = {};
    std::snprintf(text, sizeof text, "[%.2X:%.2X:%.2X:%.2X:%.2X:%.2X]", r.Mac[0], r.Mac[1],
                  r.Mac[2], r.Mac[3], r.Mac[4], r.Mac[5]);
    return text;
}

std::string ResultLine(const tagQvIpcInfo& device, std::string_view words, bool succeeded) {
    char line[260] = {};
    std::snprintf(line, sizeof line, "%s %s %.*s %s", MacText(device).c_str(),
                  FieldText(device.IpAddr).c_str(), static_cast<int>(words.size()), words.data(),
                  succeeded ? "Succeed." : "Failed.");
    return line;
}

std::string ModifyResultLine(const tagQvIpcInfo& r, bool succeeded) {
    char line[260] = {};
    std::snprintf(line, sizeof line, "%s Modify IP,Port,Netmask to %.31s, %d, %.31s %s",
                  MacText(r).c_str(), r.IpAddr, r.HttpPort, r.NetMask,
                  succeeded ? "Succeed." : "Failed.");
    return line;
}

} // namespace orv
