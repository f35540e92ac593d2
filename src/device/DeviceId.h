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
#include <optional>
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

    bool IsNull() const { return m_kind == Kind::None; }
    bool HasMac() const { return m_kind == Kind::Mac; }
    // The MAC, when the identity is one; zeros otherwise.
    MacAddress Mac() const { return HasMac() ? m_mac : MacAddress{}; }
    // "mac:00:11:22:33:44:55" or "<protocol>:<endpoint>": stable across
    // runs, for files and logs.
    std::string Text() const;
    // The identity a Text() names; a null identity for any other text.
    static DeviceId FromText(std::string_view text);

    bool operator==(const DeviceId& other) const = default;
    std::size_t Hash() const;

private:
    enum class Kind : std::uint8_t { None, Mac, Endpoint };
    // A list holds one identity per row on every page, so the common case,
    // a MAC, is kept without an allocation.
    Kind m_kind = Kind::None;
    MacAddress m_mac{};
    std::string m_endpoint; // "<protocol>:<endpoint>"
};

struct DeviceIdHash {
    std::size_t operator()(const DeviceId& id) const { return id.Hash(); }
};

// "00:11:22:33:44:55", upper-case hex as the lists show it.
std::string MacText(const MacAddress& mac);
// "AA:BB:CC:DD:EE:FF", "aa-bb-cc-dd-ee-ff" or twelve hex digits.
std::optional<MacAddress> ReadMac(std::string_view text);

} // namespace orv::device
