#include "Answers.h"

#include "Texts.h"

#include "qvipcsdk/wire/Hex.h"
#include "qvipcsdk/wire/JsonLimits.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>

// The records are exchanged with callers byte for byte; their layout is fixed.
static_assert(sizeof(QvSystemDate) == 72);
static_assert(offsetof(QvSystemDate, date) == 1);
static_assert(offsetof(QvSystemDate, time) == 17);
static_assert(offsetof(QvSystemDate, timeServer) == 33);
static_assert(offsetof(QvSystemDate, timeZone) == 68);
static_assert(sizeof(QvPortInfo) == 20);
static_assert(sizeof(QvDeviceInfo) == 96);
static_assert(offsetof(QvPortInfo, reserved) == 16);
static_assert(sizeof(QvDdnsInfo) == 385);
static_assert(offsetof(QvDdnsInfo, provider) == 1);
static_assert(offsetof(QvDdnsInfo, user) == 65);
static_assert(offsetof(QvDdnsInfo, password) == 97);
static_assert(offsetof(QvDdnsInfo, hash) == 129);
static_assert(offsetof(QvDdnsInfo, host) == 257);
static_assert(sizeof(QvVideoConfig) == 28);
static_assert(offsetof(QvVideoConfig, frameSize) == 4);
static_assert(offsetof(QvVideoConfig, frameRate) == 8);
static_assert(offsetof(QvVideoConfig, bitRate) == 12);
static_assert(offsetof(QvVideoConfig, bitRateControl) == 16);
static_assert(offsetof(QvVideoConfig, iFrameInterval) == 20);
static_assert(offsetof(QvVideoConfig, deviceTag) == 24);
static_assert(sizeof(QvImagingConfig) == 24);
static_assert(offsetof(QvImagingConfig, powerLineFrequency) == 4);
static_assert(offsetof(QvImagingConfig, irCutMode) == 8);
static_assert(offsetof(QvImagingConfig, deviceData9) == 9);
static_assert(offsetof(QvImagingConfig, localDisplay) == 15);
static_assert(offsetof(QvImagingConfig, deviceData16) == 16);
static_assert(offsetof(QvImagingConfig, outdoorMode) == 20);
static_assert(offsetof(QvImagingConfig, exposureLevel) == 21);
static_assert(offsetof(QvImagingConfig, maxExposureTime) == 22);
static_assert(offsetof(QvImagingConfig, deviceData23) == 23);
static_assert(sizeof(QvImagingSettings) == 12);
static_assert(sizeof(QvPlayInfo) == 40);
static_assert(offsetof(QvPlayInfo, window) == 4);

namespace qvsdk {
namespace {

using nlohmann::json;

std::optional<json> parseObject(std::string_view body) {
    if (body.size() > kMaxAnswerBytes || !qvipc::wire::jsonNestingWithin(body, kMaxAnswerNesting)) {
        return std::nullopt;
    }
    json value = json::parse(body.begin(), body.end(), nullptr, false);
    if (value.is_discarded() || !value.is_object()) {
        return std::nullopt;
    }
    return value;
}

bool getInt(const json& obj, const char* key, std::int64_t low, std::int64_t high,
            std::int64_t& out) {
    const auto it = obj.find(key);
    if (it == obj.end() || !it->is_number_integer()) {
        return false;
    }
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return false;
        }
        out = static_cast<std::int64_t>(value);
    } else {
        out = it->get<std::int64_t>();
    }
    return out >= low && out <= high;
}

template <typename T>
bool getField(const json& obj, const char* key, std::int64_t low, std::int64_t high, T& out) {
    std::int64_t value = 0;
    if (!getInt(obj, key, low, high, value)) {
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

bool getBool(const json& obj, const char* key, std::uint8_t& out) {
    const auto it = obj.find(key);
    if (it == obj.end() || !it->is_boolean()) {
        return false;
    }
    out = it->get<bool>() ? 1 : 0;
    return true;
}

bool getText(const json& obj, const char* key, std::string& out) {
    const auto it = obj.find(key);
    if (it == obj.end() || !it->is_string()) {
        return false;
    }
    out = it->get<std::string>();
    return true;
}

bool getSealed(const json& obj, const char* key, qvipc::wire::Sealed& out) {
    const auto it = obj.find(key);
    return it != obj.end() && it->is_object() && getText(*it, "nonce", out.nonce) &&
           getText(*it, "iv", out.iv) && getText(*it, "data", out.data);
}

bool getTextField(const json& obj, const char* key, char* field, std::size_t width) {
    std::string text;
    if (!getText(obj, key, text)) {
        return false;
    }
    copyToField(field, width, text);
    return true;
}

bool isDigits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return !text.empty();
}

// Three decimal numbers separated by one of the given separators.
bool splitTriple(std::string_view text, std::string_view separators, int (&parts)[3]) {
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        std::size_t end = text.size();
        if (i < 2) {
            end = text.find_first_of(separators, start);
            if (end == std::string_view::npos) {
                return false;
            }
        }
        const std::string_view piece = text.substr(start, end - start);
        if (!isDigits(piece) || piece.size() > 4) {
            return false;
        }
        int value = 0;
        for (const char c : piece) {
            value = value * 10 + (c - '0');
        }
        parts[i] = value;
        start = end + 1;
    }
    return true;
}

bool validDate(const int (&d)[3]) {
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return d[0] >= 1970 && d[0] <= 2099 && d[1] >= 1 && d[1] <= 12 && d[2] >= 1 &&
           d[2] <= kDays[d[1] - 1];
}

bool validTime(const int (&t)[3]) {
    return t[0] >= 0 && t[0] <= 23 && t[1] >= 0 && t[1] <= 59 && t[2] >= 0 && t[2] <= 59;
}

std::string formatDate(const int (&d)[3]) {
    char buffer[32] = {};
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d[0], d[1], d[2]);
    return buffer;
}

std::string formatTime(const int (&t)[3]) {
    char buffer[32] = {};
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t[0], t[1], t[2]);
    return buffer;
}

// Texts leave as plain UTF-8; anything else cannot travel in JSON.
std::optional<std::string> plainText(std::string_view escaped) {
    std::string plain = unescapeText(escaped);
    if (!isValidUtf8(plain)) {
        return std::nullopt;
    }
    return plain;
}

std::optional<std::string> plainField(const char* field, std::size_t width) {
    return plainText(fieldText(field, width));
}

std::string hexBytes(const std::uint8_t* bytes, std::size_t count) {
    return qvipc::wire::hexOf(bytes, count);
}

bool unhexBytes(std::string_view hex, std::uint8_t* bytes, std::size_t count) {
    const auto parsed = qvipc::wire::bytesOfHex(hex);
    if (!parsed || parsed->size() != count) {
        return false;
    }
    std::copy(parsed->begin(), parsed->end(), bytes);
    return true;
}

// The camera's own imaging bytes travel as one hexadecimal text, in record order.
constexpr std::size_t kDeviceDataBytes = 15;

void gatherDeviceData(const QvImagingConfig& r, std::uint8_t (&out)[kDeviceDataBytes]) {
    std::size_t n = 0;
    for (const auto b : r.deviceData0) {
        out[n++] = b;
    }
    for (const auto b : r.deviceData9) {
        out[n++] = b;
    }
    for (const auto b : r.deviceData16) {
        out[n++] = b;
    }
    out[n] = r.deviceData23;
}

void scatterDeviceData(const std::uint8_t (&in)[kDeviceDataBytes], QvImagingConfig& r) {
    std::size_t n = 0;
    for (auto& b : r.deviceData0) {
        b = in[n++];
    }
    for (auto& b : r.deviceData9) {
        b = in[n++];
    }
    for (auto& b : r.deviceData16) {
        b = in[n++];
    }
    r.deviceData23 = in[n];
}

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

} // namespace

bool parseDeviceInfo(std::string_view body, DeviceInfo& out) {
    const auto obj = parseObject(body);
    DeviceInfo info;
    if (!obj || !getText(*obj, "model", info.model) || !getText(*obj, "version", info.version) ||
        !getText(*obj, "deviceName", info.deviceName)) {
        return false;
    }
    out = std::move(info);
    return true;
}

bool parseDeviceRecord(std::string_view body, QvDeviceInfo& out) {
    const auto obj = parseObject(body);
    QvDeviceInfo r{};
    if (!obj || !getTextField(*obj, "model", r.model, sizeof r.model) ||
        !getTextField(*obj, "version", r.version, sizeof r.version) ||
        !getTextField(*obj, "deviceName", r.deviceName, sizeof r.deviceName)) {
        return false;
    }
    out = r;
    return true;
}

bool parseSystemDate(std::string_view body, QvSystemDate& out) {
    const auto obj = parseObject(body);
    if (!obj) {
        return false;
    }
    QvSystemDate r{};
    std::string date;
    std::string time;
    int d[3] = {};
    int t[3] = {};
    if (!getBool(*obj, "useTimeServer", r.useTimeServer) || !getText(*obj, "date", date) ||
        !getText(*obj, "time", time) ||
        !getTextField(*obj, "timeServer", r.timeServer, sizeof r.timeServer) ||
        !getField(*obj, "timeZone", 0, 24, r.timeZone)) {
        return false;
    }
    // The page reads the numbers back by position, so only the exact shape passes.
    if (date.size() != 10 || time.size() != 8 || !splitTriple(date, "-", d) ||
        !splitTriple(time, ":", t) || !validDate(d) || !validTime(t)) {
        return false;
    }
    copyToField(r.date, sizeof r.date, formatDate(d));
    copyToField(r.time, sizeof r.time, formatTime(t));
    out = r;
    return true;
}

bool parsePortInfo(std::string_view body, QvPortInfo& out) {
    const auto obj = parseObject(body);
    QvPortInfo r{};
    if (!obj || !getField(*obj, "http", 1, 65535, r.httpPort) ||
        !getField(*obj, "onvif", 1, 65535, r.onvifPort) ||
        !getField(*obj, "rtsp1", 1, 65535, r.rtspPort1) ||
        !getField(*obj, "rtsp2", 1, 65535, r.rtspPort2) ||
        !getField(*obj, "reserved", kInt32Min, kInt32Max, r.reserved)) {
        return false;
    }
    out = r;
    return true;
}

bool parseDdns(std::string_view body, QvDdnsInfo& out, const Opener& open) {
    const auto obj = parseObject(body);
    QvDdnsInfo r{};
    qvipc::wire::Sealed sealed;
    std::optional<std::string> password;
    if (!obj || !getBool(*obj, "enabled", r.enable) ||
        !getTextField(*obj, "provider", r.provider, sizeof r.provider) ||
        !getTextField(*obj, "user", r.user, sizeof r.user) ||
        !getSealed(*obj, "password", sealed) || !(password = open(sealed)) ||
        !getTextField(*obj, "hash", r.hash, sizeof r.hash) ||
        !getTextField(*obj, "host", r.host, sizeof r.host)) {
        return false;
    }
    copyToField(r.password, sizeof r.password, *password);
    out = r;
    return true;
}

bool parseSealNonce(std::string_view body, std::string& nonce) {
    const auto obj = parseObject(body);
    std::string text;
    if (!obj || !getText(*obj, "nonce", text) || text.empty() || text.size() > 256) {
        return false;
    }
    nonce = std::move(text);
    return true;
}

bool parseTlsOffer(std::string_view body, int& port) {
    const auto obj = parseObject(body);
    int offered = 0;
    if (!obj || !getField(*obj, "port", 1, 65535, offered)) {
        return false;
    }
    port = offered;
    return true;
}

bool parseVideoConfig(std::string_view body, int stream, QvVideoConfig& out) {
    const auto obj = parseObject(body);
    QvVideoConfig r{};
    int answered = -1;
    if (!obj || !getField(*obj, "stream", 0, 1, answered) || answered != stream ||
        !getBool(*obj, "enabled", r.enabled) || !getField(*obj, "codec", 0, 2, r.codec) ||
        !getField(*obj, "frameSize", 0, 6, r.frameSize) ||
        !getField(*obj, "frameRate", 0, 120, r.frameRate) ||
        !getField(*obj, "bitRate", 0, kInt32Max, r.bitRate) ||
        !getField(*obj, "bitRateControl", 0, 1, r.bitRateControl) ||
        !getField(*obj, "iFrameInterval", 0, kInt32Max, r.iFrameInterval) ||
        !getField(*obj, "deviceTag", 0, std::numeric_limits<std::uint32_t>::max(), r.deviceTag)) {
        return false;
    }
    r.stream = static_cast<std::uint8_t>(stream);
    out = r;
    return true;
}

bool parseImagingConfig(std::string_view body, QvImagingConfig& out) {
    const auto obj = parseObject(body);
    QvImagingConfig r{};
    std::string hex;
    std::uint8_t deviceData[kDeviceDataBytes] = {};
    if (!obj || !getField(*obj, "powerLineFrequency", 50, 60, r.powerLineFrequency) ||
        (r.powerLineFrequency != 50 && r.powerLineFrequency != 60) ||
        !getField(*obj, "irCutMode", 0, 2, r.irCutMode) ||
        !getField(*obj, "localDisplay", 0, 2, r.localDisplay) ||
        !getField(*obj, "outdoorMode", 0, 1, r.outdoorMode) ||
        !getField(*obj, "exposureLevel", 0, 10, r.exposureLevel) ||
        !getField(*obj, "maxExposureTime", 0, 4, r.maxExposureTime) ||
        !getText(*obj, "deviceData", hex) || !unhexBytes(hex, deviceData, kDeviceDataBytes)) {
        return false;
    }
    scatterDeviceData(deviceData, r);
    out = r;
    return true;
}

bool parseImagingSettings(std::string_view body, QvImagingSettings& out) {
    const auto obj = parseObject(body);
    QvImagingSettings r{};
    if (!obj || !getField(*obj, "brightness", 0, 255, r.brightness) ||
        !getField(*obj, "contrast", 0, 255, r.contrast) ||
        !getField(*obj, "saturation", 0, 255, r.saturation)) {
        return false;
    }
    out = r;
    return true;
}

std::optional<std::string> systemDateRequest(const QvSystemDate& record) {
    if (record.useTimeServer > 1) {
        return std::nullopt;
    }
    json body;
    body["useTimeServer"] = record.useTimeServer == 1;
    if (record.useTimeServer == 1) {
        auto server = plainField(record.timeServer, sizeof record.timeServer);
        if (!server) {
            return std::nullopt;
        }
        body["timeServer"] = *server;
        body["timeZone"] = record.timeZone;
    } else {
        int d[3] = {};
        int t[3] = {};
        if (!splitTriple(fieldText(record.date, sizeof record.date), "/-", d) ||
            !splitTriple(fieldText(record.time, sizeof record.time), ":", t)) {
            return std::nullopt;
        }
        body["date"] = formatDate(d);
        body["time"] = formatTime(t);
    }
    return body.dump();
}

std::optional<std::string> portInfoRequest(const QvPortInfo& record) {
    json body;
    body["http"] = record.httpPort;
    body["onvif"] = record.onvifPort;
    body["rtsp1"] = record.rtspPort1;
    body["rtsp2"] = record.rtspPort2;
    body["reserved"] = record.reserved;
    return body.dump();
}

namespace {
json sealedJson(const qvipc::wire::Sealed& sealed) {
    return {{"nonce", sealed.nonce}, {"iv", sealed.iv}, {"data", sealed.data}};
}
} // namespace

std::optional<std::string> ddnsRequest(const QvDdnsInfo& record, const Sealer& seal) {
    if (record.enable > 1) {
        return std::nullopt;
    }
    auto provider = plainField(record.provider, sizeof record.provider);
    auto user = plainField(record.user, sizeof record.user);
    auto password = plainField(record.password, sizeof record.password);
    auto hash = plainField(record.hash, sizeof record.hash);
    auto host = plainField(record.host, sizeof record.host);
    if (!provider || !user || !password || !hash || !host) {
        return std::nullopt;
    }
    const auto sealed = seal(*password);
    if (!sealed) {
        return std::nullopt;
    }
    json body;
    body["enabled"] = record.enable == 1;
    body["provider"] = *provider;
    body["user"] = *user;
    body["password"] = sealedJson(*sealed);
    body["hash"] = *hash;
    body["host"] = *host;
    return body.dump();
}

std::optional<std::string> videoConfigRequest(const QvVideoConfig& record) {
    if (record.stream > 1 || record.enabled > 1) {
        return std::nullopt;
    }
    json body;
    body["stream"] = record.stream;
    body["enabled"] = record.enabled == 1;
    body["codec"] = record.codec;
    body["frameSize"] = record.frameSize;
    body["frameRate"] = record.frameRate;
    body["bitRate"] = record.bitRate;
    body["bitRateControl"] = record.bitRateControl;
    body["iFrameInterval"] = record.iFrameInterval;
    body["deviceTag"] = record.deviceTag;
    return body.dump();
}

std::optional<std::string> imagingConfigRequest(const QvImagingConfig& record) {
    std::uint8_t deviceData[kDeviceDataBytes] = {};
    gatherDeviceData(record, deviceData);
    json body;
    body["powerLineFrequency"] = record.powerLineFrequency;
    body["irCutMode"] = record.irCutMode;
    body["localDisplay"] = record.localDisplay;
    body["outdoorMode"] = record.outdoorMode;
    body["exposureLevel"] = record.exposureLevel;
    body["maxExposureTime"] = record.maxExposureTime;
    body["deviceData"] = hexBytes(deviceData, kDeviceDataBytes);
    return body.dump();
}

std::optional<std::string> imagingSettingsRequest(const QvImagingSettings& record) {
    json body;
    body["brightness"] = record.brightness;
    body["contrast"] = record.contrast;
    body["saturation"] = record.saturation;
    return body.dump();
}

std::optional<std::string> deviceNameRequest(std::string_view encodedName) {
    const auto decoded = percentDecode(encodedName);
    if (!decoded) {
        return std::nullopt;
    }
    auto name = plainText(*decoded);
    if (!name) {
        return std::nullopt;
    }
    json body;
    body["name"] = *name;
    return body.dump();
}

std::optional<std::string> passwordRequest(std::string_view escapedUser,
                                           std::string_view escapedPassword, const Sealer& seal) {
    auto user = plainText(escapedUser);
    auto password = plainText(escapedPassword);
    if (!user || !password) {
        return std::nullopt;
    }
    const auto sealed = seal(*password);
    if (!sealed) {
        return std::nullopt;
    }
    json body;
    body["user"] = *user;
    body["password"] = sealedJson(*sealed);
    return body.dump();
}

std::string errorText(std::string_view body) {
    const auto obj = parseObject(body);
    std::string text;
    if (obj) {
        getText(*obj, "error", text);
    }
    return text;
}

} // namespace qvsdk
