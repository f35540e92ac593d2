#include "api/StoreDeviceApiHost.h"

#include "qvsp/wire/Records.h"

#include <arpa/inet.h>

namespace camsim {

namespace {

std::string ipText(std::uint32_t ip) {
    const std::uint32_t network = htonl(ip);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &network, text, sizeof text);
    return text;
}

std::uint64_t pack(std::uint32_t ip, std::uint16_t port) {
    return std::uint64_t{ip} << 16 | port;
}

} // namespace

StoreDeviceApiHost::StoreDeviceApiHost(CameraStore& store, RebootHook onReboot, bool onvifOnlyToo)
    : m_store(store), m_onReboot(std::move(onReboot)), m_onvifOnlyToo(onvifOnlyToo) {}

std::vector<CameraKey> StoreDeviceApiHost::endpoints() {
    std::vector<CameraKey> keys;
    keys.reserve(m_store.size());
    m_store.forEach([&](const Camera& c) {
        if (m_onvifOnlyToo || c.maker.empty())
            keys.push_back({ipText(c.net.ip), c.net.httpPort});
    });
    return keys;
}

std::vector<CameraKey> StoreDeviceApiHost::tlsEndpoints() {
    std::vector<CameraKey> keys;
    keys.reserve(m_store.size());
    m_store.forEach([&](const Camera& c) { keys.push_back({ipText(c.net.ip), c.net.httpPort}); });
    return keys;
}

CameraKey StoreDeviceApiHost::keyOf(std::size_t index) const {
    return m_store.viewCamera(index, [](const Camera& c) {
        return CameraKey{ipText(c.net.ip), c.net.httpPort};
    });
}

std::optional<std::uint64_t> StoreDeviceApiHost::packed(const CameraKey& key) {
    const auto ip = qvsp::wire::parseIpv4(key.ip);
    if (!ip || key.ip.empty() || key.port < 1 || key.port > 65535)
        return std::nullopt;
    return pack(*ip, static_cast<std::uint16_t>(key.port));
}

std::optional<std::size_t> StoreDeviceApiHost::lookup(std::uint64_t where, bool refresh) {
    std::lock_guard guard(m_indexLock);
    if (refresh) {
        m_index.clear();
        std::size_t i = 0;
        // emplace keeps the first camera of a shared address. The other
        // makers' cameras are found too, for their HTTPS (tlsEndpoints).
        m_store.forEach(
            [&](const Camera& c) { m_index.emplace(pack(c.net.ip, c.net.httpPort), i++); });
    }
    const auto it = m_index.find(where);
    if (it == m_index.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::size_t> StoreDeviceApiHost::indexOf(const CameraKey& key) {
    const auto where = packed(key);
    if (!where)
        return std::nullopt;
    for (const bool refresh : {false, true}) {
        const auto index = lookup(*where, refresh);
        if (index && m_store.viewCamera(*index, [&](const Camera& c) {
                return pack(c.net.ip, c.net.httpPort) == *where;
            }))
            return index;
    }
    return std::nullopt;
}

bool StoreDeviceApiHost::withCamera(const CameraKey& key,
                                    const std::function<bool(CameraState&)>& fn) {
    const auto where = packed(key);
    if (!where)
        return false;
    for (const bool refresh : {false, true}) {
        const auto index = lookup(*where, refresh);
        if (!index)
            continue;
        bool portsMoved = false;
        const bool found = m_store.withCamera(*index, [&](Camera& c) {
            // The camera may have moved since the lookup.
            if (pack(c.net.ip, c.net.httpPort) != *where)
                return false;
            const nlohmann::json portsBefore = c.deviceConfig.value("ports", nlohmann::json());
            CameraIdentity identity{c.name,    c.password, c.net.httpPort, c.model,
                                    c.version, key.ip,     macText(c.mac), c.maker.empty()};
            CameraState state{identity, c.deviceConfig};
            fn(state);
            // The API checks every value it takes; the address is not its to
            // change, and a port outside 1..65535 would leave the camera
            // unreachable, so it is never taken over.
            c.name = identity.deviceName;
            c.password = identity.adminPassword;
            c.version = identity.version;
            if (identity.httpPort >= 1 && identity.httpPort <= 65535)
                c.net.httpPort = static_cast<std::uint16_t>(identity.httpPort);
            portsMoved = c.deviceConfig.value("ports", nlohmann::json()) != portsBefore;
            return true;
        });
        if (found && portsMoved && m_onPorts)
            m_onPorts(*index);
        if (found)
            return true;
    }
    return false;
}

void StoreDeviceApiHost::rebootStarted(const CameraKey& key, std::chrono::milliseconds silence) {
    const auto index = indexOf(key);
    if (index && m_onReboot)
        m_onReboot(*index, silence);
}

} // namespace camsim
