#include "TestCameras.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace testcams {

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

camsim::DeviceApiOptions Lab::defaultOptions() {
    camsim::DeviceApiOptions options;
    // Only loopback can reach the test cameras.
    options.bindDevice = "lo";
    options.rebootSilence = std::chrono::milliseconds(700);
    return options;
}

Lab::Lab(int cameras, camsim::DeviceApiOptions options)
    : server(host, std::move(options)), m_port(0) {
    // Another test process may take the free port between the look and the
    // server's bind: the cameras then move to another one.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freePort();
        host.clear();
        for (int i = 0; i < cameras; ++i) {
            camsim::CameraIdentity identity;
            identity.ip = ip(i);
            identity.httpPort = m_port;
            identity.deviceName = "Cam" + std::to_string(i);
            identity.adminPassword = kPassword;
            identity.model = kModel;
            identity.version = "13.1.0.5";
            host.add(identity);
        }
        if (server.start()) {
            return;
        }
        server.stop();
    }
    throw std::runtime_error("device API server did not start");
}

Lab::~Lab() {
    server.stop();
}

int Lab::login(int camera, const char* password) const {
    const std::string address = ip(camera);
    return Qv_Ipc_Login(address.c_str(), address.c_str(), m_port, "admin", password, 0);
}

std::string Lab::installedVersion(int camera) const {
    const auto state = host.snapshot(key(camera));
    const nlohmann::json& config = state->config;
    const bool took = config.contains("firmware") && config["firmware"].value("installed", 0) > 0;
    return took ? state->identity.version : "";
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace testcams
