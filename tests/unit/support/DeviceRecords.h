#pragma once
// Camera records as discovery delivers them, for list and page tests.

#include "qvsp/QvspTypes.h"

#include <cstdio>
#include <cstring>

inline tagQvIpcInfo Camera(unsigned char id, const char* ip, const char* name = "Camera",
                           const char* model = "QV-N2610", const char* displayModel = "") {
    tagQvIpcInfo r{};
    const unsigned char mac[8] = {0x02, 0x4F, 0x56, 0x10, 0x00, id, 0, 0};
    std::memcpy(r.Mac, mac, sizeof mac);
    std::snprintf(r.DevName, sizeof r.DevName, "%s", name);
    std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", ip);
    r.HttpPort = 80;
    std::snprintf(r.NetMask, sizeof r.NetMask, "255.255.255.0");
    std::snprintf(r.Gateway, sizeof r.Gateway, "192.168.1.1");
    std::snprintf(r.Dns, sizeof r.Dns, "192.168.1.1");
    std::snprintf(r.Model, sizeof r.Model, "%s", model);
    std::snprintf(r.Version, sizeof r.Version, "12.0.4.3");
    std::snprintf(r.DisplayModel, sizeof r.DisplayModel, "%s", displayModel);
    return r;
}
