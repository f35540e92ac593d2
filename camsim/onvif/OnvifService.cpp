#include "onvif/OnvifService.h"

#include "Digest.h"
#include "camsim/httpapi/CameraConfig.h"
#include "camsim/httpapi/TlsIdentity.h"
#include "onvifc/wire/Percent.h"
#include "onvifc/wire/Xml.h"

#include "qvipcsdk/wire/DigestAuth.h"
#include "qvipcsdk/wire/Utf8.h"
#include "qvsp/wire/Records.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>

namespace camsim::onvif {

using nlohmann::json;

namespace {

using SteadyClock = std::chrono::steady_clock;

// Faults carry their own HTTP status: a client's mistake is 400, a call the
// camera lacks 500, as SOAP 1.2 over HTTP binds Sender and Receiver.
struct Fault {
    std::string code;    // env:Sender or env:Receiver
    std::string subcode; // ter:...
    std::string detail;  // second-level subcode, may be empty
    std::string reason;
    int status = 400;
};

Fault invalidArg(std::string detail, std::string reason) {
    return {"env:Sender", "ter:InvalidArgVal", std::move(detail), std::move(reason), 400};
}

Fault notAuthorized(std::string reason) {
    return {"env:Sender", "ter:NotAuthorized", "", std::move(reason), 400};
}

// Element text as the wire library writes it, and numbers the same way.
using onvifc::wire::tag;
std::string tag(std::string_view name, long long value) {
    return tag(name, std::to_string(value));
}

std::string boolText(bool value) {
    return value ? "true" : "false";
}

std::string ipText(std::uint32_t ip) {
    const std::uint32_t network = htonl(ip);
    char out[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &network, out, sizeof out);
    return out;
}

std::optional<std::uint32_t> ipOf(std::string_view text) {
    std::string copy(text);
    in_addr a{};
    if (inet_pton(AF_INET, copy.c_str(), &a) != 1)
        return std::nullopt;
    return ntohl(a.s_addr);
}

std::uint64_t pack(std::uint32_t ip, int port, bool secure = false) {
    return (secure ? std::uint64_t{1} << 48 : 0) | std::uint64_t{ip} << 16 |
           static_cast<std::uint16_t>(port);
}

int onvifPortOf(const Camera& c) {
    const auto ports = c.deviceConfig.find("ports");
    if (ports != c.deviceConfig.end() && ports->is_object()) {
        const auto it = ports->find("onvif");
        if (it != ports->end() && it->is_number_integer())
            return it->get<int>();
    }
    return api::factoryPorts(c.net.httpPort)["onvif"].get<int>();
}

bool feature(const Camera& c, const char* name) {
    const auto features = c.onvif.find("features");
    if (features == c.onvif.end() || !features->is_object())
        return true;
    const auto it = features->find(name);
    return it == features->end() || !it->is_boolean() || it->get<bool>();
}

std::string macHex(const MacAddress& mac) {
    char out[13] = {};
    std::snprintf(out, sizeof out, "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return out;
}

// The maker's API under the ONVIF call: the same rules and the same stored
// record, so a value the maker's API refuses is refused here as well.
template <class F>
auto withApiState(Camera& c, const std::string& ip, F f) {
    CameraIdentity identity{c.name,    c.password, c.net.httpPort, c.model,
                            c.version, ip,         macText(c.mac)};
    CameraState state{identity, c.deviceConfig};
    auto result = f(state);
    c.name = identity.deviceName;
    c.password = identity.adminPassword;
    c.version = identity.version;
    if (identity.httpPort >= 1 && identity.httpPort <= 65535)
        c.net.httpPort = static_cast<std::uint16_t>(identity.httpPort);
    return result;
}

void check(const api::Outcome& outcome, const char* detail) {
    if (outcome.status != 200)
        throw invalidArg(detail, outcome.body.value("error", "value refused"));
}

bool validHostname(std::string_view name) {
    if (name.empty() || name.size() > 63)
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool ok = std::isalnum(static_cast<unsigned char>(c)) ||
                        (c == '-' && i != 0 && i + 1 != name.size());
        if (!ok)
            return false;
    }
    return true;
}

bool validUserName(std::string_view name) {
    if (name.empty() || name.size() > 31)
        return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
            return false;
    return true;
}

const std::map<std::string, std::string>& prefixMap() {
    // What some cameras write: the SOAP envelope under SOAP-ENV and every
    // other namespace under a numbered prefix.
    static const std::map<std::string, std::string> kOdd = {{"env", "SOAP-ENV"}, {"tds", "ns1"},
                                                            {"trt", "ns2"},      {"timg", "ns3"},
                                                            {"tt", "ns4"},       {"ter", "ns5"}};
    return kOdd;
}

std::string renamePrefixes(const std::string& xml) {
    std::string out = xml;
    for (const auto& [from, to] : prefixMap()) {
        for (const std::string& pattern :
             {"<" + from + ":", "</" + from + ":", "xmlns:" + from + "=", ">" + from + ":"}) {
            const std::string replacement =
                pattern.substr(0, pattern.size() - from.size() - 1) + to + pattern.back();
            std::size_t at = 0;
            while ((at = out.find(pattern, at)) != std::string::npos) {
                out.replace(at, pattern.size(), replacement);
                at += replacement.size();
            }
        }
    }
    return out;
}

std::string envelope(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
           " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
           " xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\""
           " xmlns:tt=\"http://www.onvif.org/ver10/schema\""
           " xmlns:ter=\"http://www.onvif.org/ver10/error\">"
           "<env:Body>" +
           body + "</env:Body></env:Envelope>";
}

std::string faultBody(const Fault& f) {
    std::string sub = tag("env:Value", f.subcode);
    if (!f.detail.empty())
        sub += tag("env:Subcode", tag("env:Value", f.detail));
    return tag("env:Fault", tag("env:Code", tag("env:Value", f.code) + tag("env:Subcode", sub)) +
                                tag("env:Reason", "<env:Text xml:lang=\"en\">" + escape(f.reason) +
                                                      "</env:Text>"));
}

std::string dateTime(const std::tm& t) {
    return tag("tt:Time", tag("tt:Hour", t.tm_hour) + tag("tt:Minute", t.tm_min) +
                              tag("tt:Second", t.tm_sec)) +
           tag("tt:Date", tag("tt:Year", t.tm_year + 1900) + tag("tt:Month", t.tm_mon + 1) +
                              tag("tt:Day", t.tm_mday));
}

std::tm utcParts(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&t, &parts);
    return parts;
}

constexpr Resolution kPrimarySizes[] = {{3840, 2160}, {2688, 1520}, {2560, 1440}, {2048, 1536},
                                        {1920, 1080}, {1280, 960},  {1280, 720}};
constexpr Resolution kSecondarySizes[] = {
    {704, 576}, {640, 480}, {640, 360}, {352, 288}, {320, 240}};
constexpr const char* kSecondaryCodecs[] = {"H264", "JPEG", "MPEG4"};
constexpr const char* kIrCutModes[] = {"ON", "OFF", "AUTO"};
constexpr const char* kUnreachable = "10.255.255.1";

// Profile tokens name the maker's stream records: Profile_1 the primary
// (record 1), Profile_2 the secondary (record 0).
struct StreamRef {
    int record;
    bool primary;
    int number; // 1 or 2, as in the tokens
};

std::optional<StreamRef> streamOf(std::string_view token, std::string_view prefix) {
    if (token.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    const auto rest = token.substr(prefix.size());
    if (rest == "1")
        return StreamRef{1, true, 1};
    if (rest == "2")
        return StreamRef{0, false, 2};
    return std::nullopt;
}

} // namespace

std::optional<Resolution> frameSizeResolution(bool primary, int code) {
    const int count = primary ? 7 : 5;
    if (code < 0 || code >= count)
        return std::nullopt;
    return primary ? kPrimarySizes[code] : kSecondarySizes[code];
}

std::optional<int> frameSizeCode(bool primary, int width, int height) {
    const int count = primary ? 7 : 5;
    for (int code = 0; code < count; ++code) {
        const Resolution r = primary ? kPrimarySizes[code] : kSecondarySizes[code];
        if (r.width == width && r.height == height)
            return code;
    }
    return std::nullopt;
}

std::optional<int> posixTzOffset(std::string_view tz) {
    std::size_t pos = 0;
    // The standard zone's name: three or more letters, or <...> quoted.
    if (pos < tz.size() && tz[pos] == '<') {
        const auto close = tz.find('>', pos);
        if (close == std::string_view::npos || close - pos < 4)
            return std::nullopt;
        pos = close + 1;
    } else {
        const std::size_t start = pos;
        while (pos < tz.size() && std::isalpha(static_cast<unsigned char>(tz[pos])))
            ++pos;
        if (pos - start < 3)
            return std::nullopt;
    }
    int sign = 1;
    if (pos < tz.size() && (tz[pos] == '+' || tz[pos] == '-'))
        sign = tz[pos++] == '-' ? -1 : 1;
    int parts[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (pos >= tz.size() || tz[pos] != ':')
                break;
            ++pos;
        }
        std::size_t digits = 0;
        while (pos < tz.size() && std::isdigit(static_cast<unsigned char>(tz[pos])) && digits < 2) {
            parts[i] = parts[i] * 10 + (tz[pos++] - '0');
            ++digits;
        }
        if (digits == 0)
            return std::nullopt;
    }
    if (parts[0] > 24 || parts[1] > 59 || parts[2] > 59)
        return std::nullopt;
    // The rest names summer time and its rules; only its characters are checked.
    for (; pos < tz.size(); ++pos) {
        const char c = tz[pos];
        if (!std::isalnum(static_cast<unsigned char>(c)) &&
            std::string_view(",./:+-<>").find(c) == std::string_view::npos)
            return std::nullopt;
    }
    // POSIX counts west of Greenwich as positive.
    return -sign * (parts[0] * 3600 + parts[1] * 60 + parts[2]);
}

struct OnvifService::Call {
    Handler handler;
    bool preAuth = false; // answered without credentials
    bool admin = false;   // changes the camera: Administrator only
    bool imaging = false; // part of the Imaging service
};

struct OnvifService::Context {
    std::size_t index;
    Camera& camera;
    Node op;
    const OnvifQuirks& quirks;
    SystemClock::time_point now; // the machine's clock
    std::string localIp;
    bool secure; // asked over TLS
    SoapReply& reply;
    // The names a request element may be in: its service's namespace, and
    // in lenient mode any namespace (tt: where tds: belongs).
    Node arg(std::string_view ns, std::string_view local) const {
        Node n = child(op, ns, local);
        if (!n && quirks.lenient)
            n = childAnyNs(op, local);
        return n;
    }
    std::string host() const { return quirks.unreachableXAddrs ? kUnreachable : localIp; }
    // Where the camera's web server answers the way this request came: its
    // TLS port to a client that asks over HTTPS, its ONVIF port otherwise.
    std::string base() const {
        return secure ? "https://" + host() + ":" + std::to_string(tls::portOf(camera.deviceConfig))
                      : "http://" + host() + ":" + std::to_string(onvifPortOf(camera));
    }
};

const std::map<std::pair<std::string_view, std::string_view>, OnvifService::Call>&
OnvifService::calls() {
    using S = OnvifService;
    static const std::map<std::pair<std::string_view, std::string_view>, Call> kCalls = {
        {{kDevice, "GetSystemDateAndTime"}, {&S::getSystemDateAndTime, true}},
        {{kDevice, "SetSystemDateAndTime"}, {&S::setSystemDateAndTime, false, true}},
        {{kDevice, "GetServices"}, {&S::getServices, true}},
        {{kDevice, "GetServiceCapabilities"}, {&S::getServiceCapabilities, true}},
        {{kDevice, "GetCapabilities"}, {&S::getCapabilities, true}},
        {{kDevice, "GetDeviceInformation"}, {&S::getDeviceInformation}},
        {{kDevice, "GetHostname"}, {&S::getHostname, true}},
        {{kDevice, "SetHostname"}, {&S::setHostname, false, true}},
        {{kDevice, "GetNetworkInterfaces"}, {&S::getNetworkInterfaces}},
        {{kDevice, "SetNetworkInterfaces"}, {&S::setNetworkInterfaces, false, true}},
        {{kDevice, "GetNetworkDefaultGateway"}, {&S::getNetworkDefaultGateway}},
        {{kDevice, "SetNetworkDefaultGateway"}, {&S::setNetworkDefaultGateway, false, true}},
        {{kDevice, "GetDNS"}, {&S::getDns}},
        {{kDevice, "SetDNS"}, {&S::setDns, false, true}},
        {{kDevice, "GetNetworkProtocols"}, {&S::getNetworkProtocols}},
        {{kDevice, "SetNetworkProtocols"}, {&S::setNetworkProtocols, false, true}},
        {{kDevice, "GetDynamicDNS"}, {&S::getDynamicDns}},
        {{kDevice, "SetDynamicDNS"}, {&S::setDynamicDns, false, true}},
        {{kDevice, "GetScopes"}, {&S::getScopes}},
        {{kDevice, "SetScopes"}, {&S::setScopes, false, true}},
        {{kDevice, "GetUsers"}, {&S::getUsers, false, true}},
        {{kDevice, "SetUser"}, {&S::setUser, false, true}},
        {{kDevice, "CreateUsers"}, {&S::createUsers, false, true}},
        {{kDevice, "DeleteUsers"}, {&S::deleteUsers, false, true}},
        {{kDevice, "SystemReboot"}, {&S::systemReboot, false, true}},
        {{kDevice, "SetSystemFactoryDefault"}, {&S::setSystemFactoryDefault, false, true}},
        {{kDevice, "StartFirmwareUpgrade"}, {&S::startFirmwareUpgrade, false, true}},
        {{kMedia, "GetProfiles"}, {&S::getProfiles}},
        {{kMedia, "GetProfile"}, {&S::getProfile}},
        {{kMedia, "GetVideoSources"}, {&S::getVideoSources}},
        {{kMedia, "GetVideoSourceConfigurations"}, {&S::getVideoSourceConfigurations}},
        {{kMedia, "GetStreamUri"}, {&S::getStreamUri}},
        {{kMedia, "GetVideoEncoderConfigurations"}, {&S::getVideoEncoderConfigurations}},
        {{kMedia, "GetVideoEncoderConfiguration"}, {&S::getVideoEncoderConfiguration}},
        {{kMedia, "SetVideoEncoderConfiguration"}, {&S::setVideoEncoderConfiguration, false, true}},
        {{kMedia, "GetVideoEncoderConfigurationOptions"},
         {&S::getVideoEncoderConfigurationOptions}},
        {{kImaging, "GetImagingSettings"}, {&S::getImagingSettings, false, false, true}},
        {{kImaging, "SetImagingSettings"}, {&S::setImagingSettings, false, true, true}},
        {{kImaging, "GetOptions"}, {&S::getImagingOptions, false, false, true}},
    };
    return kCalls;
}

OnvifService::OnvifService(CameraStore& store, OnvifOptions options)
    : m_store(store), m_options(std::move(options)),
      m_digestNonces(std::make_unique<digest::NonceBook>(m_options.nonceLifetime)),
      m_silentUntil(std::make_unique<std::atomic<std::int64_t>[]>(store.size())),
      m_random(m_options.seed ? *m_options.seed : std::random_device{}()) {
    for (std::size_t i = 0; i < store.size(); ++i)
        m_silentUntil[i] = 0;
}

OnvifService::~OnvifService() = default;

const OnvifQuirks& OnvifService::quirks(std::size_t camera) const {
    static const OnvifQuirks kNone;
    return camera < m_options.quirks.size() ? m_options.quirks[camera] : kNone;
}

std::optional<std::size_t> OnvifService::lookup(std::uint64_t where, bool refresh) {
    std::lock_guard guard(m_indexLock);
    if (refresh) {
        m_index.clear();
        std::size_t i = 0;
        m_store.forEach([&](const Camera& c) {
            m_index.emplace(pack(c.net.ip, onvifPortOf(c)), i);
            if (const int tlsPort = tls::portOf(c.deviceConfig); tlsPort > 0)
                m_index.emplace(pack(c.net.ip, tlsPort, true), i);
            ++i;
        });
    }
    const auto it = m_index.find(where);
    return it == m_index.end() ? std::nullopt : std::optional<std::size_t>(it->second);
}

std::optional<std::size_t> OnvifService::cameraAt(const std::string& ip, int port, bool secure) {
    const auto address = ipOf(ip);
    if (!address || port < 1 || port > 65535)
        return std::nullopt;
    const auto where = pack(*address, port, secure);
    for (const bool refresh : {false, true}) {
        const auto index = lookup(where, refresh);
        // The cache may be stale: a camera moves through either face.
        if (index && m_store.viewCamera(*index, [&](const Camera& c) {
                return pack(c.net.ip, secure ? tls::portOf(c.deviceConfig) : onvifPortOf(c),
                            secure) == where;
            }))
            return index;
    }
    return std::nullopt;
}

int OnvifService::port(std::size_t index) const {
    return m_store.viewCamera(index, [](const Camera& c) { return onvifPortOf(c); });
}

std::vector<int> OnvifService::ports() const {
    std::vector<int> out;
    m_store.forEach([&](const Camera& c) {
        const int port = onvifPortOf(c);
        if (std::find(out.begin(), out.end(), port) == out.end())
            out.push_back(port);
    });
    return out;
}

std::string OnvifService::deviceXAddr(std::size_t index) const {
    return m_store.viewCamera(index, [&](const Camera& c) {
        return "http://" +
               (quirks(index).unreachableXAddrs ? std::string(kUnreachable) : ipText(c.net.ip)) +
               ":" + std::to_string(onvifPortOf(c)) + "/onvif/device_service";
    });
}

void OnvifService::startReboot(std::size_t camera) {
    if (camera >= m_store.size())
        return;
    const auto until = SteadyClock::now() + m_options.rebootSilence;
    m_silentUntil[camera] = until.time_since_epoch().count();
    const std::string id =
        m_store.viewCamera(camera, [](const Camera& c) { return macText(c.mac); });
    m_tokens.forget(id);
    m_digestNonces->forget(id);
}

bool OnvifService::silent(std::size_t camera) const {
    return camera < m_store.size() &&
           SteadyClock::now().time_since_epoch().count() < m_silentUntil[camera].load();
}

bool OnvifService::applyMove(const PendingMove& move) {
    if (move.camera >= m_store.size())
        return false;
    return m_store.withCamera(move.camera, [&](Camera& c) {
        c.net.ip = move.ip;
        c.net.netmask = move.netmask;
        return true;
    }) && m_store.viewCamera(move.camera, [&](const Camera& c) { return c.net.ip == move.ip; });
}

namespace {

// The camera's time zone: the POSIX text set over ONVIF while the maker's
// zone number still is the one it was set with, otherwise the zone number
// (hours from UTC plus 12) written as POSIX.
struct Zone {
    std::string tz;
    int offset; // seconds east of UTC
};

// `date` is the maker's date section in its factory shape, `onvif` the
// camera's ONVIF settings.
Zone zoneOf(const json& date, const json& onvif) {
    const int zone = date.value("timeZone", 20);
    const auto tz = onvif.find("tz");
    const auto tzZone = onvif.find("tzZone");
    if (tz != onvif.end() && tz->is_string() && tzZone != onvif.end() &&
        tzZone->is_number_integer() && tzZone->get<int>() == zone) {
        if (const auto offset = posixTzOffset(tz->get<std::string>()))
            return {tz->get<std::string>(), *offset};
    }
    const int hours = zone - 12;
    // POSIX writes the hours to add to local time to reach UTC.
    std::string text = "UTC";
    if (hours != 0)
        text += (hours > 0 ? "-" : "+") + std::to_string(std::abs(hours));
    return {text, hours * 3600};
}

// Of a camera whose settings are in their factory shape.
Zone zoneOf(const Camera& c) {
    return zoneOf(c.deviceConfig["date"], c.onvif);
}

// Seconds since the epoch on the camera's UTC clock.
std::int64_t cameraUtc(const json& date, const json& onvif, SystemClock::time_point now) {
    const std::int64_t machine = SystemClock::to_time_t(now);
    if (date.value("useTimeServer", false))
        return machine;
    return machine + date.value("clockOffsetSeconds", std::int64_t{0}) - zoneOf(date, onvif).offset;
}

std::int64_t cameraUtc(const Camera& c, SystemClock::time_point now) {
    return cameraUtc(c.deviceConfig["date"], c.onvif, now);
}

// f(the maker's date section in its factory shape). Every UsernameToken is
// judged by the camera's clock, so this must be cheap: the shape of one
// section does not depend on the others (a missing one becomes the
// factory's), and the few distinct sections a lab holds are shaped once.
template <class F>
auto withShapedDate(const json& date, F&& f) {
    struct Shaped {
        json raw;
        json shaped;
    };
    static std::mutex lock;
    static std::vector<Shaped> known;
    static std::size_t next = 0;
    constexpr std::size_t kKnown = 64;
    std::lock_guard guard(lock);
    for (const Shaped& s : known)
        if (s.raw == date)
            return f(s.shaped);
    json config = {{"date", date}};
    api::ensureDefaults(config);
    Shaped made{date, std::move(config["date"])};
    if (known.size() < kKnown) {
        known.push_back(std::move(made));
        return f(known.back().shaped);
    }
    // A lab of many differently set clocks: the oldest goes.
    const std::size_t slot = next;
    next = (next + 1) % kKnown;
    known[slot] = std::move(made);
    return f(known[slot].shaped);
}

} // namespace

SystemClock::time_point OnvifService::cameraNow(std::size_t camera) const {
    const auto now = m_options.clock();
    const auto utc = m_store.viewCamera(camera, [&](const Camera& c) {
        // find() of a config that is no object finds nothing.
        const auto it = c.deviceConfig.find("date");
        static const json kMissing;
        return withShapedDate(it != c.deviceConfig.end() ? *it : kMissing,
                              [&](const json& date) { return cameraUtc(date, c.onvif, now); });
    });
    return SystemClock::from_time_t(static_cast<std::time_t>(utc)) +
           (now - SystemClock::from_time_t(SystemClock::to_time_t(now)));
}

SoapReply OnvifService::handle(const SoapRequest& request) {
    SoapReply reply;
    const auto camera = cameraAt(request.localIp, request.localPort, request.secure);
    if (!camera || silent(*camera) || (m_options.down && m_options.down(*camera))) {
        reply.drop = true;
        return reply;
    }
    try {
        reply = dispatch(*camera, request);
    } catch (const std::exception& e) {
        // No request may take the camera down: a fault of ours is a fault.
        std::cerr << "orvantix-camsim: ONVIF request failed: " << e.what() << '\n';
        reply = SoapReply{};
        reply.status = 500;
        reply.body =
            envelope(faultBody({"env:Receiver", "ter:Action", "", "internal failure", 500}));
    }
    const OnvifQuirks& q = quirks(*camera);
    if (q.oddPrefixes)
        reply.body = renamePrefixes(reply.body);
    reply.chunked = q.chunked;
    return reply;
}

SoapReply OnvifService::challenge(std::size_t index, bool stale, bool html) {
    SoapReply reply;
    const std::string id =
        m_store.viewCamera(index, [](const Camera& c) { return macText(c.mac); });
    reply.status = 401;
    for (const auto& value :
         digest::challenges(m_options.realm, m_digestNonces->issue(id, SteadyClock::now()), stale))
        reply.headers.emplace_back("WWW-Authenticate", value);
    if (html) {
        // What Digest-only cameras send: their web server's page, not SOAP.
        reply.contentType = "text/html";
        reply.body = "<html><body><h1>401 Unauthorized</h1></body></html>";
        return reply;
    }
    reply.body = envelope(faultBody(notAuthorized("sender not authorized")));
    return reply;
}

SoapReply OnvifService::dispatch(std::size_t index, const SoapRequest& request) {
    SoapReply reply;
    const OnvifQuirks& q = quirks(index);
    const auto fail = [&](const Fault& f) {
        reply.status = f.status;
        reply.body = envelope(faultBody(f));
        return reply;
    };
    const auto document = XmlDocument::parse(request.body);
    const Node root = document ? document->root() : nullptr;
    const bool wellFormed =
        root && (is(root, kSoap12, "Envelope") || is(root, kSoap11, "Envelope"));
    // Digest clients (curl among them) first send the request without a
    // body and wait for the challenge: that is a 401, not a fault.
    if (!wellFormed && request.authorization.empty())
        return challenge(index, false, q.digestOnly);
    if (!wellFormed)
        return fail({"env:Sender", "ter:WellFormed", "", "not a SOAP envelope", 400});
    const std::string_view soapNs = namespaceOf(root);
    const Node body = child(root, soapNs, "Body");
    const Node op = firstChild(body);
    if (!op)
        return fail({"env:Sender", "ter:WellFormed", "", "the Body holds no request", 400});
    const auto it = calls().find({namespaceOf(op), localName(op)});
    const Call* call = it == calls().end() ? nullptr : &it->second;
    const bool imagingThere = m_store.viewCamera(index, [](const Camera& c) {
        return feature(c, "imaging");
    }) && !q.noImaging;
    const bool known = call && (!call->imaging || imagingThere);

    // Who is asking. GetSystemDateAndTime and its kind answer anybody (a
    // client needs the clock before it can make a token), unless the
    // camera is one of those that ask for credentials there as well.
    const bool open = known && call->preAuth &&
                      !(q.dateNeedsAuth && call->handler == &OnvifService::getSystemDateAndTime);
    std::string id;
    std::vector<std::pair<std::string, std::string>> accounts; // name, password
    std::map<std::string, std::string> levels;
    m_store.viewCamera(index, [&](const Camera& c) {
        id = macText(c.mac);
        accounts.emplace_back(c.user, c.password);
        levels[c.user] = "Administrator";
        if (const auto users = c.onvif.find("users"); users != c.onvif.end() && users->is_array())
            for (const auto& u : *users) {
                accounts.emplace_back(u.value("name", ""), u.value("password", ""));
                levels[u.value("name", "")] = u.value("level", "User");
            }
    });
    std::string user;
    bool tokenRefused = false;
    std::string refusal;
    bool digestStale = false;
    if (!request.authorization.empty()) {
        const auto params = qvipc::wire::digestParams(request.authorization);
        const std::string name =
            params ? (params->count("username") ? params->at("username") : "") : std::string();
        for (const auto& [account, password] : accounts) {
            if (account != name || name.empty())
                continue;
            const auto verdict =
                digest::verify({request.authorization, request.method, request.target,
                                m_options.realm, account, password},
                               *m_digestNonces, id, SteadyClock::now());
            if (verdict == digest::Verdict::Accepted)
                user = account;
            digestStale = verdict == digest::Verdict::Stale;
        }
    }
    const Node header = child(root, soapNs, "Header");
    const Node security = child(header, kWsse, "Security");
    const Node tokenNode = child(security, kWsse, "UsernameToken");
    if (user.empty() && tokenNode && !q.digestOnly) {
        UsernameToken token;
        token.user = text(child(tokenNode, kWsse, "Username"));
        const Node password = child(tokenNode, kWsse, "Password");
        token.password = text(password);
        token.digest = attribute(password, "Type").value_or("").ends_with("#PasswordDigest");
        token.nonce = text(child(tokenNode, kWsse, "Nonce"));
        token.created = text(child(tokenNode, kWsu, "Created"));
        TokenRules rules;
        rules.allowReplay = q.lenient;
        tokenRefused = true;
        refusal = "unknown user";
        for (const auto& [account, pw] : accounts) {
            if (account != token.user)
                continue;
            switch (verifyToken(token, pw, id, cameraNow(index), m_tokens, rules)) {
            case TokenVerdict::Accepted:
                user = account;
                tokenRefused = false;
                break;
            case TokenVerdict::BadPassword:
                refusal = "wrong password";
                break;
            case TokenVerdict::Replayed:
                refusal = "nonce used before";
                break;
            case TokenVerdict::ClockSkew:
                refusal = "Created too far from the camera's clock";
                break;
            case TokenVerdict::Malformed:
                refusal = "malformed UsernameToken (PasswordDigest wanted)";
                break;
            }
        }
    }
    if (!open && user.empty()) {
        if (tokenRefused)
            return fail(notAuthorized("sender not authorized: " + refusal));
        // No credentials this camera takes: ask for Digest.
        return challenge(index, digestStale, q.digestOnly);
    }
    if (!known)
        return fail({"env:Receiver", "ter:ActionNotSupported", "",
                     "the camera does not offer " + std::string(localName(op)), 500});
    if (call->admin && !open && levels[user] != "Administrator")
        return fail(notAuthorized("sender not authorized: an administrator's call"));

    const auto now = m_options.clock();
    std::string answer;
    bool refused = false;
    Fault fault;
    m_store.withCamera(index, [&](Camera& c) {
        api::ensureDefaults(c.deviceConfig, c.net.httpPort);
        const Camera before = c;
        Context context{index, c, op, q, now, request.localIp, request.secure, reply};
        try {
            answer = (this->*(call->handler))(context);
        } catch (const Fault& f) {
            // Nothing of a refused call stays.
            c = before;
            refused = true;
            fault = f;
        } catch (const std::exception& e) {
            // Nor of one that failed half-way: the stored camera and its
            // state file must not part.
            c = before;
            refused = true;
            fault = {"env:Receiver", "ter:Action", "", std::string("internal failure: ") + e.what(),
                     500};
        }
    });
    if (refused)
        return fail(fault);
    reply.status = 200;
    reply.body = envelope(answer);
    return reply;
}

// ---------------------------------------------------------------- Device

std::string OnvifService::getSystemDateAndTime(Context& x) {
    const Camera& c = x.camera;
    const Zone zone = zoneOf(c);
    const std::int64_t utc = cameraUtc(c, x.now);
    const std::int64_t local = utc + zone.offset;
    const bool ntp = c.deviceConfig["date"].value("useTimeServer", false);
    const bool dst = c.onvif.value("dst", false);
    return tag(
        "tds:GetSystemDateAndTimeResponse",
        tag("tds:SystemDateAndTime",
            tag("tt:DateTimeType", ntp ? "NTP" : "Manual") +
                tag("tt:DaylightSavings", boolText(dst)) +
                tag("tt:TimeZone", tag("tt:TZ", escape(zone.tz))) +
                tag("tt:UTCDateTime", dateTime(utcParts(x.quirks.localTimeAsUtc ? local : utc))) +
                tag("tt:LocalDateTime", dateTime(utcParts(local)))));
}

std::string OnvifService::setSystemDateAndTime(Context& x) {
    Camera& c = x.camera;
    const std::string type = text(x.arg(kDevice, "DateTimeType"));
    if (type != "Manual" && type != "NTP")
        throw invalidArg("ter:InvalidDateTime", "DateTimeType must be Manual or NTP");
    const Node zoneNode = x.arg(kDevice, "TimeZone");
    json& date = c.deviceConfig["date"];
    if (zoneNode) {
        const std::string tz = text(child(zoneNode, kSchema, "TZ"));
        const auto offset = posixTzOffset(tz);
        if (tz.size() > 64 || !offset)
            throw invalidArg("ter:InvalidTimeZone", "TZ is not a POSIX time zone");
        // The maker's zone number holds whole hours from UTC-12 to UTC+12.
        if (*offset % 3600 == 0 && *offset >= -12 * 3600 && *offset <= 12 * 3600)
            date["timeZone"] = *offset / 3600 + 12;
        c.onvif["tz"] = tz;
        c.onvif["tzZone"] = date["timeZone"];
    }
    c.onvif["dst"] = text(x.arg(kDevice, "DaylightSavings")) == "true";
    if (type == "NTP") {
        date["useTimeServer"] = true;
        return tag("tds:SetSystemDateAndTimeResponse", "");
    }
    const Node utcNode = x.arg(kDevice, "UTCDateTime");
    if (!utcNode)
        throw invalidArg("ter:InvalidDateTime", "a manual time needs UTCDateTime");
    const Node d = child(utcNode, kSchema, "Date");
    const Node t = child(utcNode, kSchema, "Time");
    const auto number = [](Node n, const char* name) {
        const std::string value = text(child(n, kSchema, name));
        if (value.empty() || value.size() > 4 ||
            value.find_first_not_of("0123456789") != std::string::npos)
            throw invalidArg("ter:InvalidDateTime", std::string(name) + " is not a number");
        return std::stoi(value);
    };
    std::tm parts{};
    parts.tm_year = number(d, "Year") - 1900;
    parts.tm_mon = number(d, "Month") - 1;
    parts.tm_mday = number(d, "Day");
    parts.tm_hour = number(t, "Hour");
    parts.tm_min = number(t, "Minute");
    parts.tm_sec = number(t, "Second");
    std::tm normalised = parts;
    const std::time_t wanted = timegm(&normalised);
    if (parts.tm_year < 100 || parts.tm_year > 137 || normalised.tm_mday != parts.tm_mday ||
        normalised.tm_mon != parts.tm_mon || parts.tm_hour > 23 || parts.tm_min > 59 ||
        parts.tm_sec > 59)
        throw invalidArg("ter:InvalidDateTime", "date or time out of range (2000 to 2037)");
    // The maker's record keeps local time as an offset to the machine's clock.
    date["useTimeServer"] = false;
    date["clockOffsetSeconds"] = static_cast<std::int64_t>(wanted) + zoneOf(c).offset -
                                 static_cast<std::int64_t>(SystemClock::to_time_t(x.now));
    return tag("tds:SetSystemDateAndTimeResponse", "");
}

std::string OnvifService::getServices(Context& x) {
    const std::string base = x.base();
    const auto service = [&](std::string_view ns, const char* path, int major, int minor) {
        return tag("tds:Service",
                   tag("tds:Namespace", ns) + tag("tds:XAddr", base + path) +
                       tag("tds:Version", tag("tt:Major", major) + tag("tt:Minor", minor)));
    };
    std::string out = service(kDevice, "/onvif/device_service", 2, 60) +
                      service(kMedia, "/onvif/media_service", 2, 60);
    if (feature(x.camera, "imaging") && !x.quirks.noImaging)
        out += service(kImaging, "/onvif/imaging_service", 2, 60);
    return tag("tds:GetServicesResponse", out);
}

std::string OnvifService::getServiceCapabilities(Context& x) {
    const std::string firmware = boolText(feature(x.camera, "firmware"));
    return tag("tds:GetServiceCapabilitiesResponse",
               tag("tds:Capabilities",
                   "<tds:Network IPFilter=\"false\" ZeroConfiguration=\"false\" "
                   "IPVersion6=\"false\" DynDNS=\"true\" HostnameFromDHCP=\"false\"/>"
                   "<tds:Security TLS1.2=\"" +
                       boolText(tls::portOf(x.camera.deviceConfig) > 0) +
                       "\" UsernameToken=\"true\" HttpDigest=\"true\"/>"
                       "<tds:System DiscoveryResolve=\"false\" DiscoveryBye=\"true\" "
                       "RemoteDiscovery=\"false\" SystemBackup=\"false\" SystemLogging=\"false\" "
                       "FirmwareUpgrade=\"" +
                       firmware + "\" HttpFirmwareUpgrade=\"" + firmware + "\"/>"));
}

std::string OnvifService::getCapabilities(Context& x) {
    const std::string base = x.base();
    std::string out = tag(
        "tt:Device",
        tag("tt:XAddr", base + "/onvif/device_service") +
            tag("tt:Network", tag("tt:IPFilter", "false") + tag("tt:ZeroConfiguration", "false") +
                                  tag("tt:IPVersion6", "false") + tag("tt:DynDNS", "true")) +
            tag("tt:System",
                tag("tt:DiscoveryResolve", "false") + tag("tt:DiscoveryBye", "true") +
                    tag("tt:RemoteDiscovery", "false") + tag("tt:SystemBackup", "false") +
                    tag("tt:SystemLogging", "false") +
                    tag("tt:FirmwareUpgrade", boolText(feature(x.camera, "firmware"))) +
                    tag("tt:SupportedVersions", tag("tt:Major", 2) + tag("tt:Minor", 60))));
    if (feature(x.camera, "imaging") && !x.quirks.noImaging)
        out += tag("tt:Imaging", tag("tt:XAddr", base + "/onvif/imaging_service"));
    out += tag("tt:Media", tag("tt:XAddr", base + "/onvif/media_service") +
                               tag("tt:StreamingCapabilities", tag("tt:RTPMulticast", "false") +
                                                                   tag("tt:RTP_TCP", "true") +
                                                                   tag("tt:RTP_RTSP_TCP", "true")));
    return tag("tds:GetCapabilitiesResponse", tag("tds:Capabilities", out));
}

std::string OnvifService::getDeviceInformation(Context& x) {
    const Camera& c = x.camera;
    return tag(
        "tds:GetDeviceInformationResponse",
        tag("tds:Manufacturer", escape(c.maker.empty() ? "Orvantix" : c.maker)) +
            tag("tds:Model", escape(c.model)) + tag("tds:FirmwareVersion", escape(c.version)) +
            tag("tds:SerialNumber", macHex(c.mac)) +
            tag("tds:HardwareId", escape(c.displayModel.empty() ? c.model : c.displayModel)));
}

namespace {

std::string hostnameOf(const Camera& c) {
    const auto it = c.onvif.find("hostname");
    if (it != c.onvif.end() && it->is_string())
        return it->get<std::string>();
    return "cam-" + macHex(c.mac).substr(6);
}

} // namespace

std::string OnvifService::getHostname(Context& x) {
    return tag("tds:GetHostnameResponse",
               tag("tds:HostnameInformation",
                   tag("tt:FromDHCP", "false") + tag("tt:Name", escape(hostnameOf(x.camera)))));
}

std::string OnvifService::setHostname(Context& x) {
    const std::string name = text(x.arg(kDevice, "Name"));
    if (!validHostname(name))
        throw invalidArg("ter:InvalidHostname",
                         "a host name is 1 to 63 letters, digits and hyphens");
    x.camera.onvif["hostname"] = name;
    return tag("tds:SetHostnameResponse", "");
}

std::string OnvifService::getNetworkInterfaces(Context& x) {
    const Camera& c = x.camera;
    return tag("tds:GetNetworkInterfacesResponse",
               "<tds:NetworkInterfaces token=\"net0\">" + tag("tt:Enabled", "true") +
                   tag("tt:Info", tag("tt:Name", "net0") + tag("tt:HwAddress", macText(c.mac)) +
                                      tag("tt:MTU", 1500)) +
                   tag("tt:IPv4",
                       tag("tt:Enabled", "true") +
                           tag("tt:Config",
                               tag("tt:Manual", tag("tt:Address", ipText(c.net.ip)) +
                                                    tag("tt:PrefixLength",
                                                        prefixLength(c.net.netmask).value_or(24))) +
                                   tag("tt:DHCP", "false"))) +
                   "</tds:NetworkInterfaces>");
}

std::string OnvifService::setNetworkInterfaces(Context& x) {
    const std::string token = text(x.arg(kDevice, "InterfaceToken"));
    if (token != "net0")
        throw invalidArg("ter:InvalidNetworkInterface", "no interface " + token);
    const Node iface = x.arg(kDevice, "NetworkInterface");
    if (!iface)
        throw invalidArg("ter:InvalidNetworkInterface", "NetworkInterface missing");
    const Node ipv4 = child(iface, kSchema, "IPv4");
    if (!ipv4)
        return tag("tds:SetNetworkInterfacesResponse", tag("tds:RebootNeeded", "false"));
    if (text(child(ipv4, kSchema, "DHCP")) == "true")
        throw invalidArg("ter:InvalidNetworkInterface", "this camera has no DHCP client");
    if (text(child(ipv4, kSchema, "Enabled")) == "false")
        throw invalidArg("ter:InvalidNetworkInterface", "IPv4 cannot be switched off");
    const Node manual = child(ipv4, kSchema, "Manual");
    if (manual) {
        const auto address = ipOf(text(child(manual, kSchema, "Address")));
        const std::string prefixText = text(child(manual, kSchema, "PrefixLength"));
        const int prefix =
            prefixText.size() <= 2 &&
                    prefixText.find_first_not_of("0123456789") == std::string::npos &&
                    !prefixText.empty()
                ? std::stoi(prefixText)
                : -1;
        if (!address || prefix < 8 || prefix > 30)
            throw invalidArg("ter:InvalidIPv4Address", "address or prefix length refused");
        const std::uint32_t mask = 0xffffffffu << (32 - prefix);
        const std::uint32_t host = *address & ~mask;
        if (host == 0 || host == ~mask || (*address >> 24) == 127 || (*address >> 28) >= 14)
            throw invalidArg("ter:InvalidIPv4Address", "not a host address");
        if (*address != x.camera.net.ip || mask != x.camera.net.netmask)
            x.reply.move = PendingMove{x.index, *address, mask};
    }
    return tag("tds:SetNetworkInterfacesResponse", tag("tds:RebootNeeded", "false"));
}

std::string OnvifService::getNetworkDefaultGateway(Context& x) {
    return tag("tds:GetNetworkDefaultGatewayResponse",
               tag("tds:NetworkGateway", tag("tt:IPv4Address", ipText(x.camera.net.gateway))));
}

std::string OnvifService::setNetworkDefaultGateway(Context& x) {
    const Node first = x.arg(kDevice, "IPv4Address");
    const auto gateway = ipOf(text(first));
    if (!first || !gateway)
        throw invalidArg("ter:InvalidGatewayAddress", "IPv4Address missing or not an address");
    x.camera.net.gateway = *gateway;
    return tag("tds:SetNetworkDefaultGatewayResponse", "");
}

std::string OnvifService::getDns(Context& x) {
    const Camera& c = x.camera;
    std::string out = tag("tt:FromDHCP", boolText(c.onvif.value("dnsFromDhcp", false)));
    if (const auto d = c.onvif.find("searchDomains"); d != c.onvif.end() && d->is_array())
        for (const auto& domain : *d)
            if (domain.is_string())
                out += tag("tt:SearchDomain", escape(domain.get<std::string>()));
    out += tag("tt:DNSManual", tag("tt:Type", "IPv4") + tag("tt:IPv4Address", ipText(c.net.dns)));
    if (const auto d = c.onvif.find("dnsMore"); d != c.onvif.end() && d->is_array())
        for (const auto& server : *d)
            if (server.is_string())
                out += tag("tt:DNSManual", tag("tt:Type", "IPv4") +
                                               tag("tt:IPv4Address", server.get<std::string>()));
    return tag("tds:GetDNSResponse", tag("tds:DNSInformation", out));
}

std::string OnvifService::setDns(Context& x) {
    Camera& c = x.camera;
    const bool fromDhcp = text(x.arg(kDevice, "FromDHCP")) == "true";
    json domains = json::array();
    for (Node n = x.op->children; n; n = n->next) {
        if (localName(n) != "SearchDomain")
            continue;
        const std::string domain = text(n);
        if (domain.empty() || domain.size() > 253 || !qvipc::wire::isValidUtf8(domain))
            throw invalidArg("ter:InvalidArgVal", "search domain refused");
        domains.push_back(domain);
    }
    std::vector<std::uint32_t> servers;
    for (Node n = x.op->children; n; n = n->next) {
        if (localName(n) != "DNSManual")
            continue;
        const auto server = ipOf(text(child(n, kSchema, "IPv4Address")));
        if (!server)
            throw invalidArg("ter:InvalidIPv4Address", "DNSManual needs an IPv4Address");
        servers.push_back(*server);
    }
    if (!fromDhcp && servers.empty())
        throw invalidArg("ter:InvalidArgVal", "a DNS server is needed");
    if (servers.size() > 3)
        throw invalidArg("ter:InvalidArgVal", "at most three DNS servers");
    c.onvif["dnsFromDhcp"] = fromDhcp;
    c.onvif["searchDomains"] = domains;
    json more = json::array();
    if (!servers.empty()) {
        c.net.dns = servers.front();
        for (std::size_t i = 1; i < servers.size(); ++i)
            more.push_back(ipText(servers[i]));
    }
    c.onvif["dnsMore"] = more;
    return tag("tds:SetDNSResponse", "");
}

std::string OnvifService::getNetworkProtocols(Context& x) {
    const Camera& c = x.camera;
    const json& ports = c.deviceConfig["ports"];
    const auto protocol = [](const char* name, bool enabled, const std::vector<int>& list) {
        std::string out = tag("tt:Name", name) + tag("tt:Enabled", boolText(enabled));
        for (const int port : list)
            out += tag("tt:Port", port);
        return tag("tds:NetworkProtocols", out);
    };
    std::vector<int> http = {onvifPortOf(c)};
    // The maker's cameras serve their own API on a port of its own.
    if (c.maker.empty())
        http.push_back(c.net.httpPort);
    // One TLS port for the whole web server, the maker's API and ONVIF; a
    // camera without one names the port it would take, as cameras do.
    const int tlsPort = tls::portOf(c.deviceConfig);
    return tag("tds:GetNetworkProtocolsResponse",
               protocol("HTTP", true, http) +
                   protocol("HTTPS", tlsPort > 0, {tlsPort > 0 ? tlsPort : 443}) +
                   protocol("RTSP", true, {ports.value("rtsp1", 554)}));
}

std::string OnvifService::setNetworkProtocols(Context& x) {
    Camera& c = x.camera;
    json& ports = c.deviceConfig["ports"];
    json wanted = {{"http", c.net.httpPort},
                   {"onvif", onvifPortOf(c)},
                   {"rtsp1", ports.value("rtsp1", 554)},
                   {"rtsp2", ports.value("rtsp2", 555)},
                   {"reserved", ports.value("reserved", 0)}};
    const int tlsBefore = tls::portOf(c.deviceConfig);
    int tlsPort = tlsBefore;
    for (Node n = x.op->children; n; n = n->next) {
        if (localName(n) != "NetworkProtocols")
            continue;
        const std::string name = text(child(n, kSchema, "Name"));
        const bool enabled = text(child(n, kSchema, "Enabled")) != "false";
        std::vector<int> list;
        for (const Node p : children(n, kSchema, "Port")) {
            const std::string value = text(p);
            if (value.empty() || value.size() > 5 ||
                value.find_first_not_of("0123456789") != std::string::npos)
                throw invalidArg("ter:InvalidArgVal", "a port is a number from 1 to 65535");
            list.push_back(std::stoi(value));
        }
        if (name == "HTTPS") {
            // The camera's one TLS port, the device API's as well: switched
            // off, or moved (a camera that had none takes 443).
            if (list.size() > 1)
                throw invalidArg("ter:InvalidArgVal", "the camera has one HTTPS port");
            tlsPort = !enabled ? 0 : !list.empty() ? list[0] : tlsBefore > 0 ? tlsBefore : 443;
            continue;
        }
        if (name != "HTTP" && name != "RTSP")
            throw invalidArg("ter:ServiceNotSupported", "no protocol " + name);
        if (!enabled)
            throw invalidArg("ter:InvalidArgVal", name + " cannot be switched off");
        if (list.empty())
            continue;
        if (name == "RTSP") {
            wanted["rtsp1"] = list[0];
        } else {
            wanted["onvif"] = list[0];
            if (c.maker.empty() && list.size() > 1)
                wanted["http"] = list[1];
        }
    }
    if (!c.maker.empty()) {
        // Another maker's camera has no API of its own: its web port is its
        // ONVIF port.
        wanted["http"] = wanted["onvif"];
        if (wanted["rtsp2"] == wanted["onvif"] || wanted["rtsp2"] == wanted["rtsp1"])
            wanted["rtsp2"] = 0;
        const int rtsp1 = wanted["rtsp1"].get<int>();
        const int onvifPort = wanted["onvif"].get<int>();
        if (rtsp1 < 1 || rtsp1 > 65535 || onvifPort < 1 || onvifPort > 65535 || rtsp1 == onvifPort)
            throw invalidArg("ter:InvalidArgVal", "ports must be 1 to 65535 and differ");
        ports["onvif"] = onvifPort;
        ports["rtsp1"] = rtsp1;
        c.net.httpPort = static_cast<std::uint16_t>(onvifPort);
    } else {
        check(withApiState(c, x.localIp, [&](CameraState& s) { return api::setPorts(s, wanted); }),
              "ter:InvalidArgVal");
    }
    // One listener per port serves either plain HTTP or TLS.
    const json& now = c.deviceConfig["ports"];
    for (const int taken : {static_cast<int>(c.net.httpPort), onvifPortOf(c), now.value("rtsp1", 0),
                            now.value("rtsp2", 0)})
        if (tlsPort > 0 && tlsPort == taken)
            throw invalidArg("ter:InvalidArgVal",
                             "the HTTPS port must differ from the HTTP and RTSP ports");
    if (tlsPort != tlsBefore) {
        if (!tls::setPort(c.deviceConfig, tls::commonNameFor(macText(c.mac)), tlsPort))
            throw Fault{"env:Receiver", "ter:Action", "", "cannot make a key and certificate", 500};
        x.reply.tlsChanged = true;
    }
    x.reply.portsChanged = true;
    x.reply.announce = x.index;
    return tag("tds:SetNetworkProtocolsResponse", "");
}

std::string OnvifService::getDynamicDns(Context& x) {
    const json& ddns = x.camera.deviceConfig["ddns"];
    std::string type = ddns.value("enabled", false) ? "ClientUpdates" : "NoUpdate";
    if (x.camera.onvif.value("ddnsServerUpdates", false) && !ddns.value("enabled", false))
        type = "ServerUpdates";
    std::string out = tag("tt:Type", type);
    if (!ddns.value("host", "").empty())
        out += tag("tt:Name", escape(ddns.value("host", "")));
    if (const auto ttl = x.camera.onvif.find("ddnsTtl");
        ttl != x.camera.onvif.end() && ttl->is_string())
        out += tag("tt:TTL", escape(ttl->get<std::string>()));
    return tag("tds:GetDynamicDNSResponse", tag("tds:DynamicDNSInformation", out));
}

std::string OnvifService::setDynamicDns(Context& x) {
    Camera& c = x.camera;
    const std::string type = text(x.arg(kDevice, "Type"));
    if (type != "NoUpdate" && type != "ClientUpdates" && type != "ServerUpdates")
        throw invalidArg("ter:InvalidArgVal",
                         "Type must be NoUpdate, ClientUpdates or ServerUpdates");
    const Node nameNode = x.arg(kDevice, "Name");
    json& ddns = c.deviceConfig["ddns"];
    json request = ddns;
    request["enabled"] = type == "ClientUpdates";
    if (nameNode)
        request["host"] = text(nameNode);
    check(withApiState(c, x.localIp, [&](CameraState& s) { return api::setDdns(s, request); }),
          "ter:InvalidArgVal");
    c.onvif["ddnsServerUpdates"] = type == "ServerUpdates";
    if (const Node ttl = x.arg(kDevice, "TTL")) {
        const std::string value = text(ttl);
        if (value.size() > 32 || value.empty() || value[0] != 'P')
            throw invalidArg("ter:InvalidArgVal", "TTL is an xs:duration");
        c.onvif["ddnsTtl"] = value;
    }
    return tag("tds:SetDynamicDNSResponse", "");
}

namespace {

constexpr std::string_view kNameScope = "onvif://www.onvif.org/name/";
constexpr std::string_view kLocationScope = "onvif://www.onvif.org/location/";

std::vector<std::pair<std::string, bool>> scopesOf(const Camera& c) {
    std::vector<std::pair<std::string, bool>> out = {
        {"onvif://www.onvif.org/type/video_encoder", true},
        {"onvif://www.onvif.org/type/NetworkVideoTransmitter", true},
        {"onvif://www.onvif.org/Profile/Streaming", true},
        {"onvif://www.onvif.org/hardware/" + percentEncode(c.model), true},
        {std::string(kNameScope) + percentEncode(c.name), false},
        {std::string(kLocationScope) + percentEncode(c.onvif.value("location", "lab")), false},
    };
    if (const auto extra = c.onvif.find("scopes"); extra != c.onvif.end() && extra->is_array())
        for (const auto& s : *extra)
            if (s.is_string())
                out.emplace_back(s.get<std::string>(), false);
    return out;
}

} // namespace

std::string scopeList(const Camera& c) {
    std::string out;
    for (const auto& [scope, fixed] : scopesOf(c)) {
        if (!out.empty())
            out += ' ';
        out += scope;
    }
    return out;
}

std::string OnvifService::getScopes(Context& x) {
    std::string out;
    for (const auto& [scope, fixed] : scopesOf(x.camera))
        out += tag("tds:Scopes", tag("tt:ScopeDef", fixed ? "Fixed" : "Configurable") +
                                     tag("tt:ScopeItem", escape(scope)));
    return tag("tds:GetScopesResponse", out);
}

std::string OnvifService::setScopes(Context& x) {
    Camera& c = x.camera;
    std::optional<std::string> name;
    std::optional<std::string> location;
    json extra = json::array();
    for (Node n = x.op->children; n; n = n->next) {
        if (localName(n) != "Scopes")
            continue;
        const std::string scope = text(n);
        if (scope.empty() || scope.size() > 256 || scope.find(' ') != std::string::npos)
            throw invalidArg("ter:InvalidArgVal", "a scope is one URI");
        if (scope.rfind(kNameScope, 0) == 0)
            name = percentDecode(scope.substr(kNameScope.size()));
        else if (scope.rfind(kLocationScope, 0) == 0)
            location = percentDecode(scope.substr(kLocationScope.size()));
        else if (scope.rfind("onvif://www.onvif.org/type/", 0) == 0 ||
                 scope.rfind("onvif://www.onvif.org/hardware/", 0) == 0 ||
                 scope.rfind("onvif://www.onvif.org/Profile/", 0) == 0)
            throw invalidArg("ter:ScopeOverwrite", "fixed scopes cannot be set");
        else if (extra.size() < 16)
            extra.push_back(scope);
    }
    if (name) {
        // The same rule as the maker's API: the name of its discovery answers.
        check(withApiState(c, x.localIp,
                           [&](CameraState& s) {
                               return api::setName(s, json{{"name", *name}});
                           }),
              "ter:InvalidArgVal");
    }
    if (location) {
        if (location->empty() || location->size() > 64 || !qvipc::wire::isValidUtf8(*location))
            throw invalidArg("ter:InvalidArgVal", "location refused");
        c.onvif["location"] = *location;
    }
    c.onvif["scopes"] = extra;
    x.reply.announce = x.index;
    return tag("tds:SetScopesResponse", "");
}

std::string OnvifService::getUsers(Context& x) {
    const Camera& c = x.camera;
    std::string out =
        tag("tds:User", tag("tt:Username", escape(c.user)) + tag("tt:UserLevel", "Administrator"));
    if (const auto users = c.onvif.find("users"); users != c.onvif.end() && users->is_array())
        for (const auto& u : *users)
            out += tag("tds:User", tag("tt:Username", escape(u.value("name", ""))) +
                                       tag("tt:UserLevel", u.value("level", "User")));
    return tag("tds:GetUsersResponse", out);
}

namespace {

struct UserInput {
    std::string name;
    std::optional<std::string> password;
    std::string level;
};

std::vector<UserInput> usersOf(Node op) {
    std::vector<UserInput> out;
    for (Node n = op->children; n; n = n->next) {
        if (localName(n) != "User")
            continue;
        UserInput u;
        u.name = text(child(n, kSchema, "Username"));
        if (const Node p = child(n, kSchema, "Password"))
            u.password = text(p);
        u.level = text(child(n, kSchema, "UserLevel"));
        if (u.level != "Administrator" && u.level != "Operator" && u.level != "User")
            throw invalidArg("ter:InvalidArgVal",
                             "UserLevel must be Administrator, Operator or User");
        if (u.password && (u.password->empty() || u.password->size() > 15 ||
                           !qvipc::wire::isValidUtf8(*u.password)))
            throw invalidArg("ter:PasswordTooLong", "a password has 1 to 15 bytes");
        out.push_back(std::move(u));
    }
    if (out.empty())
        throw invalidArg("ter:InvalidArgVal", "no User given");
    return out;
}

json& usersJson(Camera& c) {
    json& users = c.onvif["users"];
    if (!users.is_array())
        users = json::array();
    return users;
}

} // namespace

std::string OnvifService::setUser(Context& x) {
    Camera& c = x.camera;
    for (const UserInput& u : usersOf(x.op)) {
        if (u.name == c.user) {
            if (u.level != "Administrator")
                throw invalidArg("ter:FixedUser", "the camera's administrator stays one");
            if (u.password)
                check(withApiState(c, x.localIp,
                                   [&](CameraState& s) {
                                       return api::setPassword(
                                           s, json{{"user", "admin"}, {"password", *u.password}});
                                   }),
                      "ter:PasswordTooLong");
            continue;
        }
        bool found = false;
        for (auto& entry : usersJson(c)) {
            if (entry.value("name", "") != u.name)
                continue;
            found = true;
            entry["level"] = u.level;
            if (u.password)
                entry["password"] = *u.password;
        }
        if (!found)
            throw invalidArg("ter:UsernameMissing", "no user " + u.name);
    }
    return tag("tds:SetUserResponse", "");
}

std::string OnvifService::createUsers(Context& x) {
    Camera& c = x.camera;
    for (const UserInput& u : usersOf(x.op)) {
        if (!validUserName(u.name))
            throw invalidArg("ter:UsernameTooLong", "a user name has 1 to 31 letters or digits");
        if (!u.password)
            throw invalidArg("ter:PasswordTooWeak", "a new user needs a password");
        if (u.name == c.user)
            throw invalidArg("ter:UsernameClash", "user " + u.name + " exists");
        json& users = usersJson(c);
        for (const auto& entry : users)
            if (entry.value("name", "") == u.name)
                throw invalidArg("ter:UsernameClash", "user " + u.name + " exists");
        if (users.size() >= 8)
            throw Fault{"env:Receiver", "ter:Action", "ter:TooManyUsers", "at most 8 more users",
                        500};
        users.push_back({{"name", u.name}, {"password", *u.password}, {"level", u.level}});
    }
    return tag("tds:CreateUsersResponse", "");
}

std::string OnvifService::deleteUsers(Context& x) {
    Camera& c = x.camera;
    bool any = false;
    for (Node n = x.op->children; n; n = n->next) {
        if (localName(n) != "Username")
            continue;
        any = true;
        const std::string name = text(n);
        if (name == c.user)
            throw invalidArg("ter:FixedUser", "the camera's administrator cannot go");
        json& users = usersJson(c);
        const auto before = users.size();
        users.erase(std::remove_if(users.begin(), users.end(),
                                   [&](const json& e) { return e.value("name", "") == name; }),
                    users.end());
        if (users.size() == before)
            throw invalidArg("ter:UsernameMissing", "no user " + name);
    }
    if (!any)
        throw invalidArg("ter:InvalidArgVal", "no Username given");
    return tag("tds:DeleteUsersResponse", "");
}

std::string OnvifService::systemReboot(Context& x) {
    withApiState(x.camera, x.localIp, [](CameraState& s) { return api::applyPendingFirmware(s); });
    x.reply.reboot = x.index;
    return tag(
        "tds:SystemRebootResponse",
        tag("tds:Message", "Rebooting in " +
                               std::to_string((m_options.rebootSilence.count() + 999) / 1000) +
                               " seconds"));
}

std::string OnvifService::setSystemFactoryDefault(Context& x) {
    Camera& c = x.camera;
    const std::string kind = text(x.arg(kDevice, "FactoryDefault"));
    if (kind != "Soft" && kind != "Hard")
        throw invalidArg("ter:InvalidArgVal", "FactoryDefault must be Soft or Hard");
    // The maker's restore: settings back, name to the factory's; the
    // network identity stays so the lab still reaches the camera.
    // Another maker's factory ports are its model's, not the maker's.
    const json ports = c.deviceConfig["ports"];
    withApiState(c, x.localIp, [](CameraState& s) {
        api::restoreFactory(s);
        return true;
    });
    if (!c.maker.empty())
        c.deviceConfig["ports"] = ports;
    x.reply.portsChanged = c.deviceConfig["ports"] != ports;
    x.reply.announce = x.index; // a new name, perhaps a new port
    json kept = json::object();
    if (c.onvif.contains("features"))
        kept["features"] = c.onvif["features"];
    // A soft reset keeps the accounts; a hard one keeps only the administrator.
    if (kind == "Soft" && c.onvif.contains("users"))
        kept["users"] = c.onvif["users"];
    c.onvif = std::move(kept);
    x.reply.reboot = x.index;
    return tag("tds:SetSystemFactoryDefaultResponse", "");
}

std::string OnvifService::startFirmwareUpgrade(Context& x) {
    if (!feature(x.camera, "firmware"))
        throw Fault{"env:Receiver", "ter:ActionNotSupported", "",
                    "this model takes no firmware over ONVIF", 500};
    char token[33] = {};
    {
        std::lock_guard guard(m_uploadLock);
        std::snprintf(token, sizeof token, "%016llx%016llx",
                      static_cast<unsigned long long>(m_random()),
                      static_cast<unsigned long long>(m_random()));
        // One open upload per camera; it is good for a minute.
        for (auto it = m_uploads.begin(); it != m_uploads.end();)
            it = it->second.first == x.index ? m_uploads.erase(it) : std::next(it);
        m_uploads[token] = {x.index, SteadyClock::now() + std::chrono::minutes(1)};
    }
    const long long down = (m_options.rebootSilence.count() + 999) / 1000;
    return tag("tds:StartFirmwareUpgradeResponse",
               tag("tds:UploadUri", x.base() + "/onvif/firmware/" + token) +
                   tag("tds:UploadDelay", "PT0S") +
                   tag("tds:ExpectedDownTime", "PT" + std::to_string(down) + "S"));
}

SoapReply OnvifService::upload(const SoapRequest& request) {
    SoapReply reply;
    reply.contentType = "text/plain";
    const auto camera = cameraAt(request.localIp, request.localPort, request.secure);
    if (!camera || silent(*camera) || (m_options.down && m_options.down(*camera))) {
        reply.drop = true;
        return reply;
    }
    static constexpr std::string_view kPrefix = "/onvif/firmware/";
    const std::string_view target = request.target;
    const std::string token(target.substr(std::min(target.size(), kPrefix.size())));
    {
        // The token stands for the administrator who asked for it: taken
        // once, by the camera it was handed out for, within its minute.
        std::lock_guard guard(m_uploadLock);
        const auto it = m_uploads.find(token);
        const bool good = target.rfind(kPrefix, 0) == 0 && it != m_uploads.end() &&
                          it->second.first == *camera && SteadyClock::now() < it->second.second;
        if (it != m_uploads.end() && it->second.first == *camera)
            m_uploads.erase(it);
        if (!good) {
            reply.status = 404;
            reply.body = "no such upload\n";
            return reply;
        }
    }
    const std::string_view image = request.body;
    const auto end = image.find('\n');
    const std::string_view head = image.substr(0, std::min<std::size_t>(end, 256));
    // "FW <model> <version>"
    const auto first = head.find(' ');
    const auto second = first == std::string_view::npos ? first : head.find(' ', first + 1);
    if (head.substr(0, 3) != "FW " || second == std::string_view::npos) {
        reply.status = 415;
        reply.body = "not a firmware image\n";
        return reply;
    }
    const std::string model(head.substr(first + 1, second - first - 1));
    std::string version(head.substr(second + 1));
    if (!version.empty() && version.back() == '\r')
        version.pop_back();
    bool accepted = false;
    m_store.withCamera(*camera, [&](Camera& c) {
        if (model != c.model) {
            reply.status = 409;
            reply.body = "image for " + model + ", camera is " + c.model + "\n";
            return;
        }
        if (version.empty() || version.size() >= 32 ||
            version.find_first_of(" \t") != std::string::npos) {
            reply.status = 415;
            reply.body = "bad version in image\n";
            return;
        }
        api::ensureDefaults(c.deviceConfig, c.net.httpPort);
        withApiState(c, request.localIp, [&](CameraState& s) {
            api::storeFirmware(s, "onvif-upload", image.size(), "", version);
            // It installs at once; the camera reboots into it.
            return api::applyPendingFirmware(s);
        });
        accepted = true;
    });
    if (accepted) {
        reply.status = 200;
        reply.body = "installed " + version + ", rebooting\n";
        reply.reboot = *camera;
    }
    return reply;
}

// ---------------------------------------------------------------- Media

namespace {

std::string encoderConfiguration(const Camera& c, const StreamRef& s, const char* element) {
    const json& stream = c.deviceConfig["streams"].at(static_cast<std::size_t>(s.record));
    const int code = stream.value("frameSize", 0);
    const Resolution r = frameSizeResolution(s.primary, code).value_or(Resolution{640, 360});
    const int codec = stream.value("codec", 0);
    const char* encoding =
        s.primary ? "H264" : kSecondaryCodecs[codec >= 0 && codec <= 2 ? codec : 0];
    std::string inner =
        tag("tt:Name", s.primary ? "MainStreamEncoder" : "SubStreamEncoder") +
        tag("tt:UseCount", 1) + tag("tt:Encoding", encoding) +
        tag("tt:Resolution", tag("tt:Width", r.width) + tag("tt:Height", r.height)) +
        tag("tt:Quality", 5) +
        tag("tt:RateControl", tag("tt:FrameRateLimit", stream.value("frameRate", 25)) +
                                  tag("tt:EncodingInterval", 1) +
                                  tag("tt:BitrateLimit", stream.value("bitRate", 512)));
    if (std::string_view(encoding) == "H264")
        inner += tag("tt:H264", tag("tt:GovLength", stream.value("iFrameInterval", 25)) +
                                    tag("tt:H264Profile", "Main"));
    else if (std::string_view(encoding) == "MPEG4")
        inner += tag("tt:MPEG4", tag("tt:GovLength", stream.value("iFrameInterval", 25)) +
                                     tag("tt:Mpeg4Profile", "SP"));
    inner += tag("tt:Multicast",
                 tag("tt:Address", tag("tt:Type", "IPv4") + tag("tt:IPv4Address", "0.0.0.0")) +
                     tag("tt:Port", 0) + tag("tt:TTL", 1) + tag("tt:AutoStart", "false")) +
             tag("tt:SessionTimeout", "PT60S");
    return "<" + std::string(element) + " token=\"VideoEncoder_" + std::to_string(s.number) +
           "\">" + inner + "</" + element + ">";
}

std::string sourceConfiguration(const char* element) {
    return "<" + std::string(element) + " token=\"VideoSourceConfig_1\">" +
           tag("tt:Name", "VideoSourceConfig") + tag("tt:UseCount", 2) +
           tag("tt:SourceToken", "VideoSource_1") +
           "<tt:Bounds x=\"0\" y=\"0\" width=\"1920\" height=\"1080\"/></" + element + ">";
}

std::string profile(const Camera& c, const StreamRef& s, const char* element) {
    return "<" + std::string(element) + " token=\"Profile_" + std::to_string(s.number) +
           "\" fixed=\"true\">" + tag("tt:Name", s.primary ? "MainStream" : "SubStream") +
           sourceConfiguration("tt:VideoSourceConfiguration") +
           encoderConfiguration(c, s, "tt:VideoEncoderConfiguration") + "</" + element + ">";
}

StreamRef profileArg(Node n, std::string_view prefix, const char* what) {
    const auto s = streamOf(text(n), prefix);
    if (!s)
        throw invalidArg(what, "no such token: " + text(n));
    return *s;
}

} // namespace

std::string OnvifService::getProfiles(Context& x) {
    return tag("trt:GetProfilesResponse", profile(x.camera, {1, true, 1}, "trt:Profiles") +
                                              profile(x.camera, {0, false, 2}, "trt:Profiles"));
}

std::string OnvifService::getProfile(Context& x) {
    const StreamRef s = profileArg(x.arg(kMedia, "ProfileToken"), "Profile_", "ter:NoProfile");
    return tag("trt:GetProfileResponse", profile(x.camera, s, "trt:Profile"));
}

std::string OnvifService::getVideoSources(Context&) {
    return tag("trt:GetVideoSourcesResponse",
               "<trt:VideoSources token=\"VideoSource_1\">" + tag("tt:Framerate", 25) +
                   tag("tt:Resolution", tag("tt:Width", 1920) + tag("tt:Height", 1080)) +
                   "</trt:VideoSources>");
}

std::string OnvifService::getVideoSourceConfigurations(Context&) {
    return tag("trt:GetVideoSourceConfigurationsResponse",
               sourceConfiguration("trt:Configurations"));
}

std::string OnvifService::getStreamUri(Context& x) {
    profileArg(x.arg(kMedia, "ProfileToken"), "Profile_", "ter:NoProfile");
    const Node setup = x.arg(kMedia, "StreamSetup");
    const Node transport = child(setup, kSchema, "Transport");
    const std::string protocol = text(child(transport, kSchema, "Protocol"));
    if (!protocol.empty() && protocol != "RTSP" && protocol != "UDP" && protocol != "TCP")
        throw invalidArg("ter:InvalidStreamSetup", "only RTSP is offered");
    const std::string stream = text(child(setup, kSchema, "Stream"));
    if (!stream.empty() && stream != "RTP-Unicast")
        throw invalidArg("ter:InvalidStreamSetup", "only RTP-Unicast is offered");
    // Every profile is served by the camera's one RTSP stream.
    const int port = x.camera.deviceConfig["ports"].value("rtsp1", 554);
    return tag("trt:GetStreamUriResponse",
               tag("trt:MediaUri",
                   tag("tt:Uri", "rtsp://" + x.host() + ":" + std::to_string(port) + "/stream1") +
                       tag("tt:InvalidAfterConnect", "false") +
                       tag("tt:InvalidAfterReboot", "false") + tag("tt:Timeout", "PT0S")));
}

std::string OnvifService::getVideoEncoderConfigurations(Context& x) {
    return tag("trt:GetVideoEncoderConfigurationsResponse",
               encoderConfiguration(x.camera, {1, true, 1}, "trt:Configurations") +
                   encoderConfiguration(x.camera, {0, false, 2}, "trt:Configurations"));
}

std::string OnvifService::getVideoEncoderConfiguration(Context& x) {
    const StreamRef s =
        profileArg(x.arg(kMedia, "ConfigurationToken"), "VideoEncoder_", "ter:NoConfig");
    return tag("trt:GetVideoEncoderConfigurationResponse",
               encoderConfiguration(x.camera, s, "trt:Configuration"));
}

std::string OnvifService::setVideoEncoderConfiguration(Context& x) {
    Camera& c = x.camera;
    const Node config = x.arg(kMedia, "Configuration");
    if (!config)
        throw invalidArg("ter:NoConfig", "Configuration missing");
    const auto s = streamOf(attribute(config, "token").value_or(""), "VideoEncoder_");
    if (!s)
        throw invalidArg("ter:NoConfig", "no such encoder configuration");
    const json& current = c.deviceConfig["streams"].at(static_cast<std::size_t>(s->record));
    json request = current;
    request["stream"] = s->record;
    const auto number = [](Node n, const char* what) {
        const std::string value = text(n);
        if (value.empty() || value.size() > 9 ||
            value.find_first_not_of("0123456789") != std::string::npos)
            throw invalidArg("ter:ConfigModify", std::string(what) + " is not a whole number");
        return std::stoi(value);
    };
    // Clients send only what they change; an absent Encoding keeps the codec.
    if (const Node e = child(config, kSchema, "Encoding")) {
        const std::string encoding = text(e);
        int codec = -1;
        for (int i = 0; i < 3; ++i)
            if (encoding == kSecondaryCodecs[i])
                codec = i;
        if (codec < 0)
            throw invalidArg("ter:ConfigModify", "Encoding must be H264, JPEG or MPEG4");
        request["codec"] = codec;
    }
    if (const Node r = child(config, kSchema, "Resolution")) {
        const auto code = frameSizeCode(s->primary, number(child(r, kSchema, "Width"), "Width"),
                                        number(child(r, kSchema, "Height"), "Height"));
        if (!code)
            throw invalidArg("ter:ConfigModify", "resolution not offered");
        request["frameSize"] = *code;
    }
    if (const Node rate = child(config, kSchema, "RateControl")) {
        if (const Node n = child(rate, kSchema, "FrameRateLimit"))
            request["frameRate"] = number(n, "FrameRateLimit");
        if (const Node n = child(rate, kSchema, "BitrateLimit"))
            request["bitRate"] = number(n, "BitrateLimit");
    }
    for (const char* codecElement : {"H264", "MPEG4"})
        if (const Node gov = child(child(config, kSchema, codecElement), kSchema, "GovLength"))
            request["iFrameInterval"] = number(gov, "GovLength");
    check(withApiState(c, x.localIp,
                       [&](CameraState& st) { return api::setStream(st, s->record, request); }),
          "ter:ConfigModify");
    return tag("trt:SetVideoEncoderConfigurationResponse", "");
}

std::string OnvifService::getVideoEncoderConfigurationOptions(Context& x) {
    // Asked by configuration or by profile; without either, the primary's.
    StreamRef s{1, true, 1};
    if (const Node n = x.arg(kMedia, "ConfigurationToken"))
        s = profileArg(n, "VideoEncoder_", "ter:NoConfig");
    else if (const Node p = x.arg(kMedia, "ProfileToken"))
        s = profileArg(p, "Profile_", "ter:NoProfile");
    const int cls = api::modelClass(x.camera.model);
    static constexpr int kFirst[] = {0, 5, 4, 2, 1, 0};
    const int first = s.primary ? kFirst[cls] : 0;
    const int last = s.primary ? 6 : 4;
    std::string sizes;
    for (int code = first; code <= last; ++code) {
        const Resolution r = *frameSizeResolution(s.primary, code);
        sizes +=
            tag("tt:ResolutionsAvailable", tag("tt:Width", r.width) + tag("tt:Height", r.height));
    }
    const auto range = [](const char* name, int low, int high) {
        return tag(name, tag("tt:Min", low) + tag("tt:Max", high));
    };
    const std::string h264 =
        sizes + range("tt:GovLengthRange", 1, 99) + range("tt:FrameRateRange", 1, 30) +
        range("tt:EncodingIntervalRange", 1, 1) + tag("tt:H264ProfilesSupported", "Main");
    std::string out = range("tt:QualityRange", 1, 10) + tag("tt:H264", h264);
    if (!s.primary)
        out += tag("tt:JPEG", sizes + range("tt:FrameRateRange", 1, 30) +
                                  range("tt:EncodingIntervalRange", 1, 1));
    out += tag("tt:Extension",
               tag("tt:H264", h264 + range("tt:BitrateRange", 32, s.primary ? 8192 : 2048)));
    return tag("trt:GetVideoEncoderConfigurationOptionsResponse", tag("trt:Options", out));
}

// ---------------------------------------------------------------- Imaging

namespace {

void videoSourceArg(Node n) {
    if (text(n) != "VideoSource_1")
        throw invalidArg("ter:NoSource", "no video source " + text(n));
}

// The longest exposure the firmware's automatic exposure may take, in
// microseconds, by the device API's code (0..4): 1/N second, steps that
// follow the mains frequency.
constexpr int kExposureSteps50[] = {5, 10, 25, 50, 100};
constexpr int kExposureSteps60[] = {5, 15, 30, 50, 100};
constexpr double kShortestExposure = 1e6 / 100;
constexpr double kLongestExposure = 1e6 / 5;

const int* exposureSteps(const json& imaging) {
    return imaging.value("powerLineFrequency", 50) == 60 ? kExposureSteps60 : kExposureSteps50;
}

double exposureMicros(const json& imaging) {
    return 1e6 / exposureSteps(imaging)[std::clamp(imaging.value("maxExposureTime", 2), 0, 4)];
}

// The code whose step is nearest to `micros`.
int exposureCode(const json& imaging, double micros) {
    const int* steps = exposureSteps(imaging);
    int best = 0;
    for (int code = 1; code < 5; ++code)
        if (std::abs(1e6 / steps[code] - micros) < std::abs(1e6 / steps[best] - micros))
            best = code;
    return best;
}

} // namespace

std::string OnvifService::getImagingSettings(Context& x) {
    videoSourceArg(x.arg(kImaging, "VideoSourceToken"));
    const json& picture = x.camera.deviceConfig["picture"];
    const json& imaging = x.camera.deviceConfig["imaging"];
    const int ir = imaging.value("irCutMode", 2);
    return tag("timg:GetImagingSettingsResponse",
               tag("timg:ImagingSettings",
                   tag("tt:Brightness", picture.value("brightness", 128)) +
                       tag("tt:ColorSaturation", picture.value("saturation", 128)) +
                       tag("tt:Contrast", picture.value("contrast", 128)) +
                       tag("tt:Exposure",
                           tag("tt:Mode", "AUTO") +
                               tag("tt:MaxExposureTime", std::lround(exposureMicros(imaging)))) +
                       tag("tt:IrCutFilter", kIrCutModes[ir >= 0 && ir <= 2 ? ir : 2])));
}

std::string OnvifService::setImagingSettings(Context& x) {
    videoSourceArg(x.arg(kImaging, "VideoSourceToken"));
    const Node settings = x.arg(kImaging, "ImagingSettings");
    if (!settings)
        throw invalidArg("ter:SettingsInvalid", "ImagingSettings missing");
    Camera& c = x.camera;
    json picture = c.deviceConfig["picture"];
    const auto value = [](Node n, const char* what) {
        const std::string t = text(n);
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        if (t.empty() || *end != '\0' || !std::isfinite(v) || v < 0 || v > 255)
            throw invalidArg("ter:SettingsInvalid", std::string(what) + " must be 0 to 255");
        return static_cast<int>(std::lround(v));
    };
    const struct {
        const char* element;
        const char* key;
    } kFields[] = {
        {"Brightness", "brightness"}, {"ColorSaturation", "saturation"}, {"Contrast", "contrast"}};
    for (const auto& f : kFields)
        if (const Node n = child(settings, kSchema, f.element))
            picture[f.key] = value(n, f.element);
    check(withApiState(c, x.localIp, [&](CameraState& s) { return api::setPicture(s, picture); }),
          "ter:SettingsInvalid");
    if (const Node ir = child(settings, kSchema, "IrCutFilter")) {
        const std::string mode = text(ir);
        int code = -1;
        for (int i = 0; i < 3; ++i)
            if (mode == kIrCutModes[i])
                code = i;
        if (code < 0)
            throw invalidArg("ter:SettingsInvalid", "IrCutFilter must be ON, OFF or AUTO");
        c.deviceConfig["imaging"]["irCutMode"] = code;
    }
    if (const Node exposure = child(settings, kSchema, "Exposure")) {
        // Only automatic exposure: its upper bound is the one setting.
        const std::string mode = text(child(exposure, kSchema, "Mode"));
        if (mode != "AUTO")
            throw invalidArg("ter:SettingsInvalid", "Exposure Mode must be AUTO");
        if (const Node longest = child(exposure, kSchema, "MaxExposureTime")) {
            const std::string t = text(longest);
            char* end = nullptr;
            const double v = std::strtod(t.c_str(), &end);
            if (t.empty() || *end != '\0' || !std::isfinite(v) || v < kShortestExposure ||
                v > kLongestExposure)
                throw invalidArg("ter:SettingsInvalid", "MaxExposureTime must be 10000 to 200000");
            json& imaging = c.deviceConfig["imaging"];
            imaging["maxExposureTime"] = exposureCode(imaging, v);
        }
    }
    return tag("timg:SetImagingSettingsResponse", "");
}

std::string OnvifService::getImagingOptions(Context& x) {
    videoSourceArg(x.arg(kImaging, "VideoSourceToken"));
    const auto range = [](const char* name) {
        return tag(name, tag("tt:Min", 0) + tag("tt:Max", 255));
    };
    return tag(
        "timg:GetOptionsResponse",
        tag("timg:ImagingOptions",
            range("tt:Brightness") + range("tt:ColorSaturation") + range("tt:Contrast") +
                tag("tt:Exposure", tag("tt:Mode", "AUTO") +
                                       tag("tt:MaxExposureTime",
                                           tag("tt:Min", std::lround(kShortestExposure)) +
                                               tag("tt:Max", std::lround(kLongestExposure)))) +
                tag("tt:IrCutFilterModes", "ON") + tag("tt:IrCutFilterModes", "OFF") +
                tag("tt:IrCutFilterModes", "AUTO")));
}

} // namespace camsim::onvif
