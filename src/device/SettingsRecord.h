#pragma once
// A setting a job changed, as the site's history keeps it: which setting,
// and its values before and after as compact JSON. A person reads them in
// the History view; an undo reads the values before back and sends them.
// Only what the installer set is kept: never a password, never the clock
// itself (a time change is undone by its zone and time server, not by
// setting the clock back), never what a camera hands back unread.

#include "DeviceDriver.h"
#include "DeviceSession.h"

#include <optional>
#include <string>
#include <string_view>

namespace orv::device {

enum class Setting {
    Name,
    Password,
    Time,
    Ports,
    Ddns,
    PrimaryStream,
    SecondaryStream,
    Image,
    Picture,
    Address,
    Firmware,
    Oem,
    Reboot,
    Restore,
};

// "name", "ports", "stream.primary", ...: stable, for files.
std::string_view SettingName(Setting setting);
std::optional<Setting> SettingOf(std::string_view name);
// Whether an undo can send the setting's value before back.
bool Undoable(Setting setting);

struct SettingChange {
    Setting setting = Setting::Name;
    std::optional<std::string> before;
    std::optional<std::string> after;
};

std::string RecordOf(const QString& name);
std::string RecordOf(const TimeSettings& time);
std::string RecordOf(const PortSettings& ports);
std::string RecordOf(const DdnsSettings& ddns);
std::string RecordOf(const StreamSettings& stream);
std::string RecordOf(const ImageSettings& image);
std::string RecordOf(const PictureSettings& picture);
// IP settings, the web port and the name, as an address change sends them.
std::string RecordOf(const AddressChange& address);
// What an address change to `change` changes on `device`.
SettingChange AddressChangeOf(const DeviceInfo& device, const AddressChange& change);

// What differs between two records of a setting, for a person:
// "rtsp 556 → 554, rtsp2 557 → 555"; a side that is not known reads "?".
// Empty when nothing differs.
std::string ChangeSummary(const std::optional<std::string>& before,
                          const std::optional<std::string>& after);

// Each reader overlays what the record holds on `into` and leaves the rest
// (the clock, a password, the handback) as it is; false, with `into`
// untouched, for a record that is not JSON of that setting.
bool ReadRecord(std::string_view record, QString& into);
bool ReadRecord(std::string_view record, TimeSettings& into);
bool ReadRecord(std::string_view record, PortSettings& into);
bool ReadRecord(std::string_view record, DdnsSettings& into);
bool ReadRecord(std::string_view record, StreamSettings& into);
bool ReadRecord(std::string_view record, ImageSettings& into);
bool ReadRecord(std::string_view record, PictureSettings& into);
bool ReadRecord(std::string_view record, AddressChange& into);

} // namespace orv::device
