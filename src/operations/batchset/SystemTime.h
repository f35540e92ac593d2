#pragma once
// The System sub-page's rules that need no window: the date/time options,
// the time settings sent for each, the time-zone table, reading a camera's
// date and time.

#include "device/DeviceSession.h"

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

// The time settings a date/time option sends. Keep sends nothing. Computer
// time and manual send the date and time, each number cut to the digits a
// camera reads (a year to five, the others to two); the time-server option
// sends the default server and the zone, `timeZone` an index into
// kTimeZoneNames.
std::optional<device::TimeSettings> BuildSystemDate(DateOption option, int timeZone,
                                                    const DateTime& when);

// A camera's date and time; nothing where its date did not read as one (a
// month or day of 0, which no calendar has).
std::optional<DateTime> ReadDeviceDateTime(const device::TimeSettings& settings);

// The time-zone index of a camera's settings; -1 outside the table.
int TimeZoneIndex(const device::TimeSettings& settings);

// "2024/05/07" and "09:05:03", as a plan of the date to send shows them.
std::string DateText(const DateTime& when);
std::string TimeText(const DateTime& when);

} // namespace orv::batchset
