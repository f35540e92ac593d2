#pragma once
// What the Batch Set sub-pages show of a camera, read on a worker: each
// setting is there when its read worked.

#include "device/DeviceInfo.h"
#include "device/DeviceSession.h"

#include <optional>

namespace orv::batchset {

struct DeviceSettings {
    device::DeviceInfo device;
    bool loggedIn = false;
    std::optional<device::TimeSettings> time;
    std::optional<device::PortSettings> ports;
    std::optional<device::DdnsSettings> ddns;
    std::optional<device::ImageSettings> image;
    std::optional<device::StreamSettings> secondary;
    std::optional<device::StreamSettings> primary;
};

// Everything a selected camera shows, or only the two streams (the
// reference camera of a checked set).
enum class ReadScope { Everything, Streams };

} // namespace orv::batchset
