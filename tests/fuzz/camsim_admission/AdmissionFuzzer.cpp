// What a client sends first reaches the device API's admission: bytes that
// may end a request head (plain) or make a TLS record, arriving in pieces of
// any size. The head's end must be found where the text has it whatever the
// pieces, and a TLS record's verdict may only firm up as bytes arrive.

#include "Connections.h"

#include <cstdint>
#include <string_view>

using namespace camsim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::size_t piece = 1 + data[1] % 32;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    if (data[0] & 1) {
        HeadState before = HeadState::Partial;
        for (std::size_t end = 0; end <= bytes.size(); end += piece) {
            const std::string_view seen = bytes.substr(0, end);
            const HeadState now = tlsRecord(seen);
            // Refused stays refused and whole stays whole as more arrives.
            if ((before == HeadState::Refused && now != HeadState::Refused) ||
                (before == HeadState::Complete && now != HeadState::Complete))
                __builtin_trap();
            // A whole record is at least its header and its stated length.
            if (now == HeadState::Complete &&
                (seen.size() < 5 ||
                 seen.size() <
                     5 + (static_cast<std::size_t>(static_cast<unsigned char>(seen[3])) << 8 |
                          static_cast<unsigned char>(seen[4]))))
                __builtin_trap();
            before = now;
        }
        return 0;
    }
    HeadEnd head;
    std::size_t taken = 0;
    for (std::size_t at = 0; at < bytes.size() && !head.ended(); at += piece) {
        const std::string_view chunk = bytes.substr(at, piece);
        const std::size_t used = head.feed(chunk);
        if (used > chunk.size() || (used < chunk.size() && !head.ended()))
            __builtin_trap();
        taken += used;
    }
    const std::size_t blank = bytes.find("\r\n\r\n");
    if (blank == std::string_view::npos ? head.ended() || taken != bytes.size()
                                        : !head.ended() || taken != blank + 4)
        __builtin_trap();
    // The admission's own look at a prefix agrees with the text.
    constexpr std::size_t kLimit = 64;
    for (std::size_t end = 0; end <= bytes.size(); end += piece) {
        const std::string_view seen = bytes.substr(0, end);
        const bool whole = seen.find("\r\n\r\n") != std::string_view::npos || end >= kLimit;
        if ((plainHead(seen, kLimit) == HeadState::Complete) != whole)
            __builtin_trap();
    }
    return 0;
}
