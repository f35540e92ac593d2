#pragma once
// The ONVIF face of the simulator's cameras: the Device, Media and Imaging
// services over SOAP, without any socket. A request comes in with the
// address and port it arrived on; the answer goes out with what the server
// must do once it has left (a reboot, a move to a new address, a port
// change). Every value lives in the camera store, where the maker's device
// API and the discovery answers find it too.

#include "core/CameraStore.h"
#include "core/Config.h"
#include "onvif/WsSecurity.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace camsim::digest {
class NonceBook;
}

namespace camsim::onvif {

struct OnvifOptions {
    // The machine's clock; each camera keeps its own offset to it.
    std::function<SystemClock::time_point()> clock = [] { return SystemClock::now(); };
    std::chrono::milliseconds rebootSilence{3000};
    // How long a Digest nonce stays good.
    std::chrono::milliseconds nonceLifetime{300000};
    std::string realm = "Orvantix ONVIF";
    // Per camera, in store order; cameras past the end have none.
    std::vector<OnvifQuirks> quirks;
    // True while a camera's web service is down for another reason (the
    // device API's faults `http_down` and `silent`, its reboot): ONVIF is
    // served by the same web server and goes with it.
    std::function<bool(std::size_t camera)> down;
    // Seeds the firmware upload tokens; without one they come from the
    // machine's random device. A fixed seed makes a run repeatable (the
    // fuzzer makes a service per input, and the device costs more than most
    // requests).
    std::optional<std::uint64_t> seed;
};

struct SoapRequest {
    std::string_view method = "POST";
    std::string_view target = "/onvif/device_service";
    std::string_view body;
    std::string_view authorization; // the HTTP header, empty when none
    std::string localIp;
    int localPort = 0;
    // Arrived over TLS at the camera's TLS port (localPort), which its web
    // server shares with the maker's device API; otherwise over plain HTTP
    // at its ONVIF port.
    bool secure = false;
};

// A new address for a camera, taken once the answer has left: the client
// reads it at the old address.
struct PendingMove {
    std::size_t camera = 0;
    std::uint32_t ip = 0;
    std::uint32_t netmask = 0;
};

struct SoapReply {
    int status = 200;
    std::string contentType = "application/soap+xml; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool chunked = false;
    // Nobody answers here (no camera, or one rebooting): the connection ends.
    bool drop = false;
    std::optional<std::size_t> reboot;
    std::optional<PendingMove> move;
    bool portsChanged = false;
    // The camera's TLS port changed (SetNetworkProtocols' HTTPS).
    bool tlsChanged = false;
    // Name, addresses or scopes changed: WS-Discovery says Hello again.
    std::optional<std::size_t> announce;
};

class OnvifService {
public:
    OnvifService(CameraStore& store, OnvifOptions options);
    ~OnvifService();

    SoapReply handle(const SoapRequest& request);

    // The camera whose ONVIF service answers at ip:port: its ONVIF port, or
    // (secure) its TLS port.
    std::optional<std::size_t> cameraAt(const std::string& ip, int port, bool secure = false);
    // Every port an ONVIF service listens on now.
    std::vector<int> ports() const;
    // The port camera `index` serves ONVIF on now.
    int port(std::size_t index) const;
    // Where camera `index` serves ONVIF: "http://ip:port/onvif/device_service",
    // or the unreachable address of its quirk.
    std::string deviceXAddr(std::size_t index) const;

    // The image of a firmware upgrade, posted to the address that
    // StartFirmwareUpgrade handed out (path "/onvif/firmware/<token>").
    // The image starts with a line "FW <model> <version>"; another model's
    // image is refused. An accepted one installs and the camera reboots
    // (reply.reboot), coming back with the new version.
    SoapReply upload(const SoapRequest& request);

    // A reboot through any face: silent for the options' rebootSilence, and
    // every nonce handed out before is forgotten.
    void startReboot(std::size_t camera);
    bool silent(std::size_t camera) const;
    // Takes a pending move; false when the interface refused the address.
    bool applyMove(const PendingMove& move);

    const OnvifQuirks& quirks(std::size_t camera) const;
    // The camera's own clock (UTC).
    SystemClock::time_point cameraNow(std::size_t camera) const;

private:
    struct Call;
    struct Context;
    using Handler = std::string (OnvifService::*)(Context&);

    std::optional<std::size_t> lookup(std::uint64_t where, bool refresh);
    SoapReply dispatch(std::size_t camera, const SoapRequest& request);
    SoapReply challenge(std::size_t camera, bool stale, bool html);

    // Device
    std::string getSystemDateAndTime(Context&);
    std::string setSystemDateAndTime(Context&);
    std::string getServices(Context&);
    std::string getServiceCapabilities(Context&);
    std::string getCapabilities(Context&);
    std::string getDeviceInformation(Context&);
    std::string getHostname(Context&);
    std::string setHostname(Context&);
    std::string getNetworkInterfaces(Context&);
    std::string setNetworkInterfaces(Context&);
    std::string getNetworkDefaultGateway(Context&);
    std::string setNetworkDefaultGateway(Context&);
    std::string getDns(Context&);
    std::string setDns(Context&);
    std::string getNetworkProtocols(Context&);
    std::string setNetworkProtocols(Context&);
    std::string getDynamicDns(Context&);
    std::string setDynamicDns(Context&);
    std::string getScopes(Context&);
    std::string setScopes(Context&);
    std::string getUsers(Context&);
    std::string setUser(Context&);
    std::string createUsers(Context&);
    std::string deleteUsers(Context&);
    std::string systemReboot(Context&);
    std::string setSystemFactoryDefault(Context&);
    std::string startFirmwareUpgrade(Context&);
    // Media
    std::string getProfiles(Context&);
    std::string getProfile(Context&);
    std::string getVideoSources(Context&);
    std::string getVideoSourceConfigurations(Context&);
    std::string getStreamUri(Context&);
    std::string getVideoEncoderConfigurations(Context&);
    std::string getVideoEncoderConfiguration(Context&);
    std::string setVideoEncoderConfiguration(Context&);
    std::string getVideoEncoderConfigurationOptions(Context&);
    // Imaging
    std::string getImagingSettings(Context&);
    std::string setImagingSettings(Context&);
    std::string getImagingOptions(Context&);

    static const std::map<std::pair<std::string_view, std::string_view>, Call>& calls();

    CameraStore& m_store;
    OnvifOptions m_options;
    NonceMemory m_tokens;
    std::unique_ptr<digest::NonceBook> m_digestNonces;
    std::mutex m_indexLock;
    std::map<std::uint64_t, std::size_t> m_index;
    std::unique_ptr<std::atomic<std::int64_t>[]> m_silentUntil; // steady ticks
    // Upload tokens handed out by StartFirmwareUpgrade: camera and expiry.
    std::mutex m_uploadLock;
    std::map<std::string, std::pair<std::size_t, std::chrono::steady_clock::time_point>> m_uploads;
    std::mt19937_64 m_random;
};

// The camera's scopes as WS-Discovery lists them: type, profile, hardware,
// name and location, and any set over ONVIF.
std::string scopeList(const Camera& camera);

// The east-of-UTC offset of a POSIX TZ text ("CET-1CEST,M3.5.0,M10.5.0/3"
// is +3600); nothing for a text that is not one.
std::optional<int> posixTzOffset(std::string_view tz);

// Frame sizes of the streams as ONVIF resolutions: the primary stream's
// codes 0 to 6 and the secondary's 0 to 4.
struct Resolution {
    int width;
    int height;
};
std::optional<Resolution> frameSizeResolution(bool primary, int code);
std::optional<int> frameSizeCode(bool primary, int width, int height);

} // namespace camsim::onvif
