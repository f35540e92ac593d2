#include "camsim/httpapi/CameraConfig.h"

#include "qvipcsdk/wire/Utf8.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <limits>
#include <vector>

namespace camsim::api {

using nlohmann::json;

namespace {

bool validUtf8(std::string_view text) {
    return qvipc::wire::isValidUtf8(text);
}

bool hasControl(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

// Reads an integer member within [low, high]; false for a missing member,
// another type or a value out of range.
bool intIn(const json& request, const char* key, std::int64_t low, std::int64_t high,
           std::int64_t& out) {
    const auto it = request.find(key);
    if (it == request.end() || !it->is_number_integer()) {
        return false;
    }
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(high)) {
            return false;
        }
        out = static_cast<std::int64_t>(value);
    } else {
        out = it->get<std::int64_t>();
    }
    return out >= low && out <= high;
}

bool boolOf(const json& request, const char* key, bool& out) {
    const auto it = request.find(key);
    if (it == request.end() || !it->is_boolean()) {
        return false;
    }
    out = it->get<bool>();
    return true;
}

bool textOf(const json& request, const char* key, std::size_t maxBytes, std::string& out) {
    const auto it = request.find(key);
    if (it == request.end() || !it->is_string()) {
        return false;
    }
    out = it->get<std::string>();
    return out.size() <= maxBytes && !hasControl(out);
}

bool parseNumbers(std::string_view text, char separator, int (&out)[3], std::size_t firstWidth) {
    const std::size_t widths[3] = {firstWidth, 2, 2};
    std::size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != separator) {
                return false;
            }
            ++pos;
        }
        int value = 0;
        for (std::size_t k = 0; k < widths[i]; ++k, ++pos) {
            if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') {
                return false;
            }
            value = value * 10 + (text[pos] - '0');
        }
        out[i] = value;
    }
    return pos == text.size();
}

std::string two(int value) {
    char buffer[16] = {};
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

json& section(CameraState& camera, const char* name) {
    ensureDefaults(camera.config, camera.identity.httpPort);
    return camera.config[name];
}

const json& section(const CameraState& camera, const char* name) {
    // Const reads of a camera that never saw a write still find defaults.
    ensureDefaults(camera.config, camera.identity.httpPort);
    return camera.config[name];
}

// Frame-size codes offered by each model class start at this code.
int firstFrameSize(int modelClassValue) {
    static constexpr int kFirst[] = {0, 5, 4, 2, 1, 0};
    return kFirst[modelClassValue];
}

} // namespace

Outcome error(int status, std::string text) {
    Outcome outcome;
    outcome.status = status;
    outcome.body = json{{"error", std::move(text)}};
    return outcome;
}

// The camera's own copy of its model family's rule, written apart from the
// tool's: shared code would let a fault in the tool's rule pass every lab
// test, since the simulated camera would agree with it.
int modelClass(std::string_view model) {
    // The fifth to the eighth character of the model name tell the family;
    // a short name has none there.
    std::array<char, 8> name{};
    model.copy(name.data(), std::min(model.size(), name.size()));
    const auto oneOf = [](char c, std::string_view set) {
        return set.find(c) != std::string_view::npos;
    };
    if (name[5] == '9') {
        return 1;
    }
    if (name[4] == '2') {
        return 2;
    }
    if (oneOf(name[6], "567") && oneOf(name[7], "1236")) {
        return name[7] == '6' ? 4 : 3;
    }
    return 5;
}

json factoryPorts(int httpPort) {
    const int rtsp = httpPort == 80 ? 554 : 20000 + 2 * (httpPort % 20000);
    int wanted[] = {8000, rtsp, rtsp + 1};
    std::vector<int> taken = {httpPort};
    for (int& port : wanted) {
        while (std::find(taken.begin(), taken.end(), port) != taken.end()) {
            port = port % 65535 + 1;
        }
        taken.push_back(port);
    }
    return {{"onvif", wanted[0]}, {"rtsp1", wanted[1]}, {"rtsp2", wanted[2]}, {"reserved", 0}};
}

json factoryConfig(int httpPort) {
    json config;
    config["date"] = {{"useTimeServer", false},
                      {"timeServer", kFactoryTimeServer},
                      {"timeZone", 20},
                      {"clockOffsetSeconds", 0}};
    config["ports"] = factoryPorts(httpPort);
    config["ddns"] = {{"enabled", false}, {"provider", ""}, {"user", ""},
                      {"password", ""},   {"hash", ""},     {"host", ""}};
    config["streams"] = json::array({json{{"enabled", false},
                                          {"codec", 0},
                                          {"frameSize", 0},
                                          {"frameRate", 25},
                                          {"bitRate", 512},
                                          {"bitRateControl", 1},
                                          {"iFrameInterval", 30},
                                          {"deviceTag", 0x51A70000}},
                                     json{{"enabled", true},
                                          {"codec", 0},
                                          {"frameSize", 5},
                                          {"frameRate", 25},
                                          {"bitRate", 4096},
                                          {"bitRateControl", 1},
                                          {"iFrameInterval", 20},
                                          {"deviceTag", 0x51A70001}}});
    config["imaging"] = {{"powerLineFrequency", 50},
                         {"irCutMode", 2},
                         {"localDisplay", 0},
                         {"outdoorMode", 0},
                         {"exposureLevel", 5},
                         {"maxExposureTime", 2},
                         {"deviceData", "0a1b2c3d4e5f60718293a4b5c6d7e8"}};
    config["picture"] = {{"brightness", 128}, {"contrast", 128}, {"saturation", 128}};
    config["firmware"] = {
        {"name", ""}, {"size", 0}, {"md5", ""}, {"pendingVersion", ""}, {"installed", 0}};
    config["oem"] = {{"info", json::object()}, {"infoText", ""}, {"images", json::array()}};
    return config;
}

namespace {

// The value a shape stands for when nothing is there: lists start empty.
json emptyOf(const json& shape) {
    if (shape.is_array() && shape.size() == 1) {
        return json::array();
    }
    if (shape.is_object()) {
        json out = json::object();
        for (const auto& [key, value] : shape.items()) {
            out[key] = emptyOf(value);
        }
        return out;
    }
    return shape;
}

// Brings value into the shape of the factory value: keys the factory does
// not have go, missing ones and values of another kind take the factory's.
// An empty object stands for a map of texts (the OEM information), an array
// of one element for a list of such elements.
void conform(json& value, const json& shape) {
    if (shape.is_object()) {
        if (!value.is_object()) {
            value = emptyOf(shape);
            return;
        }
        for (auto it = value.begin(); it != value.end();) {
            const auto known = shape.find(it.key());
            if (shape.empty() ? !it->is_string() : known == shape.end()) {
                it = value.erase(it);
                continue;
            }
            if (!shape.empty()) {
                conform(*it, *known);
            }
            ++it;
        }
        for (const auto& [key, fallback] : shape.items()) {
            if (!value.contains(key)) {
                value[key] = emptyOf(fallback);
            }
        }
    } else if (shape.is_array()) {
        if (!value.is_array() || (shape.size() > 1 && value.size() != shape.size())) {
            value = shape.size() > 1 ? shape : json::array();
            return;
        }
        for (std::size_t i = 0; i < value.size(); ++i) {
            conform(value[i], shape[shape.size() > 1 ? i : 0]);
        }
    } else if (value.type() != shape.type() &&
               !(value.is_number_integer() && shape.is_number_integer())) {
        // Every number of the API is whole: a fraction (or 1e300) is not
        // one, and would not even convert.
        value = shape;
    }
}

} // namespace

void ensureDefaults(json& config, int httpPort) {
    static const json shape = [] {
        json factory = factoryConfig();
        factory["oem"]["images"] = json::array({{{"name", ""}, {"size", 0}, {"md5", ""}}});
        return factory;
    }();
    const bool portsKnown = config.is_object() && config.contains("ports");
    // The TLS identity is no factory setting: a camera has one or not (see
    // TlsIdentity.h), and it is kept in shape as it is.
    json tls = config.is_object() && config.contains("tls") ? config["tls"] : json();
    conform(config, shape);
    if (!portsKnown) {
        config["ports"] = factoryPorts(httpPort);
    }
    if (!tls.is_null()) {
        static const json tlsShape = {{"port", 0}, {"key", ""}, {"cert", ""}};
        conform(tls, tlsShape);
        config["tls"] = std::move(tls);
    }
}

void restoreFactory(CameraState& camera) {
    json factory = factoryConfig(camera.identity.httpPort);
    ensureDefaults(camera.config, camera.identity.httpPort);
    for (const char* kept : {"firmware", "oem"}) {
        factory[kept] = camera.config[kept];
    }
    // A camera keeps its certificate and key through a restore.
    if (camera.config.contains("tls")) {
        factory["tls"] = camera.config["tls"];
    }
    camera.config = std::move(factory);
    camera.identity.deviceName = kFactoryDeviceName;
}

Outcome deviceInfo(const CameraState& camera) {
    Outcome outcome;
    outcome.body = {{"model", camera.identity.model},
                    {"version", camera.identity.version},
                    {"deviceName", camera.identity.deviceName}};
    return outcome;
}

Outcome getDate(const CameraState& camera, Clock::time_point now) {
    const json& date = section(camera, "date");
    const bool ntp = date.value("useTimeServer", false);
    const int zone = date.value("timeZone", 20);
    // The camera keeps UTC plus an offset: its zone when it follows a time
    // server, whatever was set by hand otherwise.
    const std::int64_t offset =
        ntp ? static_cast<std::int64_t>(zone - 12) * 3600 : date.value("clockOffsetSeconds", 0LL);
    const std::time_t local =
        static_cast<std::time_t>(Clock::to_time_t(now) + static_cast<std::time_t>(offset));
    std::tm parts{};
    gmtime_r(&local, &parts);
    Outcome outcome;
    outcome.body = {
        {"useTimeServer", ntp},
        {"date", std::to_string(parts.tm_year + 1900) + "-" + two(parts.tm_mon + 1) + "-" +
                     two(parts.tm_mday)},
        {"time", two(parts.tm_hour) + ":" + two(parts.tm_min) + ":" + two(parts.tm_sec)},
        {"timeServer", date.value("timeServer", "")},
        {"timeZone", zone}};
    return outcome;
}

Outcome setDate(CameraState& camera, const json& request, Clock::time_point now) {
    bool ntp = false;
    if (!boolOf(request, "useTimeServer", ntp)) {
        return error(400, "useTimeServer missing");
    }
    json& date = section(camera, "date");
    if (ntp) {
        std::string server;
        std::int64_t zone = 0;
        if (!textOf(request, "timeServer", 31, server) || server.empty()) {
            return error(400, "timeServer must be 1 to 31 bytes");
        }
        if (!intIn(request, "timeZone", 0, 24, zone)) {
            return error(400, "timeZone must be 0 to 24");
        }
        date["useTimeServer"] = true;
        date["timeServer"] = server;
        date["timeZone"] = zone;
        return {};
    }
    std::string dateText;
    std::string timeText;
    int d[3] = {};
    int t[3] = {};
    if (!textOf(request, "date", 10, dateText) || !parseNumbers(dateText, '-', d, 4)) {
        return error(400, "date must be YYYY-MM-DD");
    }
    if (!textOf(request, "time", 8, timeText) || !parseNumbers(timeText, ':', t, 2)) {
        return error(400, "time must be HH:MM:SS");
    }
    std::tm parts{};
    parts.tm_year = d[0] - 1900;
    parts.tm_mon = d[1] - 1;
    parts.tm_mday = d[2];
    parts.tm_hour = t[0];
    parts.tm_min = t[1];
    parts.tm_sec = t[2];
    std::tm check = parts;
    const std::time_t wanted = timegm(&check);
    // timegm normalises 31 April into 1 May; a changed field means a bad date.
    if (d[0] < 2000 || d[0] > 2037 || check.tm_mday != d[2] || check.tm_mon != d[1] - 1 ||
        t[0] > 23 || t[1] > 59 || t[2] > 59) {
        return error(400, "date or time out of range");
    }
    date["useTimeServer"] = false;
    date["clockOffsetSeconds"] =
        static_cast<std::int64_t>(wanted) - static_cast<std::int64_t>(Clock::to_time_t(now));
    return {};
}

Outcome getPorts(const CameraState& camera) {
    const json& ports = section(camera, "ports");
    Outcome outcome;
    outcome.body = {{"http", camera.identity.httpPort},
                    {"onvif", ports.value("onvif", 80)},
                    {"rtsp1", ports.value("rtsp1", 554)},
                    {"rtsp2", ports.value("rtsp2", 555)},
                    {"reserved", ports.value("reserved", 0)}};
    return outcome;
}

Outcome setPorts(CameraState& camera, const json& request) {
    std::int64_t values[4] = {};
    const char* names[4] = {"http", "onvif", "rtsp1", "rtsp2"};
    for (int i = 0; i < 4; ++i) {
        if (!intIn(request, names[i], 1, 65535, values[i])) {
            return error(400, std::string(names[i]) + " must be 1 to 65535");
        }
    }
    std::int64_t reserved = 0;
    if (!intIn(request, "reserved", std::numeric_limits<std::int32_t>::min(),
               std::numeric_limits<std::int32_t>::max(), reserved)) {
        return error(400, "reserved must be a 32-bit number");
    }
    for (int i = 0; i < 4; ++i) {
        for (int k = i + 1; k < 4; ++k) {
            if (values[i] == values[k]) {
                return error(400, "ports must differ");
            }
        }
    }
    json& ports = section(camera, "ports");
    ports["onvif"] = values[1];
    ports["rtsp1"] = values[2];
    ports["rtsp2"] = values[3];
    ports["reserved"] = reserved;
    camera.identity.httpPort = static_cast<int>(values[0]);
    return {};
}

Outcome getDdns(const CameraState& camera) {
    Outcome outcome;
    outcome.body = section(camera, "ddns");
    return outcome;
}

Outcome setDdns(CameraState& camera, const json& request) {
    bool enabled = false;
    if (!boolOf(request, "enabled", enabled)) {
        return error(400, "enabled missing");
    }
    struct Text {
        const char* key;
        std::size_t maxBytes;
    };
    static constexpr Text kTexts[] = {
        {"provider", 63}, {"user", 31}, {"password", 31}, {"hash", 127}, {"host", 127}};
    json next = {{"enabled", enabled}};
    for (const auto& text : kTexts) {
        std::string value;
        if (!textOf(request, text.key, text.maxBytes, value)) {
            return error(400, std::string(text.key) + " too long or missing");
        }
        next[text.key] = value;
    }
    section(camera, "ddns") = std::move(next);
    return {};
}

Outcome getStream(const CameraState& camera, int stream) {
    if (stream != 0 && stream != 1) {
        return error(404, "no such stream");
    }
    Outcome outcome;
    outcome.body = section(camera, "streams").at(static_cast<std::size_t>(stream));
    outcome.body["stream"] = stream;
    return outcome;
}

Outcome setStream(CameraState& camera, int stream, const json& request) {
    if (stream != 0 && stream != 1) {
        return error(404, "no such stream");
    }
    std::int64_t named = -1;
    if (!intIn(request, "stream", 0, 1, named) || named != stream) {
        return error(400, "stream does not match the address");
    }
    const bool primary = stream == 1;
    bool enabled = false;
    std::int64_t codec = 0, size = 0, rate = 0, bitRate = 0, control = 0, interval = 0;
    const int cls = modelClass(camera.identity.model);
    const std::int64_t firstSize = primary ? firstFrameSize(cls) : 0;
    const std::int64_t lastSize = primary ? 6 : 4;
    if (!boolOf(request, "enabled", enabled)) {
        return error(400, "enabled missing");
    }
    if (!intIn(request, "codec", 0, primary ? 0 : 2, codec)) {
        return error(400, "codec out of range");
    }
    if (!intIn(request, "frameSize", firstSize, lastSize, size)) {
        return error(400, "frameSize not offered by this model");
    }
    // 0 leaves the rate to the camera (the tool sends it for the largest sizes at 50 Hz).
    if (!intIn(request, "frameRate", 0, 30, rate)) {
        return error(400, "frameRate must be 0 to 30");
    }
    if (!intIn(request, "bitRate", 32, primary ? 8192 : 2048, bitRate)) {
        return error(400, "bitRate out of range");
    }
    if (!intIn(request, "bitRateControl", 0, 1, control)) {
        return error(400, "bitRateControl must be 0 or 1");
    }
    if (!intIn(request, "iFrameInterval", 1, 99, interval)) {
        return error(400, "iFrameInterval must be 1 to 99");
    }
    json& target = section(camera, "streams").at(static_cast<std::size_t>(stream));
    // deviceTag belongs to the camera: whatever comes back is not taken.
    // The primary stream is always on: the tool sends its flag as 0, and a
    // camera that took it would stop its main video.
    target["enabled"] = primary ? true : enabled;
    target["codec"] = codec;
    target["frameSize"] = size;
    target["frameRate"] = rate;
    target["bitRate"] = bitRate;
    target["bitRateControl"] = control;
    target["iFrameInterval"] = interval;
    return {};
}

Outcome getImaging(const CameraState& camera) {
    Outcome outcome;
    outcome.body = section(camera, "imaging");
    return outcome;
}

Outcome setImaging(CameraState& camera, const json& request) {
    std::int64_t frequency = 0, irCut = 0, display = 0, outdoor = 0, level = 0, exposure = 0;
    std::string deviceData;
    if (!intIn(request, "powerLineFrequency", 50, 60, frequency) ||
        (frequency != 50 && frequency != 60)) {
        return error(400, "powerLineFrequency must be 50 or 60");
    }
    if (!intIn(request, "irCutMode", 0, 2, irCut) ||
        !intIn(request, "localDisplay", 0, 2, display) ||
        !intIn(request, "outdoorMode", 0, 1, outdoor) ||
        !intIn(request, "exposureLevel", 0, 10, level) ||
        !intIn(request, "maxExposureTime", 0, 4, exposure)) {
        return error(400, "imaging value out of range");
    }
    json& imaging = section(camera, "imaging");
    // The camera's own bytes must come back as they were read: a client that
    // sends anything else has not merged with a fresh read.
    if (!textOf(request, "deviceData", 64, deviceData) ||
        deviceData != imaging.value("deviceData", "")) {
        return error(400, "deviceData differs from the camera's");
    }
    imaging["powerLineFrequency"] = frequency;
    imaging["irCutMode"] = irCut;
    imaging["localDisplay"] = display;
    imaging["outdoorMode"] = outdoor;
    imaging["exposureLevel"] = level;
    imaging["maxExposureTime"] = exposure;
    return {};
}

Outcome getPicture(const CameraState& camera) {
    Outcome outcome;
    outcome.body = section(camera, "picture");
    return outcome;
}

Outcome setPicture(CameraState& camera, const json& request) {
    std::int64_t values[3] = {};
    const char* names[3] = {"brightness", "contrast", "saturation"};
    for (int i = 0; i < 3; ++i) {
        if (!intIn(request, names[i], 0, 255, values[i])) {
            return error(400, std::string(names[i]) + " must be 0 to 255");
        }
    }
    json& picture = section(camera, "picture");
    for (int i = 0; i < 3; ++i) {
        picture[names[i]] = values[i];
    }
    return {};
}

Outcome setName(CameraState& camera, const json& request) {
    std::string name;
    if (!textOf(request, "name", 31, name) || name.empty() || !validUtf8(name)) {
        return error(400, "name must be 1 to 31 bytes of UTF-8");
    }
    camera.identity.deviceName = name;
    return {};
}

Outcome setPassword(CameraState& camera, const json& request) {
    std::string user;
    std::string password;
    if (!textOf(request, "user", 31, user) || user != "admin") {
        return error(400, "only the user admin exists");
    }
    if (!textOf(request, "password", 15, password) || password.empty()) {
        return error(400, "password must be 1 to 15 bytes");
    }
    camera.identity.adminPassword = password;
    return {};
}

std::optional<std::string> firmwareMismatch(std::string_view fileName, std::uint64_t size,
                                            std::string_view model) {
    if (size == 0) {
        return "empty image";
    }
    if (size > kMaxFirmwareBytes) {
        return "image too large";
    }
    static constexpr std::string_view kPrefix = "QVFImage_";
    const auto at = fileName.find(kPrefix);
    if (at == std::string_view::npos || at + kPrefix.size() + 2 > fileName.size()) {
        return "image name lacks QVFImage_ and its platform and CMOS characters";
    }
    const char platform = fileName[at + kPrefix.size()];
    const char cmos = fileName[at + kPrefix.size() + 1];
    if (model.size() < 6) {
        return "model text too short";
    }
    if (static_cast<char>(platform + 1) != model[4]) {
        return "platform differs";
    }
    static constexpr char kCmosToSensor[][2] = {{'1', '6'}, {'2', '3'}, {'3', '4'}, {'4', '9'}};
    for (const auto& rule : kCmosToSensor) {
        if (cmos == rule[0] && model[5] != rule[1]) {
            return "CMOS differs";
        }
    }
    return std::nullopt;
}

std::string nextVersion(std::string_view imageHead, std::string_view currentVersion) {
    static constexpr std::string_view kTag = "QVFW:";
    if (imageHead.substr(0, kTag.size()) == kTag) {
        const auto end = imageHead.find_first_of("\r\n", kTag.size());
        const std::string_view version =
            imageHead.substr(kTag.size(), end == std::string_view::npos ? std::string_view::npos
                                                                        : end - kTag.size());
        if (!version.empty() && version.size() <= 31 && !hasControl(version)) {
            return std::string(version);
        }
    }
    const auto dot = currentVersion.find_last_of('.');
    const std::string_view head =
        dot == std::string_view::npos ? std::string_view{} : currentVersion.substr(0, dot + 1);
    const std::string_view tail =
        dot == std::string_view::npos ? currentVersion : currentVersion.substr(dot + 1);
    long number = 0;
    for (const char c : tail) {
        if (c < '0' || c > '9' || number > 100000) {
            number = 0;
            break;
        }
        number = number * 10 + (c - '0');
    }
    return std::string(head) + std::to_string(number + 1);
}

void storeFirmware(CameraState& camera, const std::string& name, std::uint64_t size,
                   const std::string& md5, const std::string& version) {
    json& firmware = section(camera, "firmware");
    firmware["name"] = name;
    firmware["size"] = size;
    firmware["md5"] = md5;
    firmware["pendingVersion"] = version;
}

void storeOemFile(CameraState& camera, const std::string& name, std::uint64_t size,
                  const std::string& md5, const std::string& content) {
    json& oem = section(camera, "oem");
    static constexpr std::string_view kSection = "[oemsec]";
    if (std::string_view(content).substr(0, kSection.size()) == kSection) {
        json info = json::object();
        std::size_t start = 0;
        while (start < content.size()) {
            std::size_t end = content.find('\n', start);
            if (end == std::string::npos) {
                end = content.size();
            }
            std::string line = content.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            const auto equals = line.find('=');
            if (equals != std::string::npos && validUtf8(line)) {
                info[line.substr(0, equals)] = line.substr(equals + 1);
            }
            start = end + 1;
        }
        oem["info"] = std::move(info);
        oem["infoText"] = validUtf8(content) ? content : std::string();
        return;
    }
    json& images = oem["images"];
    json entry = {{"name", name}, {"size", size}, {"md5", md5}};
    for (auto& image : images) {
        if (image.value("name", "") == name) {
            image = std::move(entry);
            return;
        }
    }
    images.push_back(std::move(entry));
}

bool applyPendingFirmware(CameraState& camera) {
    json& firmware = section(camera, "firmware");
    const std::string pending = firmware.value("pendingVersion", "");
    if (pending.empty()) {
        return false;
    }
    camera.identity.version = pending;
    firmware["pendingVersion"] = "";
    firmware["installed"] = firmware.value("installed", 0) + 1;
    return true;
}

} // namespace camsim::api
