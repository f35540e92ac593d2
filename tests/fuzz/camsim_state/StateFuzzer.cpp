// The simulator's state file may be anything a user or a crash left there:
// a file that loads must give cameras that the simulator can save and whose
// device configuration takes the API's shape; nothing may throw or crash.

#include "camsim/httpapi/CameraConfig.h"
#include "camsim/httpapi/TlsIdentity.h"
#include "core/CameraStore.h"

#include <cstdint>
#include <string_view>

using namespace camsim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto result =
        CameraStore::parse(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz: ");
    if (!result.cameras)
        return 0;
    if (!result.error.empty() || result.cameras->empty())
        __builtin_trap();
    for (Camera camera : *result.cameras) {
        api::ensureDefaults(camera.deviceConfig);
        // The TLS identity as the API reads it at start: port, certificate.
        const int port = tls::portOf(camera.deviceConfig);
        if (port < 0 || port > 65535)
            __builtin_trap();
        if (const auto section = camera.deviceConfig.find("tls");
            section != camera.deviceConfig.end()) {
            const std::string cert = (*section)["cert"].get<std::string>();
            (void)tls::pinOf(cert);
            (void)tls::commonNameOf(cert);
        }
        (void)toJson(camera).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    return 0;
}
