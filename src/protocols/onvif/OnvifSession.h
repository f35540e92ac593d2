#pragma once
// A logged-in conversation with an ONVIF camera behind the device session
// interface: the device values converted to and from the Device, Media and
// Imaging calls. What ONVIF has no place for (the maker's power line
// frequency, local display, DDNS account) is kept as the camera reported
// it; a change to it ends as "not supported by this camera", never
// silently dropped.

#include "device/DeviceSession.h"
#include "device/TrustStore.h"
#include "onvifc/Device.h"

#include <memory>

namespace orv::onvif {

// A device fault for what the client reported.
device::Failure FailureOf(onvifc::Error error, const std::string& detail);

// Connects to the camera's device service (the discovery address in
// `device`'s ONVIF service), learns its clock and services and checks the
// credentials; where the camera offers HTTPS, the session goes on over it,
// held to the key `trust` kept for the camera (a first contact's key is
// kept there). Nothing, with `failure` set, when that fails.
std::unique_ptr<device::IDeviceSession>
OpenOnvifSession(const device::DeviceInfo& device, const QString& user, const QString& password,
                 device::Failure& failure, device::ITrustStore* trust = nullptr);

// The POSIX zone text for whole hours east of UTC ("UTC-8" for UTC+8: POSIX
// counts the other way), and back; nothing for a zone it cannot read.
std::string PosixZone(int hoursEast);
std::optional<int> HoursEastOf(const std::string& posixZone);

} // namespace orv::onvif
