#pragma once
// Which cameras a subcommand works on: --select mac=A[,B...], model=M (the
// model or the display model, letter case ignored), ip=A-B (or one
// address) or all; several --select add up. A term that matches no camera
// is an error, so a mistyped MAC never quietly shrinks the set.

#include "device/DeviceInfo.h"

#include <string>
#include <vector>

namespace orv::cli {

struct SelectResult {
    std::vector<device::DeviceInfo> cameras; // in the order of the list given
    std::string error;
};

SelectResult SelectCameras(const std::vector<device::DeviceInfo>& cameras,
                           const std::vector<std::string>& terms);

} // namespace orv::cli
