#include "qvsp/wire/Frame.h"

#include <algorithm>
#include <cstring>

namespace qvsp::wire {
namespace {

constexpr std::size_t kSearchAnswerSize = 188;
constexpr std::size_t kChallengeRequestSize = 8;
constexpr std::size_t kChallengeSize = 24;
constexpr std::size_t kModifyRequestSize = 172;
constexpr std::size_t kModifyResultSize = 12;
constexpr std::size_t kProofOffset = kModifyRequestSize - std::tuple_size_v<Proof>;

static_assert(kSearchAnswerSize <= kMaxBodySize && kModifyRequestSize <= kMaxBodySize);
static_assert(kProofOffset == std::tuple_size_v<decltype(proofInput(ModifyRequest{}))>);

std::size_t bodySize(Kind kind) {
    switch (kind) {
    case Kind::SearchRequest:
        return 0;
    case Kind::SearchAnswer:
        return kSearchAnswerSize;
    case Kind::ChallengeRequest:
        return kChallengeRequestSize;
    case Kind::Challenge:
        return kChallengeSize;
    case Kind::ModifyRequest:
        return kModifyRequestSize;
    case Kind::ModifyResult:
        return kModifyResultSize;
    }
    return 0;
}

bool knownKind(std::uint8_t value) {
    return value >= static_cast<std::uint8_t>(Kind::SearchRequest) &&
           value <= static_cast<std::uint8_t>(Kind::ModifyResult);
}

// Sequential writer over a byte span; the layout is fixed, so running past
// the end is a programming error caught by the sizes above.
class Writer {
public:
    explicit Writer(std::span<std::uint8_t> out) : m_out(out) {}
    void bytes(std::span<const std::uint8_t> b) {
        std::copy(b.begin(), b.end(), m_out.begin() + static_cast<std::ptrdiff_t>(m_pos));
        m_pos += b.size();
    }
    void u8(std::uint8_t v) { m_out[m_pos++] = v; }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v >> 16));
        u16(static_cast<std::uint16_t>(v));
    }
    void text(std::string_view s, std::size_t width) {
        const std::size_t n = std::min(s.size(), width - 1);
        std::memcpy(m_out.data() + m_pos, s.data(), n);
        std::fill_n(m_out.begin() + static_cast<std::ptrdiff_t>(m_pos + n), width - n, 0);
        m_pos += width;
    }
    void net(const NetworkSettings& n) {
        u32(n.ip);
        u32(n.netmask);
        u32(n.gateway);
        u32(n.dns);
        u16(n.httpPort);
        u16(0);
    }
    std::size_t position() const { return m_pos; }

private:
    std::span<std::uint8_t> m_out;
    std::size_t m_pos = 0;
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> in) : m_in(in) {}
    template <std::size_t N>
    void bytes(std::array<std::uint8_t, N>& out) {
        std::copy_n(m_in.begin() + static_cast<std::ptrdiff_t>(m_pos), N, out.begin());
        m_pos += N;
    }
    std::uint8_t u8() { return m_in[m_pos++]; }
    std::uint16_t u16() {
        const auto hi = u8();
        return static_cast<std::uint16_t>(hi << 8 | u8());
    }
    std::uint32_t u32() {
        const std::uint32_t hi = u16();
        return hi << 16 | u16();
    }
    // False when the field holds no terminator: such a frame is not trusted.
    bool text(std::string& out, std::size_t width) {
        const auto* begin = m_in.data() + m_pos;
        const auto* end = begin + width;
        m_pos += width;
        const auto* zero = std::find(begin, end, std::uint8_t{0});
        if (zero == end)
            return false;
        out.assign(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(zero - begin));
        return true;
    }
    void net(NetworkSettings& n) {
        n.ip = u32();
        n.netmask = u32();
        n.gateway = u32();
        n.dns = u32();
        n.httpPort = u16();
        m_pos += 2;
    }

private:
    std::span<const std::uint8_t> m_in;
    std::size_t m_pos = 0;
};

void writeBody(Writer&, const SearchRequest&) {}
void writeBody(Writer& w, const SearchAnswer& a) {
    w.bytes(a.device);
    w.net(a.net);
    w.text(a.name, kNameWidth);
    w.text(a.model, kModelWidth);
    w.text(a.version, kVersionWidth);
    w.text(a.displayModel, kDisplayModelWidth);
}
void writeBody(Writer& w, const ChallengeRequest& r) {
    w.bytes(r.device);
}
void writeBody(Writer& w, const Challenge& c) {
    w.bytes(c.device);
    w.bytes(c.nonce);
}
void writeSigned(Writer& w, const ModifyRequest& r) {
    w.bytes(r.device);
    w.bytes(r.nonce);
    w.net(r.net);
    w.text(r.user, kUserWidth);
    w.text(r.name, kNameWidth);
}
void writeBody(Writer& w, const ModifyRequest& r) {
    writeSigned(w, r);
    w.bytes(r.proof);
}
void writeBody(Writer& w, const ModifyResult& r) {
    w.bytes(r.device);
    w.u32(static_cast<std::uint32_t>(r.result));
}

bool readBody(Reader&, SearchRequest&) {
    return true;
}
bool readBody(Reader& r, SearchAnswer& a) {
    r.bytes(a.device);
    r.net(a.net);
    return r.text(a.name, kNameWidth) && r.text(a.model, kModelWidth) &&
           r.text(a.version, kVersionWidth) && r.text(a.displayModel, kDisplayModelWidth);
}
bool readBody(Reader& r, ChallengeRequest& c) {
    r.bytes(c.device);
    return true;
}
bool readBody(Reader& r, Challenge& c) {
    r.bytes(c.device);
    r.bytes(c.nonce);
    return true;
}
bool readBody(Reader& r, ModifyRequest& m) {
    r.bytes(m.device);
    r.bytes(m.nonce);
    r.net(m.net);
    if (!r.text(m.user, kUserWidth) || !r.text(m.name, kNameWidth))
        return false;
    r.bytes(m.proof);
    return true;
}
bool readBody(Reader& r, ModifyResult& m) {
    r.bytes(m.device);
    m.result = static_cast<std::int32_t>(r.u32());
    return true;
}

Body emptyBody(Kind kind) {
    switch (kind) {
    case Kind::SearchRequest:
        return SearchRequest{};
    case Kind::SearchAnswer:
        return SearchAnswer{};
    case Kind::ChallengeRequest:
        return ChallengeRequest{};
    case Kind::Challenge:
        return Challenge{};
    case Kind::ModifyRequest:
        return ModifyRequest{};
    case Kind::ModifyResult:
        return ModifyResult{};
    }
    return SearchRequest{};
}

// Which end of the frame the body's device id must name: answers come from
// the camera, requests go to it. A search request names no device.
bool deviceMatches(const Frame& f) {
    return std::visit(
        [&](const auto& b) {
            using T = std::decay_t<decltype(b)>;
            if constexpr (std::is_same_v<T, SearchRequest>) {
                return true;
            } else {
                const MacAddress& camera =
                    std::is_same_v<T, ChallengeRequest> || std::is_same_v<T, ModifyRequest> ? f.dst
                                                                                            : f.src;
                return std::equal(camera.begin(), camera.end(), b.device.begin());
            }
        },
        f.body);
}

} // namespace

Kind kindOf(const Body& body) {
    return static_cast<Kind>(body.index() + 1);
}

FrameBytes encode(const Frame& frame) {
    FrameBytes out{};
    Writer w(out);
    w.bytes(frame.dst);
    w.bytes(frame.src);
    w.u16(kEtherType);
    w.bytes(kMagic);
    w.u8(kVersion);
    const Kind kind = kindOf(frame.body);
    w.u8(static_cast<std::uint8_t>(kind));
    w.u16(static_cast<std::uint16_t>(bodySize(kind)));
    w.u32(frame.xid);
    w.u32(0);
    std::visit([&](const auto& b) { writeBody(w, b); }, frame.body);
    return out;
}

DecodeError decode(std::span<const std::uint8_t> bytes, Frame& out) {
    if (bytes.size() != kFrameSize)
        return DecodeError::FrameSize;
    Reader r(bytes);
    Frame f;
    r.bytes(f.dst);
    r.bytes(f.src);
    if (r.u16() != kEtherType)
        return DecodeError::EtherType;
    std::array<std::uint8_t, 4> magic{};
    r.bytes(magic);
    if (magic != kMagic)
        return DecodeError::Magic;
    if (r.u8() != kVersion)
        return DecodeError::Version;
    const std::uint8_t kindByte = r.u8();
    if (!knownKind(kindByte))
        return DecodeError::Kind;
    const auto kind = static_cast<Kind>(kindByte);
    if (r.u16() != bodySize(kind))
        return DecodeError::BodyLength;
    f.xid = r.u32();
    r.u32(); // reserved: senders write zero, receivers ignore it
    f.body = emptyBody(kind);
    const bool textsOk = std::visit([&](auto& b) { return readBody(r, b); }, f.body);
    if (!textsOk)
        return DecodeError::Text;
    if (!deviceMatches(f))
        return DecodeError::DeviceMismatch;
    out = std::move(f);
    return DecodeError::None;
}

std::string_view describe(DecodeError error) {
    switch (error) {
    case DecodeError::None:
        return "valid";
    case DecodeError::FrameSize:
        return "frame is not 260 bytes";
    case DecodeError::EtherType:
        return "wrong EtherType";
    case DecodeError::Magic:
        return "wrong magic";
    case DecodeError::Version:
        return "unknown protocol version";
    case DecodeError::Kind:
        return "unknown message kind";
    case DecodeError::BodyLength:
        return "body length does not fit the kind";
    case DecodeError::Text:
        return "text field without terminator";
    case DecodeError::DeviceMismatch:
        return "device id does not match the frame's camera address";
    }
    return "unknown";
}

std::array<std::uint8_t, 140> proofInput(const ModifyRequest& request) {
    std::array<std::uint8_t, 140> out{};
    Writer w(out);
    writeSigned(w, request);
    return out;
}

} // namespace qvsp::wire
