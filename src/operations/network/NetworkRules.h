#pragma once
// The rules of the Network Settings page that need no window: checking the
// fields and building the modify requests of a run.

#include "device/DeviceDriver.h"
#include "device/DriverSet.h"
#include "operations/common/Message.h"

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

// The change of a run and the login it carries, or the message of the
// first failed check. In checked mode the device name is not checked (each
// device keeps its own). In checked mode an empty netmask, gateway or port
// keeps each camera's own (the `keep` flags); a port is held to 1024-65535
// only where it changes: one that every target has already is never
// refused. A login or name the cameras' protocols cannot take whole is
// refused by name (`field`), never cut.
struct CheckedForm {
    std::optional<device::AddressChange> change;
    device::Credentials credentials;
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
// `drivers` and `targets`: whose fields the texts must fit, as
// CDriverSet::TakesFor judges them. `currentPorts`: the HTTP ports the
// targets have now.
CheckedForm CheckForm(const NetworkForm& form, const device::CDriverSet& drivers, bool checkedMode,
                      const std::vector<int>& currentPorts = {},
                      const std::vector<device::DeviceInfo>& targets = {});

// One address change on its way: the camera, its new values and the login.
struct ModifyRequest {
    device::DeviceInfo device;
    device::AddressChange change;
    device::Credentials credentials;
};

// Requests of a checked-mode run, one per checked device in display order:
// the same address for all, or consecutive last numbers from the start
// address ((D + k) mod 255, where 0 becomes 1). Each device keeps its name.
std::vector<ModifyRequest> BuildCheckedRequests(const CheckedForm& form,
                                                const std::vector<device::DeviceInfo>& checked,
                                                bool sameIp);

// True when a single-device change would change nothing on that device:
// same address, netmask, gateway and name (ignoring case) and the same port.
bool RequestChangesNothing(const device::AddressChange& change, const device::DeviceInfo& device);

} // namespace orv::network
