#pragma once

#include "core/Camera.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace camsim {

struct ModelEntry {
    std::string model;
    std::string displayModel;
};

// Ways in which real cameras get ONVIF wrong, switched on per camera so the
// tool can be tried against each (docs/camsim.md, "ONVIF quirks").
struct OnvifQuirks {
    bool localTimeAsUtc = false;    // UTCDateTime carries the local time
    bool dateNeedsAuth = false;     // GetSystemDateAndTime wants credentials
    bool digestOnly = false;        // WS-UsernameToken ignored; HTTP Digest or 401
    bool oddPrefixes = false;       // SOAP-ENV:, ns0: ... instead of the usual prefixes
    bool chunked = false;           // replies chunked, without Content-Length
    bool noImaging = false;         // no Imaging service
    bool probeSpread = false;       // ProbeMatch delays spread over the whole 500 ms
    bool unreachableXAddrs = false; // XAddrs and stream URIs name 10.255.255.1
    // Accepts what strict cameras refuse: a WS-UsernameToken nonce used
    // again, and request elements in the tt: namespace instead of tds:.
    bool lenient = false;

    bool operator==(const OnvifQuirks&) const = default;
};

// The quirk names of the configuration; an error text for an unknown one.
std::string parseOnvifQuirks(const nlohmann::json& list, OnvifQuirks& out);

// A model of another maker: ONVIF only, its own MACs, firmware and port.
struct OnvifModel {
    std::string maker;
    std::string model;
    int count = 1;
    MacAddress macBase{};
    std::vector<std::string> versions;
    std::uint16_t onvifPort = 8080;
    // Its web server's TLS port, for ONVIF over HTTPS; 0: none.
    std::uint16_t tlsPort = 443;
    bool imaging = true;
    bool firmwareUpgrade = true;
};

// How one camera behaves on the wire; not part of its saved state.
struct Behaviour {
    std::chrono::milliseconds answerDelay{0};
    // Stops answering this long after the simulator starts; nothing = never.
    std::optional<std::chrono::milliseconds> silentAfter;
    // The device API's faults from the start, in their control-channel form
    // (see docs/camsim.md); null when none.
    nlohmann::json faults;
    // A password of its own, for the cameras made at a first start.
    std::optional<std::string> password;
    // An HTTP port of its own, for the cameras made at a first start (two
    // cameras behind one address, as behind a router's port forwarding).
    std::optional<std::uint16_t> httpPort;
    // A TLS port of its own for its device API, at a first start (0: the
    // camera offers no TLS, as older firmware).
    std::optional<std::uint16_t> tlsPort;
    OnvifQuirks onvif;
};

struct SimConfig {
    std::string interfaceName;
    std::string stateFile;
    std::string readyFile;
    int cameras = 12;
    std::uint32_t firstIp = 0xc000020a; // 192.0.2.10
    std::uint32_t lastIp = 0xc00002fa;  // 192.0.2.250
    std::uint32_t netmask = 0xffffff00;
    std::uint32_t gateway = 0xc0000201;
    std::uint32_t dns = 0xc0000201;
    // More cameras than addresses: cameras share addresses, as factory-fresh
    // cameras of one maker do.
    bool shareAddresses = false;
    MacAddress macBase{0x02, 0x4f, 0x56, 0x10, 0x00, 0x00};
    std::uint16_t httpPort = 80;
    // TLS port of the device API of every camera made at a first start, and
    // of cameras of a state file without one; 0: no TLS.
    std::uint16_t tlsPort = 443;
    std::string user = "admin";
    std::string password = "admin";
    std::vector<std::string> names;
    std::vector<ModelEntry> models;
    std::vector<std::string> versions;
    std::chrono::milliseconds answerDelay{0};
    std::chrono::milliseconds answerJitter{0};
    double lossRate = 0.0;
    std::map<int, Behaviour> overrides; // by camera number, counted from 1
    std::uint64_t seed = 1;
    bool verbose = false;
    // How long a camera stays silent (HTTP and discovery) after a reboot or
    // restore through its device API.
    std::chrono::milliseconds rebootSilence{3000};
    // How long a Digest nonce of the device API stays good.
    std::chrono::milliseconds nonceLifetime{300000};
    // Unix socket of the control channel; none when empty.
    std::string controlSocket;
    // Cameras of other makers, after the maker's own `cameras`.
    std::vector<OnvifModel> onvifModels;
    // Quirks of every camera; cameras_override adds its own.
    OnvifQuirks onvifQuirks;
    // The ONVIF face (SOAP services and WS-Discovery) of every camera.
    bool onvif = true;

    // The maker's cameras and the other makers' together.
    int totalCameras() const;
};

struct ConfigResult {
    std::optional<SimConfig> config;
    std::string error;
};

// Validates a configuration object (file contents with the command line's
// values merged in). Unknown keys are errors, so that a typo is not ignored.
ConfigResult parseConfig(const nlohmann::json& j);

// Merges command-line options into `j`; returns an error text or "".
std::string applyArguments(int argc, const char* const* argv, nlohmann::json& j,
                           std::string& configPath);

// The cameras of a first start, before any state exists.
std::vector<Camera> makeCameras(const SimConfig& config);

// Each camera's wire behaviour: the common delay, its jitter drawn once per
// answer elsewhere, and the per-camera overrides.
std::vector<Behaviour> makeBehaviours(const SimConfig& config, std::size_t cameraCount);

} // namespace camsim
