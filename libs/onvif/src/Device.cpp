#include "onvifc/Device.h"

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

std::optional<std::uint32_t> parseIpv4(const std::string& text) {
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return std::nullopt;
    }
    return ntohl(a.s_addr);
}

std::optional<int> number(const std::string& text) {
    int out = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return out;
}

std::optional<double> decimal(const std::string& text) {
    double out = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return out;
}

int numberOr(Node node, std::string_view ns, std::string_view name, int fallback = 0) {
    return number(wire::text(wire::child(node, ns, name))).value_or(fallback);
}

// A path of (namespace, name) steps below `node`.
Node path(Node node, std::initializer_list<std::pair<std::string_view, std::string_view>> steps) {
    for (const auto& [ns, name] : steps) {
        node = wire::child(node, ns, name);
    }
    return node;
}

bool truth(const std::string& text) {
    return text == "true" || text == "1";
}

std::optional<std::array<std::uint8_t, 6>> readMac(const std::string& text) {
    std::array<std::uint8_t, 6> mac{};
    std::size_t digits = 0;
    for (const char c : text) {
        int v = -1;
        if (c >= '0' && c <= '9') {
            v = c - '0';
        } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
            v = (c | 0x20) - 'a' + 10;
        } else if (c == ':' || c == '-') {
            continue;
        } else {
            return std::nullopt;
        }
        if (digits >= 12) {
            return std::nullopt;
        }
        mac[digits / 2] = static_cast<std::uint8_t>(mac[digits / 2] << 4 | v);
        ++digits;
    }
    return digits == 12 ? std::optional(mac) : std::nullopt;
}

std::string dateTime(const DateTimeParts& p) {
    return tag("tt:Time", tag("tt:Hour", std::to_string(p.hour)) +
                              tag("tt:Minute", std::to_string(p.minute)) +
                              tag("tt:Second", std::to_string(p.second))) +
           tag("tt:Date", tag("tt:Year", std::to_string(p.year)) +
                              tag("tt:Month", std::to_string(p.month)) +
                              tag("tt:Day", std::to_string(p.day)));
}

std::optional<DateTimeParts> readDateTime(Node node) {
    const Node time = wire::child(node, kTt, "Time");
    const Node date = wire::child(node, kTt, "Date");
    if (time == nullptr || date == nullptr) {
        return std::nullopt;
    }
    return DateTimeParts{numberOr(date, kTt, "Year"),   numberOr(date, kTt, "Month"),
                         numberOr(date, kTt, "Day"),    numberOr(time, kTt, "Hour"),
                         numberOr(time, kTt, "Minute"), numberOr(time, kTt, "Second")};
}

std::optional<Range> readRange(Node node) {
    const auto min = number(wire::text(wire::child(node, kTt, "Min")));
    const auto max = number(wire::text(wire::child(node, kTt, "Max")));
    if (!min || !max || *min > *max) {
        return std::nullopt;
    }
    return Range{*min, *max};
}

std::optional<std::pair<double, double>> readFloatRange(Node node) {
    const auto min = decimal(wire::text(wire::child(node, kTt, "Min")));
    const auto max = decimal(wire::text(wire::child(node, kTt, "Max")));
    if (!min || !max || *min > *max) {
        return std::nullopt;
    }
    return std::pair(*min, *max);
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

// "http://host:port" of a URL, and the rest.
std::pair<std::string_view, std::string_view> originOf(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos) {
        return {};
    }
    const auto slash = url.find('/', scheme + 3);
    if (slash == std::string_view::npos) {
        return {url, "/"};
    }
    return {url.substr(0, slash), url.substr(slash)};
}

// A service address on the host the device service was reached at: cameras
// behind NAT, or with a stale address configured, advertise one nobody
// reaches. The service's own port and path stay.
std::string onDeviceHost(const std::string& service, const std::string& device) {
    const auto [deviceOrigin, devicePath] = originOf(device);
    const auto [origin, rest] = originOf(service);
    if (origin.empty() || deviceOrigin.empty()) {
        return service;
    }
    const auto hostOf = [](std::string_view o) {
        o.remove_prefix(o.find("://") + 3);
        return o.substr(0, o.rfind(':') == std::string_view::npos ? o.size() : o.rfind(':'));
    };
    const std::string_view host = hostOf(origin);
    const std::string_view deviceHost = hostOf(deviceOrigin);
    // A camera reached over HTTPS that names its services on plain HTTP
    // (as many do) is asked on the address it was reached at.
    if (deviceOrigin.starts_with("https://") && origin.starts_with("http://")) {
        return std::string(deviceOrigin) + std::string(rest);
    }
    if (host == deviceHost) {
        return service;
    }
    const std::string_view scheme = origin.substr(0, origin.find("://") + 3);
    const std::string_view port = origin.substr(scheme.size() + host.size());
    return std::string(scheme) + std::string(deviceHost) + std::string(port) + std::string(rest);
}

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
    const Node caps = wire::child(reply.body, kTds, "Capabilities");
    ServiceMap map;
    map.device = m_deviceUrl;
    map.media = wire::text(path(caps, {{kTt, "Media"}, {kTt, "XAddr"}}));
    map.imaging = wire::text(path(caps, {{kTt, "Imaging"}, {kTt, "XAddr"}}));
    for (std::string* service : {&map.media, &map.imaging}) {
        if (!service->empty()) {
            *service = onDeviceHost(*service, m_deviceUrl);
        }
    }
    map.firmwareUpgrade =
        truth(wire::text(path(caps, {{kTt, "Device"}, {kTt, "System"}, {kTt, "FirmwareUpgrade"}})));
    map.dynamicDns =
        truth(wire::text(path(caps, {{kTt, "Device"}, {kTt, "Network"}, {kTt, "DynDNS"}})));
    m_services = map;
    return {Error::None, map, {}};
}

Answer<DeviceInformation> CDevice::GetDeviceInformation() {
    const Reply reply = call(m_deviceUrl, kTds, "GetDeviceInformation");
    if (!reply.Ok()) {
        return failed<DeviceInformation>(reply);
    }
    const auto field = [&](std::string_view name) {
        return wire::text(wire::child(reply.body, kTds, name));
    };
    return {Error::None,
            {field("Manufacturer"), field("Model"), field("FirmwareVersion"), field("SerialNumber"),
             field("HardwareId")},
            {}};
}

Answer<std::vector<NetworkInterface>> CDevice::GetNetworkInterfaces() {
    const Reply reply = call(m_deviceUrl, kTds, "GetNetworkInterfaces");
    if (!reply.Ok()) {
        return failed<std::vector<NetworkInterface>>(reply);
    }
    std::vector<NetworkInterface> out;
    for (const Node n : wire::children(reply.body, kTds, "NetworkInterfaces")) {
        NetworkInterface i;
        i.token = wire::attribute(n, "token").value_or("");
        i.mac = readMac(wire::text(path(n, {{kTt, "Info"}, {kTt, "HwAddress"}})));
        const Node config = path(n, {{kTt, "IPv4"}, {kTt, "Config"}});
        i.dhcp = truth(wire::text(wire::child(config, kTt, "DHCP")));
        Node address = wire::child(config, kTt, i.dhcp ? "FromDHCP" : "Manual");
        if (address == nullptr) {
            address = wire::child(config, kTt, "Manual");
        }
        i.address = parseIpv4(wire::text(wire::child(address, kTt, "Address"))).value_or(0);
        i.prefixLength = numberOr(address, kTt, "PrefixLength");
        out.push_back(std::move(i));
    }
    return {Error::None, std::move(out), {}};
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
    return {Error::None, truth(wire::text(wire::child(reply.body, kTds, "RebootNeeded"))), {}};
}

Answer<std::uint32_t> CDevice::GetDefaultGateway() {
    const Reply reply = call(m_deviceUrl, kTds, "GetNetworkDefaultGateway");
    if (!reply.Ok()) {
        return failed<std::uint32_t>(reply);
    }
    const Node gateway = wire::child(reply.body, kTds, "NetworkGateway");
    return {Error::None,
            parseIpv4(wire::text(wire::child(gateway, kTt, "IPv4Address"))).value_or(0),
            {}};
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
    std::vector<std::uint32_t> out;
    const Node info = wire::child(reply.body, kTds, "DNSInformation");
    for (const Node manual : wire::children(info, kTt, "DNSManual")) {
        if (const auto a = parseIpv4(wire::text(wire::child(manual, kTt, "IPv4Address")))) {
            out.push_back(*a);
        }
    }
    return {Error::None, std::move(out), {}};
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
    std::vector<NetworkProtocol> out;
    for (const Node n : wire::children(reply.body, kTds, "NetworkProtocols")) {
        NetworkProtocol p;
        p.name = wire::text(wire::child(n, kTt, "Name"));
        p.enabled = truth(wire::text(wire::child(n, kTt, "Enabled")));
        for (const Node port : wire::children(n, kTt, "Port")) {
            if (const auto v = number(wire::text(port)); v && *v > 0 && *v <= 65535) {
                p.ports.push_back(*v);
            }
        }
        out.push_back(std::move(p));
    }
    return {Error::None, std::move(out), {}};
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
    const Node info = wire::child(reply.body, kTds, "DynamicDNSInformation");
    return {
        Error::None,
        {wire::text(wire::child(info, kTt, "Type")), wire::text(wire::child(info, kTt, "Name"))},
        {}};
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
    std::vector<std::string> out;
    for (const Node scope : wire::children(reply.body, kTds, "Scopes")) {
        // Only configurable scopes can be set again; fixed ones stay.
        if (wire::text(wire::child(scope, kTt, "ScopeDef")) == "Configurable") {
            out.push_back(wire::text(wire::child(scope, kTt, "ScopeItem")));
        }
    }
    return {Error::None, std::move(out), {}};
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
    const Node info = wire::child(reply.body, kTds, "SystemDateAndTime");
    SystemDateTime out;
    out.ntp = wire::text(wire::child(info, kTt, "DateTimeType")) == "NTP";
    out.daylightSavings = truth(wire::text(wire::child(info, kTt, "DaylightSavings")));
    out.timeZone = wire::text(path(info, {{kTt, "TimeZone"}, {kTt, "TZ"}}));
    out.utc = readDateTime(wire::child(info, kTt, "UTCDateTime"));
    out.local = readDateTime(wire::child(info, kTt, "LocalDateTime"));
    return {Error::None, std::move(out), {}};
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
    return {Error::None,
            {wire::text(wire::child(reply.body, kTds, "UploadUri")),
             wire::text(wire::child(reply.body, kTds, "ExpectedDownTime"))},
            {}};
}

Answer<std::vector<MediaProfile>> CDevice::GetProfiles() {
    const Reply reply = call(media(), kTrt, "GetProfiles");
    if (!reply.Ok()) {
        return failed<std::vector<MediaProfile>>(reply);
    }
    std::vector<MediaProfile> out;
    for (const Node p : wire::children(reply.body, kTrt, "Profiles")) {
        MediaProfile profile;
        profile.token = wire::attribute(p, "token").value_or("");
        profile.name = wire::text(wire::child(p, kTt, "Name"));
        profile.videoSourceToken =
            wire::text(path(p, {{kTt, "VideoSourceConfiguration"}, {kTt, "SourceToken"}}));
        if (const Node e = wire::child(p, kTt, "VideoEncoderConfiguration")) {
            VideoEncoder encoder;
            encoder.token = wire::attribute(e, "token").value_or("");
            encoder.encoding = wire::text(wire::child(e, kTt, "Encoding"));
            const Node size = wire::child(e, kTt, "Resolution");
            encoder.width = numberOr(size, kTt, "Width");
            encoder.height = numberOr(size, kTt, "Height");
            const Node rate = wire::child(e, kTt, "RateControl");
            encoder.frameRateLimit = numberOr(rate, kTt, "FrameRateLimit");
            encoder.bitrateLimit = numberOr(rate, kTt, "BitrateLimit");
            const Node gov = wire::child(e, kTt, encoder.encoding == "MPEG4" ? "MPEG4" : "H264");
            encoder.govLength = numberOr(gov, kTt, "GovLength");
            encoder.raw = wire::serialize(e, kTrt, "trt", "Configuration");
            profile.encoder = std::move(encoder);
        }
        out.push_back(std::move(profile));
    }
    return {Error::None, std::move(out), {}};
}

Answer<EncoderOptions> CDevice::GetEncoderOptions(const std::string& configuration,
                                                  const std::string& profile) {
    const Reply reply = call(media(), kTrt, "GetVideoEncoderConfigurationOptions",
                             tag("trt:ConfigurationToken", wire::escape(configuration)) +
                                 tag("trt:ProfileToken", wire::escape(profile)));
    if (!reply.Ok()) {
        return failed<EncoderOptions>(reply);
    }
    const Node options = wire::child(reply.body, kTrt, "Options");
    EncoderOptions out;
    for (const auto& [element, encoding] :
         {std::pair("H264", "H264"), std::pair("MPEG4", "MPEG4"), std::pair("JPEG", "JPEG")}) {
        const Node e = wire::child(options, kTt, element);
        if (e == nullptr) {
            continue;
        }
        std::vector<std::pair<int, int>> sizes;
        for (const Node r : wire::children(e, kTt, "ResolutionsAvailable")) {
            sizes.emplace_back(numberOr(r, kTt, "Width"), numberOr(r, kTt, "Height"));
        }
        out.resolutions.emplace_back(encoding, std::move(sizes));
        if (!out.frameRate) {
            out.frameRate = readRange(wire::child(e, kTt, "FrameRateRange"));
        }
        if (!out.govLength) {
            out.govLength = readRange(wire::child(e, kTt, "GovLengthRange"));
        }
    }
    // The bit rate range sits in the Extension, per encoding.
    const Node extension = wire::child(options, kTt, "Extension");
    for (const Node e :
         {wire::child(extension, kTt, "H264"), wire::child(extension, kTt, "MPEG4")}) {
        if (!out.bitrate) {
            out.bitrate = readRange(wire::child(e, kTt, "BitrateRange"));
        }
    }
    return {Error::None, std::move(out), {}};
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
    return {
        Error::None,
        onDeviceHost(wire::text(path(reply.body, {{kTrt, "MediaUri"}, {kTt, "Uri"}})), m_deviceUrl),
        {}};
}

Answer<ImagingSettings> CDevice::GetImagingSettings(const std::string& videoSource) {
    const Reply reply = call(imaging(), kTimg, "GetImagingSettings",
                             tag("timg:VideoSourceToken", wire::escape(videoSource)));
    if (!reply.Ok()) {
        return failed<ImagingSettings>(reply);
    }
    const Node s = wire::child(reply.body, kTimg, "ImagingSettings");
    ImagingSettings out;
    out.brightness = decimal(wire::text(wire::child(s, kTt, "Brightness")));
    out.contrast = decimal(wire::text(wire::child(s, kTt, "Contrast")));
    out.saturation = decimal(wire::text(wire::child(s, kTt, "ColorSaturation")));
    out.irCut = wire::text(wire::child(s, kTt, "IrCutFilter"));
    out.raw = wire::serialize(s, kTimg, "timg", "ImagingSettings");
    return {Error::None, std::move(out), {}};
}

Answer<ImagingOptions> CDevice::GetImagingOptions(const std::string& videoSource) {
    const Reply reply = call(imaging(), kTimg, "GetOptions",
                             tag("timg:VideoSourceToken", wire::escape(videoSource)));
    if (!reply.Ok()) {
        return failed<ImagingOptions>(reply);
    }
    const Node o = wire::child(reply.body, kTimg, "ImagingOptions");
    ImagingOptions out;
    out.brightness = readFloatRange(wire::child(o, kTt, "Brightness"));
    out.contrast = readFloatRange(wire::child(o, kTt, "Contrast"));
    out.saturation = readFloatRange(wire::child(o, kTt, "ColorSaturation"));
    for (const Node mode : wire::children(o, kTt, "IrCutFilterModes")) {
        out.irCutModes.push_back(wire::text(mode));
    }
    return {Error::None, std::move(out), {}};
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
    const std::string content = tag("timg:VideoSourceToken", wire::escape(videoSource)) +
                                wire::serialize(root, kTimg, "timg", "ImagingSettings") +
                                tag("timg:ForcePersistence", "true");
    return done(call(imaging(), kTimg, "SetImagingSettings", content));
}

} // namespace onvifc
