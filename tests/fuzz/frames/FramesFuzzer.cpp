// Feeds arbitrary bytes to the frame parser. A frame that is accepted must
// survive a round trip unchanged and turn into a record with terminated
// texts; nothing may crash or read out of bounds.

#include "qvsp/wire/Frame.h"
#include "qvsp/wire/Records.h"

#include <algorithm>
#include <cstring>

using namespace qvsp::wire;

namespace {

bool terminated(const char* field, std::size_t width) {
    return std::memchr(field, 0, width) != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Most inputs would fail the size check at once; also try each input as
    // the body of an otherwise well-formed frame, so the fuzzer reaches the
    // field checks.
    FrameBytes shaped{};
    if (size > 0) {
        const auto header = encode(Frame{});
        std::memcpy(shaped.data(), header.data(), 20);
        shaped[19] = data[0];
        std::memcpy(shaped.data() + 20, data + 1, std::min(size - 1, shaped.size() - 20));
    }
    for (std::span<const std::uint8_t> input :
         {std::span<const std::uint8_t>(data, size), std::span<const std::uint8_t>(shaped)}) {
        Frame frame;
        if (decode(input, frame) != DecodeError::None)
            continue;
        Frame again;
        if (decode(encode(frame), again) != DecodeError::None || !(again == frame))
            __builtin_trap();
        if (const auto* answer = std::get_if<SearchAnswer>(&frame.body)) {
            const tagQvIpcInfo r = toRecord(*answer);
            if (!terminated(r.DevName, sizeof r.DevName) || !terminated(r.Model, sizeof r.Model) ||
                !terminated(r.Version, sizeof r.Version) ||
                !terminated(r.DisplayModel, sizeof r.DisplayModel) ||
                !terminated(r.IpAddr, sizeof r.IpAddr))
                __builtin_trap();
        }
    }
    return 0;
}
