#pragma once
// The seam between the device API server and whatever keeps the virtual
// cameras. The server never owns a camera: it asks the host for one by the
// address and port a request arrived on, under the host's lock.

#include <nlohmann/json.hpp>

#include <chrono>
#include <compare>
#include <functional>
#include <string>
#include <vector>

namespace camsim {

struct CameraKey {
    std::string ip;
    int port = 0;
    auto operator<=>(const CameraKey&) const = default;
};

// What the discovery answers show as well; changed through the API by
// Set device name, Modify password, Set ports (HTTP port) and a firmware
// upgrade (version, after the reboot).
struct CameraIdentity {
    std::string deviceName; // UTF-8
    std::string adminPassword;
    int httpPort = 80;
    std::string model;
    std::string version;
    std::string ip;
    // Stays with the camera wherever it moves (the simulator uses its MAC);
    // faults, reboot silence and nonces are kept under it. Empty: the
    // address and port stand for the camera.
    std::string id;
    // False for a camera whose web server has no device API (another
    // maker's): its TLS port serves only the HTTPS tenant's paths.
    bool deviceApi = true;
};

// A camera as the API sees it for the length of one call.
struct CameraState {
    CameraIdentity& identity;
    // Owned and shaped by the API (see docs/device-api.md, "Camera state").
    // An empty object is filled with the factory defaults on first use; the
    // host stores it as it is and hands it back unchanged.
    nlohmann::json& config;
};

class DeviceApiHost {
public:
    virtual ~DeviceApiHost() = default;

    // Every address and port at which a camera serves its API now.
    virtual std::vector<CameraKey> endpoints() = 0;

    // The cameras whose TLS port the server serves: those of endpoints(),
    // and cameras without the device API whose web server still offers
    // HTTPS for the tenant (DeviceApiServer::setHttpsTenant). withCamera
    // must find them all.
    virtual std::vector<CameraKey> tlsEndpoints() { return endpoints(); }

    // Runs fn on the camera at key while holding the store's lock; fn returns
    // true when it changed the identity or the config, and the host then
    // keeps the change (and re-files the camera if its HTTP port moved).
    // Returns false, without calling fn, when no camera is there.
    virtual bool withCamera(const CameraKey& key, const std::function<bool(CameraState&)>& fn) = 0;

    // The camera at key starts a reboot and stays silent for the given time.
    // Lets discovery go quiet as well; the API server keeps its own silence.
    virtual void rebootStarted(const CameraKey& /*key*/, std::chrono::milliseconds /*silence*/) {}
};

} // namespace camsim
