#pragma once

#include "qvsp/wire/Frame.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace camsim {

using qvsp::wire::MacAddress;
using qvsp::wire::NetworkSettings;

// One simulator runs 1 to this many cameras, from a configuration or a
// state file alike.
inline constexpr int kMaxCameras = 10000;

// One virtual camera: everything it reports and everything that survives a
// restart of the simulator.
struct Camera {
    MacAddress mac{}; // identity; never changes
    std::string name; // UTF-8
    NetworkSettings net;
    std::string model;
    std::string version;
    std::string displayModel;
    std::string user = "admin";
    std::string password;
    // Settings of the device's HTTP API, kept verbatim: the simulator itself
    // never looks inside.
    nlohmann::json deviceConfig = nlohmann::json::object();
    // Empty for the maker's own cameras, which answer the maker's discovery
    // and device API as well as ONVIF; another maker's name for a camera
    // that speaks ONVIF only.
    std::string maker;
    // ONVIF settings that the maker's API has no place for (hostname, DNS
    // search domains, extra users, scopes, the POSIX time zone, features of
    // the model); shaped by the ONVIF service, kept verbatim here.
    nlohmann::json onvif = nlohmann::json::object();

    bool operator==(const Camera&) const = default;
};

std::string macText(const MacAddress& mac);
std::optional<MacAddress> parseMac(std::string_view text);

// Prefix length of a contiguous netmask; nothing for a mask with holes.
std::optional<int> prefixLength(std::uint32_t netmask);

nlohmann::json toJson(const Camera& camera);
// Nothing, with the reason in `error`, when a field is missing or unusable.
std::optional<Camera> cameraFromJson(const nlohmann::json& j, std::string& error);

} // namespace camsim
