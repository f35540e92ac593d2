// The simulator's device API takes any request body: each set call gets the
// body as the server would hand it over (nesting-guarded, parsed), on a
// camera that already holds a configuration. Answers must serialise, the
// camera's configuration must keep its shape, nothing may throw.

#include "camsim/httpapi/CameraConfig.h"
#include "qvipcsdk/wire/JsonLimits.h"

#include <cstdint>
#include <string_view>

using namespace camsim;
using nlohmann::json;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
    // As the server does: deep nesting is refused unparsed.
    if (!qvipc::wire::jsonNestingWithin(body, 4))
        return 0;
    const json request = json::parse(body, nullptr, false);
    if (!request.is_object())
        return 0;
    CameraIdentity identity{"Cam",
                            "pw",
                            80,
                            data[0] & 0x80 ? "QV-N3951" : "QV-N2610",
                            "13.1.0.5",
                            "192.0.2.10",
                            "02:4f:56:10:00:01"};
    json config = json::object();
    CameraState camera{identity, config};
    const auto now = api::Clock::time_point{} + std::chrono::hours(24 * 365 * 40);
    api::Outcome outcome;
    switch (data[0] % 9) {
    case 0:
        outcome = api::setDate(camera, request, now);
        break;
    case 1:
        outcome = api::setPorts(camera, request);
        break;
    case 2:
        outcome = api::setDdns(camera, request);
        break;
    case 3:
        outcome = api::setStream(camera, (data[0] >> 4) & 1, request);
        break;
    case 4:
        outcome = api::setImaging(camera, request);
        break;
    case 5:
        outcome = api::setPicture(camera, request);
        break;
    case 6:
        outcome = api::setName(camera, request);
        break;
    case 7:
        outcome = api::setPassword(camera, request);
        break;
    default:
        // A stored configuration of any shape is brought back to the factory's.
        config = request;
        api::ensureDefaults(config);
        // A TLS identity is kept when there is one, never made up.
        if (config.size() != api::factoryConfig().size() + (request.contains("tls") ? 1 : 0) ||
            (request.contains("tls") && config["tls"].size() != 3))
            __builtin_trap();
        break;
    }
    // Whatever was taken must be answerable and storable.
    (void)outcome.body.dump();
    (void)config.dump();
    (void)api::getDate(camera, now).body.dump();
    (void)api::getPorts(camera).body.dump();
    (void)api::getStream(camera, 1).body.dump();
    (void)api::deviceInfo(camera).body.dump();
    return 0;
}
