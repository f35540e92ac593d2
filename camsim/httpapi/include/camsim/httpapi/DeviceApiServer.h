#pragma once

#include <cstdint>
// Serves the device API of many virtual cameras from one process: one
// listener per distinct HTTP port and one HTTPS listener per distinct TLS
// port, each finding the camera by the local address a connection arrived
// on (over TLS it also presents that camera's own certificate).
// Connections are served by a small pool per listener, never by a thread
// per camera.

#include "camsim/httpapi/DeviceApiHost.h"
#include "camsim/httpapi/FaultPlan.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace camsim {

struct DeviceApiOptions {
    // Address every listener binds; cameras on one port share a listener.
    std::string bindHost = "0.0.0.0";
    // When set, listeners take connections from this interface only (for
    // example "lo" in tests, so nothing outside the machine can reach them).
    std::string bindDevice;
    // Workers per listener; they serve requests whose head is complete, and
    // an idle kept-alive connection waits without one (keepAliveSeconds).
    int workersPerListener = 48;
    int keepAliveSeconds = 3;
    // A request head must be complete this long after its first byte (after
    // the accept for a connection's first request); no worker waits for it.
    std::chrono::milliseconds headTimeout{2500};
    // Connections one client address may hold open to one camera (local
    // address) on one port, and all of a port's; one more is reset at once.
    int connectionsPerClient = 32;
    int connectionsPerListener = 4096;
    std::chrono::milliseconds rebootSilence{3000};
    // How long a Digest nonce stays good; older ones are answered stale.
    std::chrono::milliseconds nonceLifetime{300000};
    // How long a nonce for sealing a secret stays good (single use).
    std::chrono::milliseconds sealNonceLifetime{30000};
    std::string realm = "Orvantix Camera";
    // TLS port given to a camera whose config has no TLS section yet (with a
    // new key and certificate); 0: such a camera offers no TLS. The
    // executable passes its configuration's (443 by default).
    int defaultTlsPort = 0;
    // The camera clocks run on this; tests freeze it.
    std::function<std::chrono::system_clock::time_point()> clock = [] {
        return std::chrono::system_clock::now();
    };
};

// A request for another service of the camera's web server that shares the
// camera's TLS port with the device API (ONVIF): one port, one certificate,
// one admission for both, as on a real camera.
struct HttpsTenantRequest {
    std::string method;
    std::string target; // path and query, as sent
    std::string path;
    std::string authorization; // the header, empty when none
    std::string body;
    std::string localIp;
    int localPort = 0;
};

struct HttpsTenantReply {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // Sent in two chunks, without Content-Length.
    bool chunked = false;
    // Nobody answers: the connection is reset without a word.
    bool drop = false;
};

using HttpsTenant = std::function<HttpsTenantReply(const HttpsTenantRequest&)>;

class DeviceApiServer {
public:
    DeviceApiServer(DeviceApiHost& host, DeviceApiOptions options = {});
    ~DeviceApiServer();
    DeviceApiServer(const DeviceApiServer&) = delete;
    DeviceApiServer& operator=(const DeviceApiServer&) = delete;

    // POST requests on a TLS port outside the device API's paths (/api/...)
    // go to tenant, whichever camera they are for, with no fault of the
    // device API applied (the tenant keeps its own silence). Bodies beyond
    // maxBody are answered 413. Set before start().
    void setHttpsTenant(std::size_t maxBody, HttpsTenant tenant);

    // Opens a listener for every HTTP and TLS port the host's cameras name,
    // first giving every camera without one a TLS identity. False when a
    // port cannot be bound (the others keep running). The process ignores
    // SIGPIPE from then on, since a client may vanish mid-answer.
    bool start();
    // Opens listeners for HTTP ports that appeared in the host since (a
    // camera added or moved by its HTTP port). Cheap: no camera is read.
    bool sync();
    // After a camera's TLS port or identity changed outside the API: gives
    // cameras without an identity one and opens listeners for new TLS ports.
    // Reads every camera.
    bool refreshTls();
    void stop();

    void setFaults(const CameraKey& key, FaultPlan plan);
    void clearFaults(const CameraKey& key);
    // A reboot ordered through another face (ONVIF): silent as after one
    // through the API, and the nonces handed out go stale.
    void startReboot(const CameraKey& key);
    // True while the camera is silent after a reboot.
    bool isRebooting(const CameraKey& key) const;
    // Bytes of firmware and OEM uploads the camera read after a login, over
    // its life in this process: what reached it, whatever became of it.
    std::uint64_t uploadedBytes(const CameraKey& key) const;
    // True while the camera serves nothing over TCP: rebooting, or its web
    // service down or silenced by a fault.
    bool isSilent(const CameraKey& key) const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace camsim
