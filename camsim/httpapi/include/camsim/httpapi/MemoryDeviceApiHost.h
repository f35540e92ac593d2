#pragma once
// Cameras kept in memory, for tests of the device API and of the SDK. The
// simulator's persistent store takes its place in the real program.

#include "camsim/httpapi/DeviceApiHost.h"

#include <map>
#include <mutex>
#include <optional>

namespace camsim {

class MemoryDeviceApiHost : public DeviceApiHost {
public:
    struct Camera {
        CameraIdentity identity;
        nlohmann::json config = nlohmann::json::object();
    };

    // Adds a camera at identity.ip and identity.httpPort (replacing one there).
    void add(CameraIdentity identity);
    // Forgets every camera (and its reboots).
    void clear();
    // What the camera holds now: for tests that check what it really received.
    std::optional<Camera> snapshot(const CameraKey& key) const;
    int rebootCount(const CameraKey& key) const;

    std::vector<CameraKey> endpoints() override;
    bool withCamera(const CameraKey& key, const std::function<bool(CameraState&)>& fn) override;
    void rebootStarted(const CameraKey& key, std::chrono::milliseconds silence) override;

private:
    mutable std::mutex m_lock;
    std::map<CameraKey, Camera> m_cameras;
    std::map<CameraKey, int> m_reboots;
};

} // namespace camsim
