#pragma once
// The device API's view of the simulator's cameras: every call reaches a
// camera through the store, so the API, the discovery answers and the state
// file always show one and the same camera.

#include "camsim/httpapi/DeviceApiHost.h"
#include "core/CameraStore.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace camsim {

class StoreDeviceApiHost : public DeviceApiHost {
public:
    // Told which camera started a reboot and for how long it stays silent.
    using RebootHook = std::function<void(std::size_t camera, std::chrono::milliseconds silence)>;

    // Without onvifOnlyToo endpoints() leaves the other makers' cameras
    // out: they have no device API. Their web server's TLS port serves
    // ONVIF all the same, so tlsEndpoints() and withCamera() know them
    // (marked deviceApi = false). The video server sees them all.
    explicit StoreDeviceApiHost(CameraStore& store, RebootHook onReboot = {},
                                bool onvifOnlyToo = false);

    // Told when a call through the API moved a camera's ONVIF or RTSP port,
    // after the store's lock is released.
    void setPortsHook(std::function<void(std::size_t camera)> hook) { m_onPorts = std::move(hook); }

    std::vector<CameraKey> endpoints() override;
    std::vector<CameraKey> tlsEndpoints() override;
    bool withCamera(const CameraKey& key, const std::function<bool(CameraState&)>& fn) override;
    void rebootStarted(const CameraKey& key, std::chrono::milliseconds silence) override;

    // The camera that answers at key. Cameras that share an address and port
    // (factory-fresh ones) are reached through the first of them only.
    std::optional<std::size_t> indexOf(const CameraKey& key);

    // Where camera `index` serves its API now.
    CameraKey keyOf(std::size_t index) const;

private:
    static std::optional<std::uint64_t> packed(const CameraKey& key);
    std::optional<std::size_t> lookup(std::uint64_t where, bool refresh);

    CameraStore& m_store;
    RebootHook m_onReboot;
    bool m_onvifOnlyToo;
    std::function<void(std::size_t)> m_onPorts;
    // A cache only: a raw-Ethernet modify moves cameras behind its back, so
    // every use is checked again under the store's lock. Taken before the
    // store's lock, never inside it.
    std::mutex m_indexLock;
    std::map<std::uint64_t, std::size_t> m_index;
};

} // namespace camsim
