#include "camsim/httpapi/MemoryDeviceApiHost.h"

namespace camsim {

void MemoryDeviceApiHost::add(CameraIdentity identity) {
    std::lock_guard guard(m_lock);
    CameraKey key{identity.ip, identity.httpPort};
    if (identity.id.empty()) {
        // The address it was added at stays its identity when its port moves.
        identity.id = identity.ip + ":" + std::to_string(identity.httpPort);
    }
    m_cameras[key] = Camera{std::move(identity), nlohmann::json::object()};
}

void MemoryDeviceApiHost::clear() {
    std::lock_guard guard(m_lock);
    m_cameras.clear();
    m_reboots.clear();
}

std::optional<MemoryDeviceApiHost::Camera>
MemoryDeviceApiHost::snapshot(const CameraKey& key) const {
    std::lock_guard guard(m_lock);
    const auto it = m_cameras.find(key);
    if (it == m_cameras.end()) {
        return std::nullopt;
    }
    return it->second;
}

int MemoryDeviceApiHost::rebootCount(const CameraKey& key) const {
    std::lock_guard guard(m_lock);
    const auto it = m_reboots.find(key);
    return it == m_reboots.end() ? 0 : it->second;
}

std::vector<CameraKey> MemoryDeviceApiHost::endpoints() {
    std::lock_guard guard(m_lock);
    std::vector<CameraKey> keys;
    for (const auto& [key, camera] : m_cameras) {
        keys.push_back(key);
    }
    return keys;
}

bool MemoryDeviceApiHost::withCamera(const CameraKey& key,
                                     const std::function<bool(CameraState&)>& fn) {
    std::lock_guard guard(m_lock);
    auto it = m_cameras.find(key);
    if (it == m_cameras.end()) {
        return false;
    }
    Camera& camera = it->second;
    CameraState state{camera.identity, camera.config};
    fn(state);
    // A camera whose HTTP port changed answers at its new port from now on.
    const CameraKey now{camera.identity.ip, camera.identity.httpPort};
    if (now != key) {
        auto node = m_cameras.extract(it);
        node.key() = now;
        m_cameras.insert_or_assign(now, std::move(node.mapped()));
    }
    return true;
}

void MemoryDeviceApiHost::rebootStarted(const CameraKey& key, std::chrono::milliseconds) {
    std::lock_guard guard(m_lock);
    ++m_reboots[key];
}

} // namespace camsim
