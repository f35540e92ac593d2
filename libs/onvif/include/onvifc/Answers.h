#pragma once
// A camera's answers taken apart: each reader gets the answer element of
// one call (GetDeviceInformationResponse, ...) as the camera sent it, and
// makes typed values of it without any network, so every reader can be
// tested and fuzzed on its own. A missing or malformed value reads as
// absent (an empty text, 0, nothing), never as another element's value.

#include "onvifc/Device.h"

#include <cstdint>
#include <string>
#include <vector>

namespace onvifc::answers {

using wire::Node;

// GetCapabilities: the services' addresses, on the host `deviceUrl` was
// reached at where they name another, and what the camera says it can do.
ServiceMap Capabilities(Node answer, const std::string& deviceUrl);
DeviceInformation DeviceInfo(Node answer);
std::vector<NetworkInterface> NetworkInterfaces(Node answer);
// SetNetworkInterfaces: whether the camera needs a reboot to take it.
bool RebootNeeded(Node answer);
// Host-order; 0 when none is given.
std::uint32_t DefaultGateway(Node answer);
std::vector<std::uint32_t> DnsServers(Node answer);
// Ports outside 1 to 65535 are left out.
std::vector<NetworkProtocol> NetworkProtocols(Node answer);
DynamicDns DynamicDnsOf(Node answer);
// Only the configurable scopes: the fixed ones cannot be set again.
std::vector<std::string> ConfigurableScopes(Node answer);
SystemDateTime DateAndTime(Node answer);
Firmware FirmwareUpload(Node answer);
std::vector<MediaProfile> Profiles(Node answer);
// Ranges whose minimum exceeds their maximum read as absent.
EncoderOptions EncoderOptionsOf(Node answer);
std::string StreamUri(Node answer, const std::string& deviceUrl);
ImagingSettings ImagingSettingsOf(Node answer);
ImagingOptions ImagingOptionsOf(Node answer);

} // namespace onvifc::answers
