#pragma once
// A camera's identity, whatever protocol found it. Where the camera told its
// MAC, the MAC is the identity, so one physical camera that answers two
// protocols is one device; a camera that never told its MAC is known by its
// protocol's own endpoint id (an ONVIF endpoint reference, say). Lists, jobs
// and results keep this, never a row number or an address, so sorting, new
// rows, dropped rows and address changes never make an operation reach
// another camera.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orv::device {

using MacAddress = std::array<std::uint8_t, 6>;

class DeviceId {
public:
    DeviceId() = default;
    static DeviceId OfMac(const MacAddress& mac);
    // `protocol` names the protocol ("onvif"), `endpoint` its id of the camera.
    static DeviceId OfEndpoint(std::string_view protocol, std::string_view endpoint);

    bool IsNull() const { return m_key.empty(); }
    bool HasMac() const { return m_kind == Kind::Mac; }
    // The MAC, when the identity is one.
    MacAddress Mac() const;
    // "mac:00:11:22:33:44:55" or "<protocol>:<endpoint>": stable across
    // runs, for files and logs.
    const std::string& Text() const { return m_key; }

    bool operator==(const DeviceId& other) const { return m_key == other.m_key; }
    bool operator<(const DeviceId& other) const { return m_key < other.m_key; }

private:
    enum class Kind : std::uint8_t { None, Mac, Endpoint };
    Kind m_kind = Kind::None;
    std::string m_key;
};

struct DeviceIdHash {
    std::size_t operator()(const DeviceId& id) const { return std::hash<std::string>{}(id.Text()); }
};

// "00:11:22:33:44:55", upper-case hex as the lists show it.
std::string MacText(const MacAddress& mac);

} // namespace orv::device
