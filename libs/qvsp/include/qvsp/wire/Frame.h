#pragma once

// Codec of the discovery frames: 260-byte Ethernet frames of EtherType
// 0x0809. The layout is documented in docs/discovery-protocol.md; this file
// and that document change together.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace qvsp::wire {

inline constexpr std::size_t kFrameSize = 260;
inline constexpr std::size_t kEthernetHeaderSize = 14;
inline constexpr std::size_t kPayloadHeaderSize = 16;
inline constexpr std::size_t kMaxBodySize = kFrameSize - kEthernetHeaderSize - kPayloadHeaderSize;
inline constexpr std::uint16_t kEtherType = 0x0809;
inline constexpr std::array<std::uint8_t, 4> kMagic{'O', 'V', 'X', 'D'};
inline constexpr std::uint8_t kVersion = 1;

// Widths of text fields on the wire; each holds at most width - 1 bytes of
// text followed by a zero byte.
inline constexpr std::size_t kNameWidth = 64;
inline constexpr std::size_t kModelWidth = 32;
inline constexpr std::size_t kVersionWidth = 32;
inline constexpr std::size_t kDisplayModelWidth = 32;
inline constexpr std::size_t kUserWidth = 32;

using MacAddress = std::array<std::uint8_t, 6>;
using DeviceId = std::array<std::uint8_t, 8>; // MAC plus two bytes that travel with it
using Nonce = std::array<std::uint8_t, 16>;
using Proof = std::array<std::uint8_t, 32>;
using FrameBytes = std::array<std::uint8_t, kFrameSize>;

inline constexpr MacAddress kBroadcast{0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

enum class Kind : std::uint8_t {
    SearchRequest = 1,
    SearchAnswer = 2,
    ChallengeRequest = 3,
    Challenge = 4,
    ModifyRequest = 5,
    ModifyResult = 6,
};

// IPv4 addresses are kept in host order here and travel in network order.
struct NetworkSettings {
    std::uint32_t ip = 0;
    std::uint32_t netmask = 0;
    std::uint32_t gateway = 0;
    std::uint32_t dns = 0;
    std::uint16_t httpPort = 0;
    bool operator==(const NetworkSettings&) const = default;
};

struct SearchRequest {
    bool operator==(const SearchRequest&) const = default;
};

struct SearchAnswer {
    DeviceId device{};
    NetworkSettings net;
    std::string name; // UTF-8
    std::string model;
    std::string version;
    std::string displayModel;
    bool operator==(const SearchAnswer&) const = default;
};

struct ChallengeRequest {
    DeviceId device{};
    bool operator==(const ChallengeRequest&) const = default;
};

struct Challenge {
    DeviceId device{};
    Nonce nonce{};
    bool operator==(const Challenge&) const = default;
};

struct ModifyRequest {
    DeviceId device{};
    Nonce nonce{};
    NetworkSettings net;
    std::string user;
    std::string name;
    Proof proof{};
    bool operator==(const ModifyRequest&) const = default;
};

struct ModifyResult {
    DeviceId device{};
    std::int32_t result = 0;
    bool operator==(const ModifyResult&) const = default;
};

using Body = std::variant<SearchRequest, SearchAnswer, ChallengeRequest, Challenge, ModifyRequest,
                          ModifyResult>;

struct Frame {
    MacAddress dst{};
    MacAddress src{};
    std::uint32_t xid = 0; // a request's id; its answers repeat it
    Body body;
    bool operator==(const Frame&) const = default;
};

Kind kindOf(const Body& body);

// Texts longer than their field are cut to width - 1 bytes.
FrameBytes encode(const Frame& frame);

enum class DecodeError {
    None,
    FrameSize, // not exactly 260 bytes
    EtherType, // not 0x0809
    Magic,
    Version,
    Kind,          // unknown message kind
    BodyLength,    // length word differs from the kind's body size
    Text,          // a text field without a terminator inside its width
    DeviceMismatch // the device id does not belong to the camera end of the frame
};

// Checks everything a receiver relies on; `out` is written only on success.
DecodeError decode(std::span<const std::uint8_t> bytes, Frame& out);

std::string_view describe(DecodeError error);

// The bytes covered by a modify request's proof: the request body from its
// start up to the proof field.
std::array<std::uint8_t, 140> proofInput(const ModifyRequest& request);

} // namespace qvsp::wire
