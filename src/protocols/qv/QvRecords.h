#pragma once
// The maker's records and the protocol-neutral device values, converted in
// both directions. This is the only place above the libraries where the
// records' fixed-size fields are read and written: texts are cut and
// escaped here exactly as the camera takes them, so the wire stays
// byte-for-byte what the camera expects.

#include "device/DeviceDriver.h"
#include "device/DeviceInfo.h"
#include "device/DeviceSession.h"
#include "qvipcsdk/QvIpcSdk.h"
#include "qvsp/QvspTypes.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::qv {

// The maker's 8-byte device id: the MAC and two bytes that travel with it.
using WireDeviceId = std::array<std::uint8_t, 8>;

// What the maker's cameras can do; every one of them does all of it.
device::Capabilities MakerCapabilities();

// A camera's identity: its MAC, the first six bytes of the record's device
// id (the two after it travel with the MAC and name no other camera).
device::DeviceId IdOf(const tagQvIpcInfo& record);
// A discovery answer as a device, answered at `when`.
device::DeviceInfo DeviceOf(const tagQvIpcInfo& record, std::chrono::steady_clock::time_point when);
// The record a maker's device was found with, made again from the device:
// what the callers not yet moved to device values still take.
tagQvIpcInfo RecordOf(const device::DeviceInfo& device);
std::vector<tagQvIpcInfo> RecordsOf(const std::vector<device::DeviceInfo>& devices);
// The 8-byte id kept in the device's maker service; nothing for a device the
// maker's discovery never found.
std::optional<WireDeviceId> WireIdOf(const device::DeviceInfo& device);

// The record of an address change without a login: the device's wire id,
// the new values and the credentials, each text escaped and converted into
// its field. The name is cut to its field; nothing when a credential does
// not fit its field whole or the maker's discovery never found the device.
std::optional<tagQvIpcInfo> ModifyRequestOf(const device::DeviceInfo& device,
                                            const device::AddressChange& change,
                                            const device::Credentials& credentials);

// Settings and records. A record made from settings starts from the record
// in their handback when there is one, so the camera's own bytes return
// unchanged; the time zone and texts are clamped or cut to what the record
// takes.
device::TimeSettings TimeOf(const QvSystemDate& record);
QvSystemDate RecordOf(const device::TimeSettings& settings);
device::PortSettings PortsOf(const QvPortInfo& record);
QvPortInfo RecordOf(const device::PortSettings& settings);
device::DdnsSettings DdnsOf(const QvDdnsInfo& record);
// Nothing when a text does not fit its field whole.
std::optional<QvDdnsInfo> RecordOf(const device::DdnsSettings& settings);
device::StreamSettings StreamOf(const QvVideoConfig& record);
QvVideoConfig RecordOf(device::StreamKind kind, const device::StreamSettings& settings);
device::ImageSettings ImageOf(const QvImagingConfig& record);
QvImagingConfig RecordOf(const device::ImageSettings& settings);
device::PictureSettings PictureOf(const QvImagingSettings& record);
QvImagingSettings RecordOf(const device::PictureSettings& settings);

// The live-play record for a native window: the handle at bytes 4 to 7; a
// handle wider than 32 bits carries its upper half in bytes 8 to 11 (X11
// window ids never need it).
QvPlayInfo PlayRecordOf(std::uint64_t window);

// Frame-size codes and their sizes: the primary stream's seven (0 = 5M) and
// the secondary stream's five (0 = 640*480). {0, 0} for an unknown code; -1
// for a size the stream does not know.
std::pair<int, int> FrameSizeOf(device::StreamKind kind, int code);
int FrameSizeCode(device::StreamKind kind, int width, int height);

// What the name call keeps of a name, in UTF-8 with its end; an address
// change's wider field takes every such name.
inline constexpr std::size_t kNameBytes = 32;

// Percent form of a UTF-8 name as the camera's name call takes it: the
// sixteen characters ! @ # $ & * ( ) = : / ; ? + ' . stay as they are,
// every other byte becomes "%" and two upper-case hex digits, the first a
// blank below 16. The result is cut to outSize - 1 bytes at a whole unit.
std::string EscapeDeviceName(std::string_view utf8Name, size_t outSize = 128);
// A name as the name call takes it: escaped, converted whole into the
// record's 32 bytes, then in percent form. Nothing when it does not fit.
std::optional<std::string> NameForApi(const QString& name);

// The device-API error number as a fault; `upload` tells a refused file from
// a refused value.
device::Fault FaultOf(int error, bool upload);

} // namespace orv::qv
