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

    // 127.0.0.2 on; past 127.0.0.254 the third byte counts on.
    std::string ip(int camera) const {
        const int n = camera + 2;
        return n < 255 ? "127.0.0." + std::to_string(n)
                       : "127.0." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 2);
    }
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
