#pragma once
// How the five pages' device lists differ: columns, check boxes, sorting,
// timer and the Model cell. Everything else about them is shared.

#include "device/DeviceInfo.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

enum class DeviceListKind { NetworkSettings, BatchSet, BatchUpgrade, VideoPreviews, Oem };

enum class DeviceField {
    CheckBox,
    Number,
    DeviceName,
    Mac,
    Ip,
    Port,
    Netmask,
    Gateway,
    Model,
    Version,
    Protocol // how the camera is reached: "Native", "ONVIF" or both
};

struct DeviceColumn {
    DeviceField field;
    int width;
    const wchar_t* headerId;   // nullptr: empty header
    const wchar_t* headerText; // English default
};

// After a new row: back to the IP column ascending (numeric), or sort again
// by the current column and direction with the text comparison.
enum class SortAfterAdd { IpAscending, CurrentColumn };

struct DeviceListProfile {
    DeviceListKind kind;
    bool checkBoxes;
    std::vector<DeviceColumn> columns;
    int ipColumn;
    int numberColumn;
    int initialSortColumn;
    SortAfterAdd sortAfterAdd;
    int timerId;
    bool modelOnly;   // the Model cell ignores DisplayModel
    int dropLogLevel; // 1: a dropped camera is written to the log
};

const DeviceListProfile& ProfileFor(DeviceListKind kind);

// A row's own copy of its camera: what it told and the time of its last
// answer in seconds since 1970.
struct DeviceRow {
    device::DeviceInfo info;
    std::int32_t lastSeen = 0;
    // A camera of the open site that stopped answering: listed, greyed,
    // never a job's target until it answers again.
    bool offline = false;
};

// The text of one cell (at most 255 characters); empty for the check-box
// and number columns.
QString CellText(DeviceField field, const device::DeviceInfo& device, bool modelOnly);

// How a camera is reached, in the order its drivers are tried: "Native",
// "ONVIF", or "Native, ONVIF" for a maker's camera answering both ways.
QString ProtocolText(const device::DeviceInfo& device);

// "00:11:22:33:44:55", or empty for a camera that never told its MAC.
QString MacCellText(const device::DeviceInfo& device);

// What a checked job says of the site's cameras it left out:
// "Left out, offline: 4 cameras (Tor 1, Tor 2, Halle, 192.0.2.13)."; ten
// at most by name.
QString LeftOutLine(const std::vector<DeviceRow>& offline);
// The same for cameras an undo cannot reach: "Left out, not answering: ...".
QString NotAnsweringLine(const std::vector<DeviceRow>& cameras);

} // namespace orv
