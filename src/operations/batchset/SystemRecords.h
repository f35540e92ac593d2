#pragma once
// The System sub-page's rules that need no window: the date/time options,
// the system-date record sent for each, the time-zone table, reading a
// camera's date and time.

#include "device/DeviceSession.h"
#include "qvipcsdk/QvIpcSdk.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace orv::batchset {

// The four date/time choices, by the ids the options carry.
enum class DateOption : int {
    Keep = 1044,
    ComputerTime = 1045,
    Manual = 1046,
    TimeServer = 1047,
};

using DateTime = device::LocalDateTime;

inline constexpr int kTimeZoneCount = 25;
inline constexpr int kDefaultTimeZone = 20;
extern const std::array<const char*, kTimeZoneCount> kTimeZoneNames;

// Sent with the time-server option; a public pool, reachable from most
// installations without configuration.
inline constexpr const char* kDefaultTimeServer = "time.cloudflare.com";

// The record a date/time option sends. Keep sends nothing (no record).
// Computer time and manual send the date-time as "YYYY/MM/DD" and
// "HH:MM:SS"; the time-server option sends the flag, the default server and
// the zone index.
std::optional<QvSystemDate> BuildSystemDate(DateOption option, int timeZone, const DateTime& when);

// A camera's date "Y-M-D" and time "h:m:s", each three decimal numbers;
// nothing when either does not read as three numbers.
std::optional<DateTime> ReadDeviceDateTime(const QvSystemDate& record);

} // namespace orv::batchset
