#pragma once
// Virtual cameras on loopback for the SDK tests: several addresses of
// 127.0.0.0/8 on one port, served by one device API server.

#include "camsim/httpapi/DeviceApiServer.h"
#include "camsim/httpapi/MemoryDeviceApiHost.h"
#include "qvipcsdk/QvIpcSdk.h"

#include <chrono>
#include <string>

namespace testcams {

// Model whose fifth and sixth characters fit images named QVFImage_21...
inline constexpr const char* kModel = "QVIP3651";
inline constexpr const char* kPassword = "kt7391";

// A port nobody listens on yet, taken from the kernel.
int freePort();

class Lab {
public:
    explicit Lab(int cameras = 3, camsim::DeviceApiOptions options = defaultOptions());
    ~Lab();
    Lab(const Lab&) = delete;
    Lab& operator=(const Lab&) = delete;

    static camsim::DeviceApiOptions defaultOptions();

    std::string ip(int camera) const { return "127.0.0." + std::to_string(camera + 2); }
    int port() const { return m_port; }
    camsim::CameraKey key(int camera) const { return {ip(camera), m_port}; }
    int login(int camera, const char* password = kPassword) const;
    // The version an accepted image installed (the camera reboots into it
    // at once); empty when the camera took no image.
    std::string installedVersion(int camera) const;

    camsim::MemoryDeviceApiHost host;
    camsim::DeviceApiServer server;

private:
    int m_port;
};

double secondsSince(std::chrono::steady_clock::time_point start);

} // namespace testcams
