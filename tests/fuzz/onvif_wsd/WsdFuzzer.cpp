// Any datagram on the discovery sockets: what the reader makes of it must
// hold together, whatever the sender wrote.

#include "onvifc/discovery/Messages.h"

#include <cstdint>
#include <string_view>

namespace {

bool word(const std::string& w) {
    return !w.empty() && w.find_first_of(" \t\r\n") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    const auto messages = onvifc::parseDiscoveryMessage(datagram);
    if (!messages.empty() && size > onvifc::kMaxDatagramBytes)
        __builtin_trap();
    for (const auto& m : messages) {
        // Only a ProbeMatch answers a Probe; every camera names itself.
        if (m.endpoint.empty() ||
            (m.kind != onvifc::DiscoveryMessage::Kind::ProbeMatch && !m.relatesTo.empty()))
            __builtin_trap();
        for (const auto* list : {&m.xaddrs, &m.scopes})
            for (const std::string& w : *list)
                if (!word(w))
                    __builtin_trap();
        for (const auto& [ns, local] : m.types)
            if (!word(local) || local.find(':') != std::string::npos)
                __builtin_trap();
    }
    return 0;
}
