#include "SystemTime.h"

#include <cstdio>

namespace orv::batchset {

const std::array<const char*, kTimeZoneCount> kTimeZoneNames = {
    "GMT-12 Eniwetok, Kwajalein",
    "GMT-11 Midway Island, Samoa",
    "GMT-10 Hawaii",
    "GMT-09 Alaska",
    "GMT-08 Pacific Time (US & Canada), Tijuana",
    "GMT-07 Mountain Time (US & Canada), Arizona",
    "GMT-06 Central Time (US & Canada), Mexico City, Tegucigalpa, Saskatchewan",
    "GMT-05 Eastern Time (US & Canada), Indiana(East), Bogota, Lima",
    "GMT-04 Atlantic Time (Canada), Caracas, La Paz",
    "GMT-03 Brasilia, Buenos Aires, Georgetown",
    "GMT-02 Mid-Atlantic",
    "GMT-01 Azores, Cape Verdes Is.",
    "GMT+00 GMT, Dublin, Edinburgh, London, Lisbon, Monrovia, Casablanca",
    "GMT+01 Berlin, Stockholm, Rome, Bern, Brussels, Vienna, Paris, Madrid, Amsterdam, Prague, "
    "Warsaw, Budapest",
    "GMT+02 Athens, Helsinki, Istanbul, Cairo, Eastern Europe, Harare, Pretoria, Israel",
    "GMT+03 Baghdad, Kuwait, Nairobi, Riyadh, Moscow, St. Petersburg, Kazan, Volgograd",
    "GMT+04 Abu Dhabi, Muscat, Tbilisi",
    "GMT+05 Islamabad, Karachi, Ekaterinburg, Tashkent",
    "GMT+06 Alma Ata, Dhaka",
    "GMT+07 Bangkok, Jakarta, Hanoi",
    "GMT+08 Taipei, Beijing, Chongqing, Urumqi, Hong Kong, Perth, Singapore",
    "GMT+09 Tokyo, Osaka, Sapporo, Seoul, Yakutsk",
    "GMT+10 Brisbane, Melbourne, Sydney, Guam, Port Moresby, Vladivostok, Hobart",
    "GMT+11 Magadan, Solomon Is., New Caledonia",
    "GMT+12 Fiji, Kamchatka, Marshall Is., Wellington, Auckland",
};

std::optional<device::TimeSettings> BuildSystemDate(DateOption option, int timeZone,
                                                    const DateTime& when) {
    device::TimeSettings settings;
    switch (option) {
    case DateOption::ComputerTime:
    case DateOption::Manual:
        settings.useTimeServer = false;
        // Each number is cut to the width the camera reads, so an absurd
        // value from a broken picker never turns into a longer date.
        settings.local = {when.year % 100000, when.month % 100,  when.day % 100,
                          when.hour % 100,    when.minute % 100, when.second % 100};
        // No zone travels with a date; the settings hold index 0.
        settings.utcOffsetHours = -12;
        return settings;
    case DateOption::TimeServer:
        settings.useTimeServer = true;
        settings.timeServer = QString::fromLatin1(kDefaultTimeServer);
        settings.utcOffsetHours = timeZone - 12;
        return settings;
    case DateOption::Keep:
        break;
    }
    return std::nullopt;
}

std::optional<DateTime> ReadDeviceDateTime(const device::TimeSettings& settings) {
    const DateTime& when = settings.local;
    if (when.month == 0 || when.day == 0) {
        return std::nullopt;
    }
    return when;
}

int TimeZoneIndex(const device::TimeSettings& settings) {
    const int index = settings.utcOffsetHours + 12;
    return index >= 0 && index < kTimeZoneCount ? index : -1;
}

std::string DateText(const DateTime& when) {
    char text[40] = {};
    std::snprintf(text, sizeof text, "%02d/%02d/%02d", when.year, when.month, when.day);
    return text;
}

std::string TimeText(const DateTime& when) {
    char text[40] = {};
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", when.hour, when.minute, when.second);
    return text;
}

} // namespace orv::batchset
