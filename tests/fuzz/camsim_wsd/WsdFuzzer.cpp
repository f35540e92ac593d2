// The simulator's WS-Discovery responder takes any datagram on port 3702.
// Whatever it answers must be well-formed XML that relates to the Probe it
// read; the first byte chooses multicast or unicast to one camera.

#include "core/CameraStore.h"
#include "core/Config.h"
#include "onvif/OnvifService.h"
#include "onvif/WsDiscovery.h"
#include "onvifc/wire/Xml.h"

#include <cstdint>
#include <string>
#include <unistd.h>

using namespace camsim;
using namespace camsim::onvif;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const std::string stateFile = "/tmp/wsd-fuzz-" + std::to_string(getpid()) + ".json";
    static CameraStore store = [] {
        nlohmann::json j = {{"interface", "x"}, {"state_file", "x"}, {"cameras", 3}};
        return CameraStore(makeCameras(*parseConfig(j).config), stateFile);
    }();
    static OnvifService service = [] {
        OnvifOptions options;
        options.quirks.resize(3);
        options.quirks[1].probeSpread = true;
        options.quirks[2].unreachableXAddrs = true;
        return OnvifService(store, options);
    }();
    static DiscoveryResponder responder(store, service, 1);
    const std::string_view payload(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::uint32_t to = (data[0] & 1) ? 0xc000020bu : kDiscoveryGroup;
    const auto now = std::chrono::steady_clock::now();
    const auto probe = parseProbe(payload);
    const auto out = responder.handle(payload, 0xc0000201u, 3702, to, now);
    if (!probe && !out.empty())
        __builtin_trap();
    for (const Datagram& d : out) {
        if (d.due < now || d.due > now + kMaxProbeDelay + std::chrono::milliseconds(1))
            __builtin_trap();
        const auto answer = XmlDocument::parse(d.payload);
        if (!answer)
            __builtin_trap();
        const Node relates =
            child(child(answer->root(), kSoap12, "Header"), kAddressing, "RelatesTo");
        if (text(relates) != probe->messageId)
            __builtin_trap();
    }
    return 0;
}
