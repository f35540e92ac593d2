#pragma once
// The result lines of device operations as the Operating Information list
// shows them: "[MAC] " with the MAC in upper-case hex, then the operation's
// words and " Succeed." or " Failed.", at most 259 characters.

#include "device/DeviceInfo.h"

#include <string>
#include <string_view>

namespace orv {

// "[MAC] <ip> <words> Succeed." or "... Failed.".
std::string ResultLine(const device::DeviceInfo& device, std::string_view words, bool succeeded);

// An IP change: "[MAC] Modify IP,Port,Netmask to <ip>, <port>, <mask> Succeed."
// or "... Failed.".
std::string ModifyResultLine(const device::DeviceInfo& device, bool succeeded);

// The line a failed login on selecting a camera writes.
inline constexpr const char* kLoginFailedLine =
    "Login Failed.Please check your username and password.";

} // namespace orv
