#pragma once
// What the Batch Set sub-pages show of a camera, read on a worker: each
// record is there when its read worked.

#include "device/DeviceInfo.h"
#include "qvipcsdk/QvIpcSdk.h"
#include "qvsp/QvspTypes.h"

#include <optional>

namespace orv::batchset {

struct DeviceSettings {
    device::DeviceInfo device;
    bool loggedIn = false;
    std::optional<QvSystemDate> date;
    std::optional<QvPortInfo> ports;
    std::optional<QvDdnsInfo> ddns;
    std::optional<QvImagingConfig> imaging;
    std::optional<QvVideoConfig> secondary;
    std::optional<QvVideoConfig> primary;
};

// Everything a selected camera shows, or only the two streams (the
// reference camera of a checked set).
enum class ReadScope { Everything, Streams };

} // namespace orv::batchset
