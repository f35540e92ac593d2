#include "onvifc/Device.h"

#include "onvifc/Answers.h"

#include "onvifc/wire/Percent.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

namespace onvifc {

namespace {

using wire::Node;
constexpr std::string_view kTds = kDeviceNs;
constexpr std::string_view kTrt = kMediaNs;
constexpr std::string_view kTimg = kImagingNs;
constexpr std::string_view kTt = kSchemaNs;

using wire::tag;

std::string ipv4Text(std::uint32_t address) {
    in_addr a{htonl(address)};
    char out[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, out, sizeof out);
    return out;
}

std::string dateTime(const DateTimeParts& p) {
    return tag("tt:Time", tag("tt:Hour", std::to_string(p.hour)) +
                              tag("tt:Minute", std::to_string(p.minute)) +
                              tag("tt:Second", std::to_string(p.second))) +
           tag("tt:Date", tag("tt:Year", std::to_string(p.year)) +
                              tag("tt:Month", std::to_string(p.month)) +
                              tag("tt:Day", std::to_string(p.day)));
}

std::string formatNumber(double value) {
    char out[32] = {};
    const auto [end, ec] = std::to_chars(out, out + sizeof out - 1, value);
    return ec == std::errc() ? std::string(out, end) : std::string("0");
}

template <class T>
Answer<T> failed(const Reply& reply) {
    return {reply.error, T{}, reply.detail};
}

Outcome done(const Reply& reply) {
    return {reply.error, reply.Ok(), reply.detail};
}

constexpr std::string_view kScopeRoot = "onvif://www.onvif.org/";

} // namespace

std::optional<std::string> ScopeValue(std::string_view scope, std::string_view kind) {
    if (!scope.starts_with(kScopeRoot)) {
        return std::nullopt;
    }
    scope.remove_prefix(kScopeRoot.size());
    if (!scope.starts_with(kind) || scope.size() <= kind.size() || scope[kind.size()] != '/') {
        return std::nullopt;
    }
    return wire::percentDecode(scope.substr(kind.size() + 1));
}

std::string ScopeOf(std::string_view kind, std::string_view value) {
    return std::string(kScopeRoot) + std::string(kind) + "/" + wire::percentEncode(value);
}

bool EncoderOptions::Offers(const std::string& encoding) const {
    return std::any_of(resolutions.begin(), resolutions.end(),
                       [&](const auto& e) { return e.first == encoding; });
}

bool EncoderOptions::Offers(const std::string& encoding, int width, int height) const {
    for (const auto& [name, sizes] : resolutions) {
        if (name == encoding &&
            std::find(sizes.begin(), sizes.end(), std::pair(width, height)) != sizes.end()) {
            return true;
        }
    }
    return false;
}

CDevice::CDevice(std::string deviceUrl, std::string user, std::string password, Limits limits)
    : m_deviceUrl(std::move(deviceUrl)), m_soap(std::move(user), std::move(password), limits) {
    m_services.device = m_deviceUrl;
}

Reply CDevice::call(const std::string& url, std::string_view ns, std::string_view name,
                    std::string content, bool anonymous) {
    if (url.empty()) {
        Reply reply;
        reply.error = Error::NotSupported;
        reply.detail = "the camera offers no such service";
        return reply;
    }
    Reply reply = m_soap.Call(url, {ns, name, std::move(content), anonymous});
    if (reply.Ok()) {
        const std::string wanted = std::string(name) + "Response";
        if (wire::localName(reply.body) != wanted) {
            reply.error = Error::BadReply;
            reply.detail =
                "answered " + std::string(wire::localName(reply.body)) + " to " + std::string(name);
        }
    }
    return reply;
}

Answer<ServiceMap> CDevice::Connect() {
    m_soap.LearnClock(m_deviceUrl);
    const Reply reply =
        call(m_deviceUrl, kTds, "GetCapabilities", tag("tds:Category", "All"), true);
    if (!reply.Ok()) {
        return failed<ServiceMap>(reply);
    }
    m_services = answers::Capabilities(reply.body, m_deviceUrl);
    return {Error::None, m_services, {}};
}

Answer<DeviceInformation> CDevice::GetDeviceInformation() {
    const Reply reply = call(m_deviceUrl, kTds, "GetDeviceInformation");
    if (!reply.Ok()) {
        return failed<DeviceInformation>(reply);
    }
    return {Error::None, answers::DeviceInfo(reply.body), {}};
}

Answer<std::vector<NetworkInterface>> CDevice::GetNetworkInterfaces() {
    const Reply reply = call(m_deviceUrl, kTds, "GetNetworkInterfaces");
    if (!reply.Ok()) {
        return failed<std::vector<NetworkInterface>>(reply);
    }
    return {Error::None, answers::NetworkInterfaces(reply.body), {}};
}

Answer<bool> CDevice::SetNetworkInterface(const std::string& token, std::uint32_t address,
                                          int prefixLength) {
    const std::string content =
        tag("tds:InterfaceToken", wire::escape(token)) +
        tag("tds:NetworkInterface",
            tag("tt:Enabled", "true") +
                tag("tt:IPv4",
                    tag("tt:Enabled", "true") +
                        tag("tt:Manual", tag("tt:Address", ipv4Text(address)) +
                                             tag("tt:PrefixLength", std::to_string(prefixLength))) +
                        tag("tt:DHCP", "false")));
    const Reply reply = call(m_deviceUrl, kTds, "SetNetworkInterfaces", content);
    if (!reply.Ok()) {
        return failed<bool>(reply);
    }
    return {Error::None, answers::RebootNeeded(reply.body), {}};
}

Answer<std::uint32_t> CDevice::GetDefaultGateway() {
    const Reply reply = call(m_deviceUrl, kTds, "GetNetworkDefaultGateway");
    if (!reply.Ok()) {
        return failed<std::uint32_t>(reply);
    }
    return {Error::None, answers::DefaultGateway(reply.body), {}};
}

Outcome CDevice::SetDefaultGateway(std::uint32_t gateway) {
    return done(call(m_deviceUrl, kTds, "SetNetworkDefaultGateway",
                     tag("tds:IPv4Address", ipv4Text(gateway))));
}

Answer<std::vector<std::uint32_t>> CDevice::GetDnsServers() {
    const Reply reply = call(m_deviceUrl, kTds, "GetDNS");
    if (!reply.Ok()) {
        return failed<std::vector<std::uint32_t>>(reply);
    }
    return {Error::None, answers::DnsServers(reply.body), {}};
}

Outcome CDevice::SetDnsServers(const std::vector<std::uint32_t>& servers) {
    std::string content = tag("tds:FromDHCP", "false");
    for (const std::uint32_t server : servers) {
        content +=
            tag("tds:DNSManual", tag("tt:Type", "IPv4") + tag("tt:IPv4Address", ipv4Text(server)));
    }
    return done(call(m_deviceUrl, kTds, "SetDNS", content));
}

Answer<std::vector<NetworkProtocol>> CDevice::GetNetworkProtocols() {
    const Reply reply = call(m_deviceUrl, kTds, "GetNetworkProtocols");
    if (!reply.Ok()) {
        return failed<std::vector<NetworkProtocol>>(reply);
    }
    return {Error::None, answers::NetworkProtocols(reply.body), {}};
}

Outcome CDevice::SetNetworkProtocols(const std::vector<NetworkProtocol>& protocols) {
    std::string content;
    for (const NetworkProtocol& p : protocols) {
        std::string inner =
            tag("tt:Name", wire::escape(p.name)) + tag("tt:Enabled", p.enabled ? "true" : "false");
        for (const int port : p.ports) {
            inner += tag("tt:Port", std::to_string(port));
        }
        content += tag("tds:NetworkProtocols", inner);
    }
    return done(call(m_deviceUrl, kTds, "SetNetworkProtocols", content));
}

Answer<DynamicDns> CDevice::GetDynamicDns() {
    const Reply reply = call(m_deviceUrl, kTds, "GetDynamicDNS");
    if (!reply.Ok()) {
        return failed<DynamicDns>(reply);
    }
    return {Error::None, answers::DynamicDnsOf(reply.body), {}};
}

Outcome CDevice::SetDynamicDns(const DynamicDns& ddns) {
    std::string content = tag("tds:Type", wire::escape(ddns.type));
    if (!ddns.name.empty()) {
        content += tag("tds:Name", wire::escape(ddns.name));
    }
    return done(call(m_deviceUrl, kTds, "SetDynamicDNS", content));
}

Answer<std::vector<std::string>> CDevice::GetScopes() {
    const Reply reply = call(m_deviceUrl, kTds, "GetScopes");
    if (!reply.Ok()) {
        return failed<std::vector<std::string>>(reply);
    }
    return {Error::None, answers::ConfigurableScopes(reply.body), {}};
}

Outcome CDevice::SetName(const std::string& name) {
    const auto scopes = GetScopes();
    if (!scopes.Ok()) {
        return {scopes.error, false, scopes.detail};
    }
    std::string content;
    for (const std::string& scope : scopes.value) {
        if (!ScopeValue(scope, "name")) {
            content += tag("tds:Scopes", wire::escape(scope));
        }
    }
    content += tag("tds:Scopes", wire::escape(ScopeOf("name", name)));
    return done(call(m_deviceUrl, kTds, "SetScopes", content));
}

Outcome CDevice::SetHostname(const std::string& name) {
    return done(call(m_deviceUrl, kTds, "SetHostname", tag("tds:Name", wire::escape(name))));
}

Answer<SystemDateTime> CDevice::GetSystemDateAndTime() {
    const Reply reply = call(m_deviceUrl, kTds, "GetSystemDateAndTime", {}, true);
    if (!reply.Ok()) {
        return failed<SystemDateTime>(reply);
    }
    return {Error::None, answers::DateAndTime(reply.body), {}};
}

Outcome CDevice::SetSystemDateAndTime(bool ntp, const std::string& timeZone,
                                      const std::optional<DateTimeParts>& utc) {
    std::string content = tag("tds:DateTimeType", ntp ? "NTP" : "Manual") +
                          tag("tds:DaylightSavings", "false") +
                          tag("tds:TimeZone", tag("tt:TZ", wire::escape(timeZone)));
    if (!ntp && utc) {
        content += tag("tds:UTCDateTime", dateTime(*utc));
    }
    return done(call(m_deviceUrl, kTds, "SetSystemDateAndTime", content));
}

Outcome CDevice::SetUserPassword(const std::string& user, const std::string& password) {
    const std::string content = tag("tds:User", tag("tt:Username", wire::escape(user)) +
                                                    tag("tt:Password", wire::escape(password)) +
                                                    tag("tt:UserLevel", "Administrator"));
    const Reply reply = call(m_deviceUrl, kTds, "SetUser", content);
    if (reply.Ok() && user == m_soap.User()) {
        m_soap.SetPassword(password);
    }
    return done(reply);
}

Outcome CDevice::Reboot() {
    return done(call(m_deviceUrl, kTds, "SystemReboot"));
}

Outcome CDevice::SoftFactoryDefault() {
    return done(
        call(m_deviceUrl, kTds, "SetSystemFactoryDefault", tag("tds:FactoryDefault", "Soft")));
}

Answer<Firmware> CDevice::StartFirmwareUpgrade() {
    const Reply reply = call(m_deviceUrl, kTds, "StartFirmwareUpgrade");
    if (!reply.Ok()) {
        return failed<Firmware>(reply);
    }
    return {Error::None, answers::FirmwareUpload(reply.body), {}};
}

Answer<std::vector<MediaProfile>> CDevice::GetProfiles() {
    const Reply reply = call(media(), kTrt, "GetProfiles");
    if (!reply.Ok()) {
        return failed<std::vector<MediaProfile>>(reply);
    }
    return {Error::None, answers::Profiles(reply.body), {}};
}

Answer<EncoderOptions> CDevice::GetEncoderOptions(const std::string& configuration,
                                                  const std::string& profile) {
    const Reply reply = call(media(), kTrt, "GetVideoEncoderConfigurationOptions",
                             tag("trt:ConfigurationToken", wire::escape(configuration)) +
                                 tag("trt:ProfileToken", wire::escape(profile)));
    if (!reply.Ok()) {
        return failed<EncoderOptions>(reply);
    }
    return {Error::None, answers::EncoderOptionsOf(reply.body), {}};
}

Outcome CDevice::SetVideoEncoder(const VideoEncoder& encoder) {
    auto doc = wire::XmlDocument::parse(encoder.raw);
    const Node root = doc ? doc->root() : nullptr;
    if (root == nullptr) {
        return {Error::BadReply, false, "no configuration of the camera's to change"};
    }
    wire::setText(wire::ensureChild(root, kTt, "Encoding"), encoder.encoding);
    const Node size = wire::ensureChild(root, kTt, "Resolution");
    wire::setText(wire::ensureChild(size, kTt, "Width"), std::to_string(encoder.width));
    wire::setText(wire::ensureChild(size, kTt, "Height"), std::to_string(encoder.height));
    const Node rate = wire::ensureChild(root, kTt, "RateControl");
    wire::setText(wire::ensureChild(rate, kTt, "FrameRateLimit"),
                  std::to_string(encoder.frameRateLimit));
    wire::setText(wire::ensureChild(rate, kTt, "BitrateLimit"),
                  std::to_string(encoder.bitrateLimit));
    if (encoder.encoding == "H264" || encoder.encoding == "MPEG4") {
        const Node gov = wire::ensureChild(root, kTt, encoder.encoding);
        wire::setText(wire::ensureChild(gov, kTt, "GovLength"), std::to_string(encoder.govLength));
    }
    const std::string content =
        wire::serialize(root, kTrt, "trt", "Configuration") + tag("trt:ForcePersistence", "true");
    return done(call(media(), kTrt, "SetVideoEncoderConfiguration", content));
}

Answer<std::string> CDevice::GetStreamUri(const std::string& profile) {
    const std::string content =
        tag("trt:StreamSetup",
            tag("tt:Stream", "RTP-Unicast") + tag("tt:Transport", tag("tt:Protocol", "RTSP"))) +
        tag("trt:ProfileToken", wire::escape(profile));
    const Reply reply = call(media(), kTrt, "GetStreamUri", content);
    if (!reply.Ok()) {
        return failed<std::string>(reply);
    }
    return {Error::None, answers::StreamUri(reply.body, m_deviceUrl), {}};
}

Answer<ImagingSettings> CDevice::GetImagingSettings(const std::string& videoSource) {
    const Reply reply = call(imaging(), kTimg, "GetImagingSettings",
                             tag("timg:VideoSourceToken", wire::escape(videoSource)));
    if (!reply.Ok()) {
        return failed<ImagingSettings>(reply);
    }
    return {Error::None, answers::ImagingSettingsOf(reply.body), {}};
}

Answer<ImagingOptions> CDevice::GetImagingOptions(const std::string& videoSource) {
    const Reply reply = call(imaging(), kTimg, "GetOptions",
                             tag("timg:VideoSourceToken", wire::escape(videoSource)));
    if (!reply.Ok()) {
        return failed<ImagingOptions>(reply);
    }
    return {Error::None, answers::ImagingOptionsOf(reply.body), {}};
}

Outcome CDevice::SetImagingSettings(const std::string& videoSource,
                                    const ImagingSettings& settings) {
    auto doc = wire::XmlDocument::parse(settings.raw);
    const Node root = doc ? doc->root() : nullptr;
    if (root == nullptr) {
        return {Error::BadReply, false, "no imaging settings of the camera's to change"};
    }
    // Only what the camera gave is sent back changed; a value it did not
    // report is not invented.
    const auto put = [&](std::string_view name, const std::optional<double>& value) {
        if (value && wire::child(root, kTt, name)) {
            wire::setText(wire::child(root, kTt, name), formatNumber(*value));
        }
    };
    put("Brightness", settings.brightness);
    put("Contrast", settings.contrast);
    put("ColorSaturation", settings.saturation);
    if (!settings.irCut.empty() && wire::child(root, kTt, "IrCutFilter")) {
        wire::setText(wire::child(root, kTt, "IrCutFilter"), settings.irCut);
    }
    const Node exposure = wire::child(root, kTt, "Exposure");
    if (settings.maxExposureTime && wire::child(exposure, kTt, "MaxExposureTime")) {
        wire::setText(wire::child(exposure, kTt, "MaxExposureTime"),
                      formatNumber(*settings.maxExposureTime));
    }
    const std::string content = tag("timg:VideoSourceToken", wire::escape(videoSource)) +
                                wire::serialize(root, kTimg, "timg", "ImagingSettings") +
                                tag("timg:ForcePersistence", "true");
    return done(call(imaging(), kTimg, "SetImagingSettings", content));
}

} // namespace onvifc
