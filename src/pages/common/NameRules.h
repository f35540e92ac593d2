#pragma once
// Device names as their record field can hold them.

#include <string>

namespace orv {

// The device name field holds 31 bytes: characters up to U+00FF count one
// byte, others three. Returns the longest prefix within that estimate.
std::wstring CutDeviceName(const std::wstring& name);

} // namespace orv
