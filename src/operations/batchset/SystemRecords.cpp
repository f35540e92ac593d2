#include "SystemRecords.h"

#include <cstdio>
#include <cstring>

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

std::optional<QvSystemDate> BuildSystemDate(DateOption option, int timeZone, const DateTime& when) {
    QvSystemDate record{};
    switch (option) {
    case DateOption::ComputerTime:
    case DateOption::Manual:
        record.useTimeServer = 0;
        // Each number is cut to the width the camera reads, so an absurd
        // value can never overrun the 16-byte fields.
        std::snprintf(record.date, sizeof record.date, "%02d/%02d/%02d", when.year % 100000,
                      when.month % 100, when.day % 100);
        std::snprintf(record.time, sizeof record.time, "%02d:%02d:%02d", when.hour % 100,
                      when.minute % 100, when.second % 100);
        record.timeZone = 0;
        return record;
    case DateOption::TimeServer:
        record.useTimeServer = 1;
        std::snprintf(record.timeServer, sizeof record.timeServer, "%s", kDefaultTimeServer);
        record.timeZone = timeZone;
        return record;
    case DateOption::Keep:
        break;
    }
    return std::nullopt;
}

namespace {

bool readThree(const char* text, size_t width, char separator, int (&out)[3]) {
    const std::string s(text, strnlen(text, width));
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (pos >= s.size() || s[pos] != separator) {
                return false;
            }
            ++pos;
        }
        const size_t start = pos;
        long value = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && pos - start < 9) {
            value = value * 10 + (s[pos] - '0');
            ++pos;
        }
        if (pos == start) {
            return false;
        }
        out[i] = static_cast<int>(value);
    }
    return true;
}

} // namespace

std::optional<DateTime> ReadDeviceDateTime(const QvSystemDate& record) {
    int date[3] = {};
    int time[3] = {};
    if (!readThree(record.date, sizeof record.date, '-', date) ||
        !readThree(record.time, sizeof record.time, ':', time)) {
        return std::nullopt;
    }
    return DateTime{date[0], date[1], date[2], time[0], time[1], time[2]};
}

} // namespace orv::batchset
