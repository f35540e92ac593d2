#pragma once
// The rules of the Network Settings page that need no window: checking the
// fields and building the modify requests of a run.

#include "operations/common/Message.h"
#include "qvsp/QvspTypes.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::network {

inline constexpr Message kInvalidIp{L"90006", L"Invalid IP address."};
inline constexpr Message kInvalidNetmask{L"90007", L"Invalid Netmask."};
inline constexpr Message kInvalidGateway{L"90008", L"Invalid Gateway."};
inline constexpr Message kPortRange{L"90009", L"Please input the port between 1024 and 65535."};

// Four decimal numbers separated by points; anything after the fourth is
// ignored. Nothing when four numbers cannot be read.
std::optional<std::array<int, 4>> ReadFourNumbers(std::wstring_view text);
bool IsValidAddress(std::wstring_view text); // each number 0..254
bool IsValidNetmask(std::wstring_view text); // first 1..255, others 0..255
// Leading digits after an optional sign; text without digits reads as 0.
long ReadPortNumber(std::wstring_view text);

// What the user entered, untrimmed, plus the main window's default user.
struct NetworkForm {
    std::wstring user;
    std::wstring password;
    std::wstring deviceName;
    std::wstring ip;
    std::wstring netmask;
    std::wstring gateway;
    std::wstring port;
};

// The request template of a run, or the message of the first failed check.
// In checked mode the device name is not checked (each device keeps its own).
// In checked mode an empty netmask, gateway or port keeps each camera's
// own (the `keep` flags); a port is held to 1024-65535 only where it
// changes: one that every target has already is never refused.
struct CheckedForm {
    std::optional<tagQvIpcInfo> request;
    bool keepNetmask = false;
    bool keepGateway = false;
    bool keepPort = false;
    std::optional<Message> error;
    // The field a kTooLongForCamera error names.
    std::optional<Message> field;
    std::array<int, 4> address{};
};
inline constexpr Message kUserLabel{L"10006", L"Username:"};
inline constexpr Message kPasswordLabel{L"10007", L"Password:"};
inline constexpr Message kDeviceNameLabel{L"20014", L"Device Name:"};
// `currentPorts`: the HTTP ports the targets have now.
CheckedForm CheckForm(const NetworkForm& form, bool checkedMode,
                      const std::vector<int>& currentPorts = {});

// Requests of a checked-mode run, one per checked device in display order:
// the same address for all, or consecutive last numbers from the start
// address ((D + k) mod 255, where 0 becomes 1).
std::vector<tagQvIpcInfo> BuildCheckedRequests(const CheckedForm& form,
                                               const std::vector<tagQvIpcInfo>& checkedDevices,
                                               bool sameIp);

// True when a single-device request would change nothing on that device:
// same address, netmask, gateway and name (ignoring case) and the same port.
bool RequestChangesNothing(const tagQvIpcInfo& request, std::wstring_view newName,
                           const tagQvIpcInfo& device);

} // namespace orv::network
