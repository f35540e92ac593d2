#pragma once
// Device names as their record field can hold them.

#include <cstddef>
#include <string>

namespace orv {

// A device name reaches the camera through a 32-byte UTF-8 field (the
// System sub-page's; a modify request's is wider), so both pages keep names
// to what that field takes.
inline constexpr std::size_t kDeviceNameField = 32;

// The longest beginning of `name` that the device name field takes.
std::wstring CutDeviceName(const std::wstring& name);

} // namespace orv
