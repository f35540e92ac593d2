#pragma once
// The calls the tool makes on an ONVIF camera (Device, Media and Imaging
// services of Profile S), as typed values. A configuration that goes back
// to the camera (a video encoder's, the imaging settings) keeps the
// camera's own element in `raw`, so what the tool does not interpret is
// sent back as the camera gave it. One CDevice per camera and thread.

#include "onvifc/Soap.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace onvifc {

template <class T>
struct Answer {
    Error error = Error::None;
    T value{};
    std::string detail;
    bool Ok() const { return error == Error::None; }
};
using Outcome = Answer<bool>;

struct DeviceInformation {
    std::string manufacturer;
    std::string model;
    std::string firmware;
    std::string serial;
    std::string hardwareId;
};

// Where the camera's services are and what it says it can do.
struct ServiceMap {
    std::string device;
    std::string media;
    std::string imaging;
    bool firmwareUpgrade = false;
    bool dynamicDns = false;
};

struct NetworkInterface {
    std::string token;
    std::optional<std::array<std::uint8_t, 6>> mac;
    bool dhcp = false;
    // Host-order IPv4 and prefix length of the manual (or DHCP) address.
    std::uint32_t address = 0;
    int prefixLength = 0;
};

struct NetworkProtocol {
    std::string name; // HTTP, HTTPS, RTSP
    bool enabled = false;
    std::vector<int> ports;
};

struct DynamicDns {
    std::string type; // NoUpdate, ClientUpdates, ServerUpdates
    std::string name;
};

struct DateTimeParts {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct SystemDateTime {
    bool ntp = false;
    bool daylightSavings = false;
    std::string timeZone; // POSIX TZ text
    std::optional<DateTimeParts> utc;
    std::optional<DateTimeParts> local;
};

struct Firmware {
    std::string uploadUri;
    std::string expectedDownTime; // xs:duration text
};

struct VideoEncoder {
    std::string token;
    std::string encoding; // H264, MPEG4, JPEG, H265
    int width = 0;
    int height = 0;
    int frameRateLimit = 0;
    int bitrateLimit = 0; // kbit/s
    int govLength = 0;
    std::string raw; // the camera's element, serialized
};

struct MediaProfile {
    std::string token;
    std::string name;
    std::string videoSourceToken;
    std::optional<VideoEncoder> encoder;
};

struct Range {
    int min = 0;
    int max = 0;
    bool Holds(int v) const { return v >= min && v <= max; }
};

struct EncoderOptions {
    // Per encoding: the sizes it offers.
    std::vector<std::pair<std::string, std::vector<std::pair<int, int>>>> resolutions;
    std::optional<Range> frameRate;
    std::optional<Range> govLength;
    std::optional<Range> bitrate;
    bool Offers(const std::string& encoding) const;
    bool Offers(const std::string& encoding, int width, int height) const;
};

struct ImagingSettings {
    std::optional<double> brightness;
    std::optional<double> contrast;
    std::optional<double> saturation;
    std::string irCut; // ON, OFF, AUTO; empty where not given
    // Exposure/MaxExposureTime, in microseconds: the longest exposure the
    // camera's automatic exposure may take.
    std::optional<double> maxExposureTime;
    std::string raw;
};

struct ImagingOptions {
    std::optional<std::pair<double, double>> brightness;
    std::optional<std::pair<double, double>> contrast;
    std::optional<std::pair<double, double>> saturation;
    std::vector<std::string> irCutModes;
    std::optional<std::pair<double, double>> maxExposureTime; // microseconds
};

class CDevice {
public:
    // `deviceUrl`: the device service address (a discovery XAddr).
    CDevice(std::string deviceUrl, std::string user, std::string password, Limits limits = {});

    CSoapClient& Soap() { return m_soap; }
    const std::string& DeviceUrl() const { return m_deviceUrl; }

    // Learns the camera's clock and where its services are. Neither needs
    // credentials on a camera that keeps to the standard.
    Answer<ServiceMap> Connect();
    const ServiceMap& Services() const { return m_services; }

    Answer<DeviceInformation> GetDeviceInformation();
    Answer<std::vector<NetworkInterface>> GetNetworkInterfaces();
    // True when the camera says it needs a reboot to take the address.
    Answer<bool> SetNetworkInterface(const std::string& token, std::uint32_t address,
                                     int prefixLength);
    Answer<std::uint32_t> GetDefaultGateway();
    Outcome SetDefaultGateway(std::uint32_t gateway);
    // The manual DNS servers; the first is the one the tool shows.
    Answer<std::vector<std::uint32_t>> GetDnsServers();
    Outcome SetDnsServers(const std::vector<std::uint32_t>& servers);
    Answer<std::vector<NetworkProtocol>> GetNetworkProtocols();
    Outcome SetNetworkProtocols(const std::vector<NetworkProtocol>& protocols);
    Answer<DynamicDns> GetDynamicDns();
    Outcome SetDynamicDns(const DynamicDns& ddns);
    Answer<std::vector<std::string>> GetScopes(); // every scope URI
    // The name scope (onvif://www.onvif.org/name/...) replaced, the other
    // configurable scopes kept.
    Outcome SetName(const std::string& name);
    Outcome SetHostname(const std::string& name);
    Answer<SystemDateTime> GetSystemDateAndTime();
    Outcome SetSystemDateAndTime(bool ntp, const std::string& timeZone,
                                 const std::optional<DateTimeParts>& utc);
    Outcome SetUserPassword(const std::string& user, const std::string& password);
    Outcome Reboot();
    Outcome SoftFactoryDefault();
    Answer<Firmware> StartFirmwareUpgrade();

    Answer<std::vector<MediaProfile>> GetProfiles();
    Answer<EncoderOptions> GetEncoderOptions(const std::string& configuration,
                                             const std::string& profile);
    Outcome SetVideoEncoder(const VideoEncoder& encoder);
    Answer<std::string> GetStreamUri(const std::string& profile);

    Answer<ImagingSettings> GetImagingSettings(const std::string& videoSource);
    Answer<ImagingOptions> GetImagingOptions(const std::string& videoSource);
    Outcome SetImagingSettings(const std::string& videoSource, const ImagingSettings& settings);

private:
    Reply call(const std::string& url, std::string_view ns, std::string_view name,
               std::string content = {}, bool anonymous = false);
    // The service's address, or an empty text when the camera has none.
    const std::string& media() const { return m_services.media; }
    const std::string& imaging() const { return m_services.imaging; }

    std::string m_deviceUrl;
    CSoapClient m_soap;
    ServiceMap m_services;
};

// "onvif://www.onvif.org/name/Front%20door" -> "Front door"; nothing for
// another scope.
std::optional<std::string> ScopeValue(std::string_view scope, std::string_view kind);
std::string ScopeOf(std::string_view kind, std::string_view value);

} // namespace onvifc
