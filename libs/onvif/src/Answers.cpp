#include "onvifc/Answers.h"

#include <arpa/inet.h>

#include <charconv>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace onvifc::answers {

namespace {

constexpr std::string_view kTds = kDeviceNs;
constexpr std::string_view kTrt = kMediaNs;
constexpr std::string_view kTimg = kImagingNs;
constexpr std::string_view kTt = kSchemaNs;

std::optional<std::uint32_t> parseIpv4(const std::string& text) {
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return std::nullopt;
    }
    return ntohl(a.s_addr);
}

// The whole text as a number; nothing for anything else.
template <class T>
std::optional<T> parsed(const std::string& text) {
    T out{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return out;
}
constexpr auto number = parsed<int>;
constexpr auto decimal = parsed<double>;

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

ServiceMap Capabilities(Node answer, const std::string& deviceUrl) {
    const Node caps = wire::child(answer, kTds, "Capabilities");
    ServiceMap map;
    map.device = deviceUrl;
    map.media = wire::text(path(caps, {{kTt, "Media"}, {kTt, "XAddr"}}));
    map.imaging = wire::text(path(caps, {{kTt, "Imaging"}, {kTt, "XAddr"}}));
    for (std::string* service : {&map.media, &map.imaging}) {
        if (!service->empty()) {
            *service = onDeviceHost(*service, deviceUrl);
        }
    }
    map.firmwareUpgrade =
        truth(wire::text(path(caps, {{kTt, "Device"}, {kTt, "System"}, {kTt, "FirmwareUpgrade"}})));
    map.dynamicDns =
        truth(wire::text(path(caps, {{kTt, "Device"}, {kTt, "Network"}, {kTt, "DynDNS"}})));
    return map;
}

DeviceInformation DeviceInfo(Node answer) {
    const auto field = [&](std::string_view name) {
        return wire::text(wire::child(answer, kTds, name));
    };
    return {field("Manufacturer"), field("Model"), field("FirmwareVersion"), field("SerialNumber"),
            field("HardwareId")};
}

std::vector<NetworkInterface> NetworkInterfaces(Node answer) {
    std::vector<NetworkInterface> out;
    for (const Node n : wire::children(answer, kTds, "NetworkInterfaces")) {
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
    return out;
}

bool RebootNeeded(Node answer) {
    return truth(wire::text(wire::child(answer, kTds, "RebootNeeded")));
}

std::uint32_t DefaultGateway(Node answer) {
    const Node gateway = wire::child(answer, kTds, "NetworkGateway");
    return parseIpv4(wire::text(wire::child(gateway, kTt, "IPv4Address"))).value_or(0);
}

std::vector<std::uint32_t> DnsServers(Node answer) {
    std::vector<std::uint32_t> out;
    const Node info = wire::child(answer, kTds, "DNSInformation");
    for (const Node manual : wire::children(info, kTt, "DNSManual")) {
        if (const auto a = parseIpv4(wire::text(wire::child(manual, kTt, "IPv4Address")))) {
            out.push_back(*a);
        }
    }
    return out;
}

std::vector<NetworkProtocol> NetworkProtocols(Node answer) {
    std::vector<NetworkProtocol> out;
    for (const Node n : wire::children(answer, kTds, "NetworkProtocols")) {
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
    return out;
}

DynamicDns DynamicDnsOf(Node answer) {
    const Node info = wire::child(answer, kTds, "DynamicDNSInformation");
    return {wire::text(wire::child(info, kTt, "Type")), wire::text(wire::child(info, kTt, "Name"))};
}

std::vector<std::string> ConfigurableScopes(Node answer) {
    std::vector<std::string> out;
    for (const Node scope : wire::children(answer, kTds, "Scopes")) {
        if (wire::text(wire::child(scope, kTt, "ScopeDef")) == "Configurable") {
            out.push_back(wire::text(wire::child(scope, kTt, "ScopeItem")));
        }
    }
    return out;
}

SystemDateTime DateAndTime(Node answer) {
    const Node info = wire::child(answer, kTds, "SystemDateAndTime");
    SystemDateTime out;
    out.ntp = wire::text(wire::child(info, kTt, "DateTimeType")) == "NTP";
    out.daylightSavings = truth(wire::text(wire::child(info, kTt, "DaylightSavings")));
    out.timeZone = wire::text(path(info, {{kTt, "TimeZone"}, {kTt, "TZ"}}));
    out.utc = readDateTime(wire::child(info, kTt, "UTCDateTime"));
    out.local = readDateTime(wire::child(info, kTt, "LocalDateTime"));
    return out;
}

Firmware FirmwareUpload(Node answer) {
    return {wire::text(wire::child(answer, kTds, "UploadUri")),
            wire::text(wire::child(answer, kTds, "ExpectedDownTime"))};
}

std::vector<MediaProfile> Profiles(Node answer) {
    std::vector<MediaProfile> out;
    for (const Node p : wire::children(answer, kTrt, "Profiles")) {
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
    return out;
}

EncoderOptions EncoderOptionsOf(Node answer) {
    const Node options = wire::child(answer, kTrt, "Options");
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
    return out;
}

std::string StreamUri(Node answer, const std::string& deviceUrl) {
    return onDeviceHost(wire::text(path(answer, {{kTrt, "MediaUri"}, {kTt, "Uri"}})), deviceUrl);
}

ImagingSettings ImagingSettingsOf(Node answer) {
    const Node s = wire::child(answer, kTimg, "ImagingSettings");
    ImagingSettings out;
    out.brightness = decimal(wire::text(wire::child(s, kTt, "Brightness")));
    out.contrast = decimal(wire::text(wire::child(s, kTt, "Contrast")));
    out.saturation = decimal(wire::text(wire::child(s, kTt, "ColorSaturation")));
    out.irCut = wire::text(wire::child(s, kTt, "IrCutFilter"));
    out.maxExposureTime =
        decimal(wire::text(path(s, {{kTt, "Exposure"}, {kTt, "MaxExposureTime"}})));
    out.raw = wire::serialize(s, kTimg, "timg", "ImagingSettings");
    return out;
}

ImagingOptions ImagingOptionsOf(Node answer) {
    const Node o = wire::child(answer, kTimg, "ImagingOptions");
    ImagingOptions out;
    out.brightness = readFloatRange(wire::child(o, kTt, "Brightness"));
    out.contrast = readFloatRange(wire::child(o, kTt, "Contrast"));
    out.saturation = readFloatRange(wire::child(o, kTt, "ColorSaturation"));
    for (const Node mode : wire::children(o, kTt, "IrCutFilterModes")) {
        out.irCutModes.push_back(wire::text(mode));
    }
    out.maxExposureTime = readFloatRange(path(o, {{kTt, "Exposure"}, {kTt, "MaxExposureTime"}}));
    return out;
}

} // namespace onvifc::answers
