#include "Printable.h"

#include <cstdint>
#include <cstdio>

namespace orv {
namespace {

// The code point of the UTF-8 sequence at `at` and its length; 0 bytes for
// an invalid, overlong or truncated one.
std::pair<char32_t, std::size_t> decode(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const std::uint8_t lead = byte(at);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    if (length == 0 || at + length > s.size()) {
        return {0, 0};
    }
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return {0, 0};
        }
        c = c << 6 | (byte(at + i) & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return {0, 0};
    }
    return {c, length};
}

} // namespace

bool Unprintable(char32_t c) {
    const bool control = c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
    // Marks that reorder the text around them without being seen.
    const bool directional = c == 0x061C || c == 0x200E || c == 0x200F ||
                             (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    return control || directional;
}

std::string Printable(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    char escape[12];
    for (std::size_t at = 0; at < utf8.size();) {
        const auto [c, length] = decode(utf8, at);
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<std::uint8_t>(utf8[at]));
            out += escape;
            ++at;
            continue;
        }
        if (Unprintable(c)) {
            std::snprintf(escape, sizeof escape, c < 0x100 ? "\\x%02x" : "\\u%04x",
                          static_cast<unsigned>(c));
            out += escape;
        } else {
            out.append(utf8.substr(at, length));
        }
        at += length;
    }
    return out;
}

std::string PrintableBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    char escape[8];
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        const auto b = static_cast<std::uint8_t>(bytes[at]);
        const bool c1 = b == 0xC2 && at + 1 < bytes.size() &&
                        static_cast<std::uint8_t>(bytes[at + 1]) >= 0x80 &&
                        static_cast<std::uint8_t>(bytes[at + 1]) <= 0x9F;
        if (b < 0x20 || b == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", b);
            out += escape;
        } else if (c1) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<std::uint8_t>(bytes[++at]));
            out += escape;
        } else {
            out += bytes[at];
        }
    }
    return out;
}

} // namespace orv
