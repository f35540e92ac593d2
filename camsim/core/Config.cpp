#include "core/Config.h"

#include "qvsp/wire/Records.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <set>

namespace camsim {
namespace {

using nlohmann::json;
using qvsp::wire::parseIpv4;

// Every model class and every firmware family occurs in a default lab: the
// five models cover the five classes (sixth character 9; fifth 2; seventh
// 5-7 with eighth 1-3; seventh 5-7 with eighth 6; anything else) and the
// versions cover the six known families plus an unknown one.
const std::vector<ModelEntry> kDefaultModels = {
    {"QV-N3951", "Bullet 5MP"}, {"QV-N2610", ""},           {"QV-N3651", "Dome 2MP"},
    {"QV-N3476", ""},           {"QV-N3300", "Box Camera"},
};
const std::vector<std::string> kDefaultVersions = {
    "11.1.2.10", "12.0.4.3", "13.2.0.4", "14.1.1.8", "21.3.0.2", "22.0.9.1", "30.1.0.0",
};
const std::vector<std::string> kDefaultNames = {
    "Camera {n}",
    "Caméra {n}",
    "摄像机 {n}",
    "Kamera Süd {n}",
};

const std::set<std::string> kKnownKeys = {
    "interface",
    "state_file",
    "ready_file",
    "cameras",
    "addresses",
    "mac_base",
    "http_port",
    "tls_port",
    "user",
    "password",
    "names",
    "models",
    "versions",
    "answer_delay_ms",
    "answer_jitter_ms",
    "loss_rate",
    "cameras_override",
    "seed",
    "verbose",
    "reboot_silence_ms",
    "nonce_lifetime_ms",
    "control_socket",
    "onvif",
    "onvif_models",
    "onvif_quirks",
};

const std::map<std::string, bool OnvifQuirks::*> kQuirkNames = {
    {"local_time_as_utc", &OnvifQuirks::localTimeAsUtc},
    {"date_needs_auth", &OnvifQuirks::dateNeedsAuth},
    {"digest_only", &OnvifQuirks::digestOnly},
    {"odd_prefixes", &OnvifQuirks::oddPrefixes},
    {"chunked", &OnvifQuirks::chunked},
    {"no_imaging", &OnvifQuirks::noImaging},
    {"probe_spread", &OnvifQuirks::probeSpread},
    {"unreachable_xaddrs", &OnvifQuirks::unreachableXAddrs},
    {"lenient", &OnvifQuirks::lenient},
};

struct Parser {
    const json& j;
    std::string error;

    bool fail(std::string message) {
        if (error.empty())
            error = std::move(message);
        return false;
    }

    bool text(const json& obj, const char* key, std::string& out, std::size_t width = 0) {
        const auto it = obj.find(key);
        if (it == obj.end())
            return true;
        if (!it->is_string())
            return fail(std::string("\"") + key + "\" must be a text");
        out = it->get<std::string>();
        if (width && out.size() >= width)
            return fail(std::string("\"") + key + "\" is longer than " + std::to_string(width - 1) +
                        " bytes");
        return true;
    }

    bool integer(const json& obj, const char* key, long long min, long long max, long long& out) {
        const auto it = obj.find(key);
        if (it == obj.end())
            return true;
        if (!it->is_number_integer() || it->get<long long>() < min || it->get<long long>() > max)
            return fail(std::string("\"") + key + "\" must be a whole number from " +
                        std::to_string(min) + " to " + std::to_string(max));
        out = it->get<long long>();
        return true;
    }

    bool address(const json& obj, const char* key, std::uint32_t& out) {
        std::string t;
        const auto it = obj.find(key);
        if (it == obj.end())
            return true;
        if (!text(obj, key, t))
            return false;
        const auto a = parseIpv4(t);
        if (!a || t.empty())
            return fail(std::string("\"") + key + "\" is not an IPv4 address: \"" + t + "\"");
        out = *a;
        return true;
    }

    bool textList(const char* key, std::vector<std::string>& out, std::size_t width) {
        const auto it = j.find(key);
        if (it == j.end())
            return true;
        if (!it->is_array() || it->empty())
            return fail(std::string("\"") + key + "\" must be a non-empty list");
        out.clear();
        for (const auto& e : *it) {
            if (!e.is_string())
                return fail(std::string("every entry of \"") + key + "\" must be a text");
            const auto s = e.get<std::string>();
            if (s.empty() || s.size() >= width)
                return fail(std::string("entry \"") + s + "\" of \"" + key + "\" must have 1 to " +
                            std::to_string(width - 1) + " bytes");
            out.push_back(s);
        }
        return true;
    }
};

std::string nameFor(const std::string& pattern, int number) {
    std::string out = pattern;
    const auto at = out.find("{n}");
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02d", number);
    if (at != std::string::npos)
        out.replace(at, 3, digits);
    return out;
}

} // namespace

std::string parseOnvifQuirks(const json& list, OnvifQuirks& out) {
    if (!list.is_array())
        return "must be a list of quirk names";
    for (const auto& name : list) {
        const auto it =
            name.is_string() ? kQuirkNames.find(name.get<std::string>()) : kQuirkNames.end();
        if (it == kQuirkNames.end())
            return "unknown quirk " + name.dump();
        out.*(it->second) = true;
    }
    return {};
}

int SimConfig::totalCameras() const {
    int total = cameras;
    for (const auto& m : onvifModels)
        total += m.count;
    return total;
}

ConfigResult parseConfig(const json& j) {
    ConfigResult result;
    if (!j.is_object()) {
        result.error = "the configuration must be a JSON object";
        return result;
    }
    for (const auto& [key, value] : j.items()) {
        if (!kKnownKeys.count(key)) {
            result.error = "unknown setting \"" + key + "\"";
            return result;
        }
    }
    SimConfig c;
    c.names = kDefaultNames;
    c.models = kDefaultModels;
    c.versions = kDefaultVersions;
    Parser p{j, {}};
    long long cameras = c.cameras;
    long long port = c.httpPort;
    long long tlsPort = c.tlsPort;
    long long delay = 0;
    long long jitter = 0;
    long long seed = static_cast<long long>(c.seed);
    long long rebootSilence = c.rebootSilence.count();
    long long nonceLifetime = c.nonceLifetime.count();
    p.text(j, "interface", c.interfaceName);
    p.text(j, "state_file", c.stateFile);
    p.text(j, "ready_file", c.readyFile);
    p.text(j, "control_socket", c.controlSocket);
    p.integer(j, "reboot_silence_ms", 0, 600'000, rebootSilence);
    p.integer(j, "nonce_lifetime_ms", 100, 24LL * 3600 * 1000, nonceLifetime);
    p.integer(j, "cameras", 1, kMaxCameras, cameras);
    p.integer(j, "http_port", 1, 65535, port);
    p.integer(j, "tls_port", 0, 65535, tlsPort);
    p.text(j, "user", c.user, qvsp::wire::kUserWidth);
    p.text(j, "password", c.password, 16);
    p.integer(j, "answer_delay_ms", 0, 60'000, delay);
    p.integer(j, "answer_jitter_ms", 0, 60'000, jitter);
    p.integer(j, "seed", 0, std::numeric_limits<long long>::max(), seed);
    if (const auto v = j.find("verbose"); v != j.end()) {
        if (!v->is_boolean())
            p.fail("\"verbose\" must be true or false");
        else
            c.verbose = v->get<bool>();
    }
    if (const auto it = j.find("mac_base"); it != j.end()) {
        std::string t;
        p.text(j, "mac_base", t);
        const auto mac = parseMac(t);
        if (!mac)
            p.fail("\"mac_base\" is not a MAC address: \"" + t + "\"");
        else if ((*mac)[0] & 1)
            p.fail("\"mac_base\" is a group address; cameras need unicast MACs");
        else
            c.macBase = *mac;
    }
    if (const auto it = j.find("addresses"); it != j.end()) {
        if (!it->is_object()) {
            p.fail("\"addresses\" must be an object");
        } else {
            for (const auto& [key, value] : it->items()) {
                static const std::set<std::string> known = {"first",   "last", "netmask",
                                                            "gateway", "dns",  "share"};
                if (!known.count(key))
                    p.fail("unknown setting \"addresses." + key + "\"");
            }
            p.address(*it, "first", c.firstIp);
            p.address(*it, "last", c.lastIp);
            p.address(*it, "netmask", c.netmask);
            p.address(*it, "gateway", c.gateway);
            p.address(*it, "dns", c.dns);
            if (const auto s = it->find("share"); s != it->end()) {
                if (!s->is_boolean())
                    p.fail("\"addresses.share\" must be true or false");
                else
                    c.shareAddresses = s->get<bool>();
            }
        }
    }
    if (const auto it = j.find("loss_rate"); it != j.end()) {
        if (!it->is_number() || it->get<double>() < 0.0 || it->get<double>() >= 1.0)
            p.fail("\"loss_rate\" must be a number from 0 up to (not including) 1");
        else
            c.lossRate = it->get<double>();
    }
    p.textList("names", c.names, qvsp::wire::kNameWidth - 4);
    p.textList("versions", c.versions, qvsp::wire::kVersionWidth);
    if (const auto it = j.find("models"); it != j.end()) {
        if (!it->is_array() || it->empty()) {
            p.fail("\"models\" must be a non-empty list");
        } else {
            c.models.clear();
            for (const auto& e : *it) {
                ModelEntry m;
                if (e.is_string()) {
                    m.model = e.get<std::string>();
                } else if (e.is_object()) {
                    p.text(e, "model", m.model, qvsp::wire::kModelWidth);
                    p.text(e, "display_model", m.displayModel, qvsp::wire::kDisplayModelWidth);
                } else {
                    p.fail("every entry of \"models\" must be a text or an object");
                }
                if (m.model.empty() || m.model.size() >= qvsp::wire::kModelWidth)
                    p.fail("every model must have 1 to 31 bytes");
                c.models.push_back(m);
            }
        }
    }
    c.cameras = static_cast<int>(cameras);
    c.httpPort = static_cast<std::uint16_t>(port);
    c.tlsPort = static_cast<std::uint16_t>(tlsPort);
    c.answerDelay = std::chrono::milliseconds(delay);
    c.answerJitter = std::chrono::milliseconds(jitter);
    c.seed = static_cast<std::uint64_t>(seed);
    c.rebootSilence = std::chrono::milliseconds(rebootSilence);
    c.nonceLifetime = std::chrono::milliseconds(nonceLifetime);

    if (const auto v = j.find("onvif"); v != j.end()) {
        if (!v->is_boolean())
            p.fail("\"onvif\" must be true or false");
        else
            c.onvif = v->get<bool>();
    }
    if (const auto q = j.find("onvif_quirks"); q != j.end()) {
        if (const auto e = parseOnvifQuirks(*q, c.onvifQuirks); !e.empty())
            p.fail("\"onvif_quirks\" " + e);
    }
    if (const auto it = j.find("onvif_models"); it != j.end()) {
        if (!it->is_array()) {
            p.fail("\"onvif_models\" must be a list");
        } else {
            for (const auto& e : *it) {
                static const std::set<std::string> known = {
                    "maker",      "model",    "count",   "mac_base",        "versions",
                    "onvif_port", "tls_port", "imaging", "firmware_upgrade"};
                if (!e.is_object()) {
                    p.fail("every entry of \"onvif_models\" must be an object");
                    continue;
                }
                for (const auto& [key, value] : e.items())
                    if (!known.count(key))
                        p.fail("unknown setting \"onvif_models." + key + "\"");
                OnvifModel m;
                long long count = 1;
                long long onvifPort = 8080;
                long long modelTls = 443;
                p.text(e, "maker", m.maker, 64);
                p.text(e, "model", m.model, qvsp::wire::kModelWidth);
                p.integer(e, "count", 1, kMaxCameras, count);
                p.integer(e, "onvif_port", 1, 65535, onvifPort);
                p.integer(e, "tls_port", 0, 65535, modelTls);
                if (m.maker.empty() || m.model.empty())
                    p.fail("every entry of \"onvif_models\" needs a \"maker\" and a \"model\"");
                std::string mac;
                p.text(e, "mac_base", mac);
                const auto parsed = parseMac(mac);
                if (!parsed || ((*parsed)[0] & 1))
                    p.fail("\"onvif_models\": \"mac_base\" must be a unicast MAC address");
                else
                    m.macBase = *parsed;
                if (const auto v = e.find("versions"); v != e.end() && v->is_array())
                    for (const auto& version : *v)
                        if (version.is_string() && !version.get<std::string>().empty() &&
                            version.get<std::string>().size() < qvsp::wire::kVersionWidth)
                            m.versions.push_back(version.get<std::string>());
                if (m.versions.empty())
                    p.fail("\"onvif_models\": \"versions\" must list firmware versions");
                for (const char* flag : {"imaging", "firmware_upgrade"}) {
                    if (const auto v = e.find(flag); v != e.end()) {
                        if (!v->is_boolean())
                            p.fail(std::string("\"onvif_models.") + flag +
                                   "\" must be true or false");
                        else
                            (flag[0] == 'i' ? m.imaging : m.firmwareUpgrade) = v->get<bool>();
                    }
                }
                m.count = static_cast<int>(count);
                m.onvifPort = static_cast<std::uint16_t>(onvifPort);
                m.tlsPort = static_cast<std::uint16_t>(modelTls);
                c.onvifModels.push_back(m);
            }
        }
    }
    // The ONVIF server and the device API each listen on their ports on all
    // addresses of the interface: one port cannot be both.
    for (const OnvifModel& m : c.onvifModels)
        if (m.onvifPort == port)
            p.fail("\"onvif_models\": \"onvif_port\" " + std::to_string(m.onvifPort) +
                   " is the maker's cameras' HTTP port");
    // Nor can a port be plain HTTP for some cameras and TLS for others.
    std::set<long long> plainPorts = {port};
    for (const OnvifModel& m : c.onvifModels)
        plainPorts.insert(m.onvifPort);
    std::set<long long> tlsPorts;
    if (tlsPort > 0)
        tlsPorts.insert(tlsPort);
    for (const OnvifModel& m : c.onvifModels)
        if (m.tlsPort > 0)
            tlsPorts.insert(m.tlsPort);
    for (const long long tls : tlsPorts)
        if (plainPorts.count(tls))
            p.fail("port " + std::to_string(tls) +
                   " is a TLS port (\"tls_port\") and an HTTP port (\"http_port\", "
                   "\"onvif_port\") at once");
    const int total = c.totalCameras();
    if (total > kMaxCameras)
        p.fail("more than " + std::to_string(kMaxCameras) + " cameras in all");

    if (const auto it = j.find("cameras_override"); it != j.end()) {
        if (!it->is_object()) {
            p.fail("\"cameras_override\" must map camera numbers to settings");
        } else {
            for (const auto& [key, value] : it->items()) {
                int number = 0;
                try {
                    std::size_t used = 0;
                    number = std::stoi(key, &used);
                    if (used != key.size())
                        number = 0;
                } catch (const std::exception&) {
                    number = 0;
                }
                if (number < 1 || number > total) {
                    p.fail("\"cameras_override\": \"" + key +
                           "\" is not a camera number from 1 to " + std::to_string(total));
                    continue;
                }
                if (!value.is_object()) {
                    p.fail("\"cameras_override\": camera " + key + " must have an object");
                    continue;
                }
                for (const auto& [k, v] : value.items()) {
                    if (k != "answer_delay_ms" && k != "silent_after_ms" && k != "password" &&
                        k != "faults" && k != "http_port" && k != "tls_port" && k != "onvif_quirks")
                        p.fail("unknown setting \"cameras_override." + key + "." + k + "\"");
                }
                Behaviour b;
                long long d = -1;
                long long silent = -1;
                p.integer(value, "answer_delay_ms", 0, 60'000, d);
                p.integer(value, "silent_after_ms", 0, 24LL * 3600 * 1000, silent);
                b.answerDelay = std::chrono::milliseconds(d < 0 ? delay : d);
                if (silent >= 0)
                    b.silentAfter = std::chrono::milliseconds(silent);
                if (value.contains("password")) {
                    std::string password;
                    if (p.text(value, "password", password, 16) && password.empty())
                        p.fail("\"cameras_override." + key + ".password\" must not be empty");
                    b.password = password;
                }
                if (const auto f = value.find("faults"); f != value.end())
                    b.faults = *f;
                long long ownPort = 0;
                p.integer(value, "http_port", 1, 65535, ownPort);
                if (ownPort > 0)
                    b.httpPort = static_cast<std::uint16_t>(ownPort);
                long long ownTls = -1;
                p.integer(value, "tls_port", 0, 65535, ownTls);
                if (ownTls >= 0)
                    b.tlsPort = static_cast<std::uint16_t>(ownTls);
                b.onvif = c.onvifQuirks;
                if (const auto q = value.find("onvif_quirks"); q != value.end())
                    if (const auto e = parseOnvifQuirks(*q, b.onvif); !e.empty())
                        p.fail("\"cameras_override." + key + ".onvif_quirks\" " + e);
                c.overrides[number] = b;
            }
        }
    }

    if (p.error.empty()) {
        if (c.interfaceName.empty())
            p.fail("no interface given (--interface or \"interface\")");
        else if (c.stateFile.empty())
            p.fail("no state file given (--state or \"state_file\")");
        else if (c.firstIp > c.lastIp)
            p.fail("the address range is empty: first address after last");
        else if (!prefixLength(c.netmask))
            p.fail("\"addresses.netmask\" is not a contiguous netmask");
        else if (!c.shareAddresses &&
                 std::uint64_t{c.lastIp} - c.firstIp + 1 < static_cast<std::uint64_t>(total))
            p.fail("the address range holds " + std::to_string(c.lastIp - c.firstIp + 1) +
                   " addresses for " + std::to_string(total) +
                   " cameras (set \"addresses.share\" to let cameras share addresses)");
    }
    const std::uint32_t macLow =
        std::uint32_t{c.macBase[3]} << 16 | std::uint32_t{c.macBase[4]} << 8 | c.macBase[5];
    if (p.error.empty() && macLow + static_cast<std::uint32_t>(c.cameras) > 0xffffff)
        p.fail("\"mac_base\" leaves no room for " + std::to_string(c.cameras) + " cameras");
    if (!p.error.empty()) {
        result.error = p.error;
        return result;
    }
    result.config = std::move(c);
    return result;
}

std::string applyArguments(int argc, const char* const* argv, json& j, std::string& configPath) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--verbose") {
            j["verbose"] = true;
            continue;
        }
        static const std::map<std::string, std::string> textOptions = {
            {"--interface", "interface"},
            {"--state", "state_file"},
            {"--ready-file", "ready_file"},
            {"--control-socket", "control_socket"}};
        const char* v = nullptr;
        if (arg == "--config") {
            if (!(v = value()))
                return "--config needs a file name";
            configPath = v;
        } else if (const auto it = textOptions.find(arg); it != textOptions.end()) {
            if (!(v = value()))
                return arg + " needs a value";
            j[it->second] = v;
        } else if (arg == "--cameras" || arg == "--reboot-silence-ms") {
            if (!(v = value()))
                return arg + " needs a number";
            char* end = nullptr;
            const long n = std::strtol(v, &end, 10);
            if (*v == '\0' || *end != '\0')
                return arg + " needs a number, not \"" + v + "\"";
            j[arg == "--cameras" ? "cameras" : "reboot_silence_ms"] = n;
        } else if (arg == "--first-ip" || arg == "--last-ip") {
            if (!(v = value()))
                return arg + " needs an address";
            j["addresses"][arg == "--first-ip" ? "first" : "last"] = v;
        } else {
            return "unknown option \"" + arg + "\"";
        }
    }
    return {};
}

std::vector<Camera> makeCameras(const SimConfig& config) {
    std::vector<Camera> out;
    const std::uint32_t span = config.lastIp - config.firstIp + 1;
    std::uint32_t macLow = std::uint32_t{config.macBase[3]} << 16 |
                           std::uint32_t{config.macBase[4]} << 8 | config.macBase[5];
    for (int i = 0; i < config.cameras; ++i) {
        Camera c;
        c.mac = config.macBase;
        const std::uint32_t low = macLow + static_cast<std::uint32_t>(i) + 1;
        c.mac[3] = static_cast<std::uint8_t>(low >> 16);
        c.mac[4] = static_cast<std::uint8_t>(low >> 8);
        c.mac[5] = static_cast<std::uint8_t>(low);
        c.name = nameFor(config.names[static_cast<std::size_t>(i) % config.names.size()], i + 1);
        c.net.ip = config.firstIp + static_cast<std::uint32_t>(i) % span;
        c.net.netmask = config.netmask;
        c.net.gateway = config.gateway;
        c.net.dns = config.dns;
        const auto own = config.overrides.find(i + 1);
        const bool overridden = own != config.overrides.end();
        c.net.httpPort =
            overridden && own->second.httpPort ? *own->second.httpPort : config.httpPort;
        const auto& m = config.models[static_cast<std::size_t>(i) % config.models.size()];
        c.model = m.model;
        c.displayModel = m.displayModel;
        c.version = config.versions[static_cast<std::size_t>(i) % config.versions.size()];
        c.user = config.user;
        c.password = overridden && own->second.password ? *own->second.password : config.password;
        // The key and certificate come with the device API (TlsIdentity.h).
        c.deviceConfig["tls"] = {
            {"port", overridden && own->second.tlsPort ? *own->second.tlsPort : config.tlsPort}};
        out.push_back(std::move(c));
    }
    // The other makers' cameras take the next addresses; their web port is
    // their ONVIF port, and nothing of the maker's own protocols.
    int n = config.cameras;
    for (const OnvifModel& m : config.onvifModels) {
        const std::uint32_t base =
            std::uint32_t{m.macBase[3]} << 16 | std::uint32_t{m.macBase[4]} << 8 | m.macBase[5];
        for (int k = 0; k < m.count; ++k, ++n) {
            const auto own = config.overrides.find(n + 1);
            const bool overridden = own != config.overrides.end();
            Camera c;
            c.mac = m.macBase;
            const std::uint32_t low = (base + static_cast<std::uint32_t>(k) + 1) & 0xffffff;
            c.mac[3] = static_cast<std::uint8_t>(low >> 16);
            c.mac[4] = static_cast<std::uint8_t>(low >> 8);
            c.mac[5] = static_cast<std::uint8_t>(low);
            c.maker = m.maker;
            c.model = m.model;
            c.version = m.versions[static_cast<std::size_t>(k) % m.versions.size()];
            c.name = m.model + "-" + std::to_string(k + 1);
            c.net.ip = config.firstIp + static_cast<std::uint32_t>(n) % span;
            c.net.netmask = config.netmask;
            c.net.gateway = config.gateway;
            c.net.dns = config.dns;
            c.net.httpPort = m.onvifPort;
            c.user = "admin";
            c.password =
                overridden && own->second.password ? *own->second.password : config.password;
            c.deviceConfig = {
                {"ports",
                 {{"onvif", m.onvifPort},
                  {"rtsp1", m.onvifPort == 554 ? 8554 : 554},
                  {"rtsp2", m.onvifPort == 555 ? 8555 : 555},
                  {"reserved", 0}}},
                // The key and certificate come at the first start (TlsIdentity.h).
                {"tls",
                 {{"port", overridden && own->second.tlsPort ? *own->second.tlsPort : m.tlsPort}}}};
            c.onvif = {{"features", {{"imaging", m.imaging}, {"firmware", m.firmwareUpgrade}}}};
            out.push_back(std::move(c));
        }
    }
    return out;
}

std::vector<Behaviour> makeBehaviours(const SimConfig& config, std::size_t cameraCount) {
    std::vector<Behaviour> out(cameraCount);
    for (std::size_t i = 0; i < cameraCount; ++i) {
        out[i].answerDelay = config.answerDelay;
        out[i].onvif = config.onvifQuirks;
        if (const auto it = config.overrides.find(static_cast<int>(i) + 1);
            it != config.overrides.end())
            out[i] = it->second;
    }
    return out;
}

} // namespace camsim
