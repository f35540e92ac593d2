#pragma once
// Camera records as discovery delivers them, for list and page tests.

#include "protocols/qv/QvRecords.h"
#include "qvsp/QvspTypes.h"

#include <chrono>
#include <vector>

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

// A record as the maker's driver hands it on: the camera as the lists and
// pages take it.
inline orv::device::DeviceInfo Found(const tagQvIpcInfo& record) {
    return orv::qv::DeviceOf(record, std::chrono::steady_clock::now());
}
inline std::vector<orv::device::DeviceInfo> Found(const std::vector<tagQvIpcInfo>& records) {
    std::vector<orv::device::DeviceInfo> devices;
    for (const tagQvIpcInfo& r : records) {
        devices.push_back(Found(r));
    }
    return devices;
}
