#pragma once
// What a camera can be asked to do. A driver fills it per camera (from the
// model, the protocol's own capability answer, or both); pages disable a
// control that a camera lacks, and a job step it cannot do ends for that
// camera as "not supported by this camera" instead of being skipped.

#include <cstdint>
#include <initializer_list>

namespace orv::device {

enum class Capability : std::uint8_t {
    AddressWithoutLogin, // IP settings changed by discovery, before any login
    Name,
    Password,
    DateTime,
    Ports,
    Ddns,
    Streams,
    Image,   // power line frequency, IR cut, local display, exposure
    Picture, // brightness, contrast, saturation
    Firmware,
    Oem,
    LiveVideo,
    Reboot,
    Restore,
    Address, // IP settings changed at all: by discovery, or with a login (ONVIF)
    // A secret (a new password) sent without TLS is still sealed under the
    // current password; without this it would cross the network in clear.
    SealedSecrets,
    DdnsAccount,    // the DDNS provider and its account, not only the host name
    SecondRtspPort, // a port of its own for the second stream
};
inline constexpr int kCapabilityCount = static_cast<int>(Capability::SecondRtspPort) + 1;

class Capabilities {
public:
    constexpr Capabilities() = default;
    constexpr Capabilities(std::initializer_list<Capability> list) {
        for (const Capability c : list) {
            m_bits |= bit(c);
        }
    }
    static constexpr Capabilities All() {
        Capabilities all;
        all.m_bits = (1u << kCapabilityCount) - 1;
        return all;
    }

    constexpr bool Has(Capability c) const { return (m_bits & bit(c)) != 0; }
    constexpr Capabilities Without(Capability c) const {
        Capabilities less = *this;
        less.m_bits &= ~bit(c);
        return less;
    }
    constexpr Capabilities With(Capability c) const {
        Capabilities more = *this;
        more.m_bits |= bit(c);
        return more;
    }
    // What either can do.
    constexpr Capabilities operator|(const Capabilities& other) const {
        Capabilities both = *this;
        both.m_bits |= other.m_bits;
        return both;
    }
    constexpr bool operator==(const Capabilities&) const = default;

private:
    static constexpr std::uint32_t bit(Capability c) { return 1u << static_cast<int>(c); }
    std::uint32_t m_bits = 0;
};

} // namespace orv::device
