#pragma once
// The camera side of every configuration call: factory defaults, range
// checks and the JSON of each answer. Pure functions over a CameraState, so
// the rules are testable without a socket.

#include "camsim/httpapi/DeviceApiHost.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace camsim::api {

inline constexpr const char* kFactoryDeviceName = "IPCamera";
inline constexpr const char* kFactoryTimeServer = "pool.ntp.org";
// Largest firmware image a camera takes: 101 MiB - 1.
inline constexpr std::uint64_t kMaxFirmwareBytes = 105906175;
// Largest OEM file (information file or image): 2 MiB - 1.
inline constexpr std::uint64_t kMaxOemFileBytes = 2097151;

struct Outcome {
    int status = 200;
    nlohmann::json body = nlohmann::json::object();
};

// 1 to 5 by the model text's characters; lower classes offer fewer frame sizes.
int modelClass(std::string_view model);

// Factory settings of a camera whose HTTP port is httpPort: the ports
// record depends on it (see factoryPorts).
nlohmann::json factoryConfig(int httpPort = 80);
// The factory ports record: ONVIF 8000, RTSP 554 and 555 for a camera on
// HTTP port 80; for any other HTTP port the RTSP ports move to
// 20000 + 2 * (port mod 20000) and the next one, so that cameras sharing an
// address behind different HTTP ports do not share a video port. A port that
// would meet an earlier one moves up: all four always differ, and a ports
// record read and written back unchanged is taken.
nlohmann::json factoryPorts(int httpPort);
// Fills every missing section with its factory default and drops what the
// API does not know; values of another kind take the factory's. A "tls"
// section (TlsIdentity.h) is kept in its shape but never added.
void ensureDefaults(nlohmann::json& config, int httpPort = 80);
// Factory settings: every section back to its default and the device name
// to its factory text; firmware and OEM records, the TLS identity, the
// password and the network identity stay, so the tool that restored the
// camera still reaches it (and still knows it by its certificate).
void restoreFactory(CameraState& camera);

using Clock = std::chrono::system_clock;

Outcome deviceInfo(const CameraState& camera);
Outcome getDate(const CameraState& camera, Clock::time_point now);
Outcome setDate(CameraState& camera, const nlohmann::json& request, Clock::time_point now);
Outcome getPorts(const CameraState& camera);
Outcome setPorts(CameraState& camera, const nlohmann::json& request);
Outcome getDdns(const CameraState& camera);
Outcome setDdns(CameraState& camera, const nlohmann::json& request);
Outcome getStream(const CameraState& camera, int stream);
Outcome setStream(CameraState& camera, int stream, const nlohmann::json& request);
Outcome getImaging(const CameraState& camera);
Outcome setImaging(CameraState& camera, const nlohmann::json& request);
Outcome getPicture(const CameraState& camera);
Outcome setPicture(CameraState& camera, const nlohmann::json& request);
Outcome setName(CameraState& camera, const nlohmann::json& request);
Outcome setPassword(CameraState& camera, const nlohmann::json& request);

// Why an image with this file name and size does not fit the model; nothing
// when it fits.
std::optional<std::string> firmwareMismatch(std::string_view fileName, std::uint64_t size,
                                            std::string_view model);
// The version an accepted image installs: "QVFW:<version>" on its first line,
// otherwise the current version with its last number raised by one.
std::string nextVersion(std::string_view imageHead, std::string_view currentVersion);

// Records an accepted upload in the config.
void storeFirmware(CameraState& camera, const std::string& name, std::uint64_t size,
                   const std::string& md5, const std::string& version);
void storeOemFile(CameraState& camera, const std::string& name, std::uint64_t size,
                  const std::string& md5, const std::string& content);
// At reboot: a stored image becomes the running version.
bool applyPendingFirmware(CameraState& camera);

Outcome error(int status, std::string text);

} // namespace camsim::api
