// Any bytes as the pin file: whatever reads as pins writes back to the same
// pins, and every pin kept has the shape a login can hand to libcurl.

#include "services/PinFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const orv::PinText read = orv::ReadPins(text);
    if (!read.readable) {
        check(read.pins.empty());
        return 0;
    }
    for (const auto& [mac, key] : read.pins) {
        check(key.pin.size() == 52 && key.pin.rfind("sha256//", 0) == 0);
        check(key.tlsPort >= 1 && key.tlsPort <= 65535);
    }
    const orv::PinText again = orv::ReadPins(orv::WritePins(read.pins));
    check(again.readable && again.skipped == 0 && again.pins == read.pins);
    return 0;
}
