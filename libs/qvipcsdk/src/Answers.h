#pragma once
// The camera's JSON answers turned into records, and records turned into
// request bodies. Nothing here touches the network, so the rules can be
// driven directly by tests and by the fuzzer.

#include "qvipcsdk/QvIpcSdk.h"
#include "qvipcsdk/wire/Seal.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qvsdk {

// Answers larger than this are refused unread: no documented answer comes
// anywhere near it.
inline constexpr std::size_t kMaxAnswerBytes = 64 * 1024;
// No documented answer nests deeper than a sealed value inside an object;
// deeper text is refused before it is parsed.
inline constexpr int kMaxAnswerNesting = 4;

// Secrets travel sealed (see qvipcsdk/wire/Seal.h); the session that holds
// the credentials seals and opens them.
using Sealer = std::function<std::optional<qvipc::wire::Sealed>(std::string_view secret)>;
using Opener = std::function<std::optional<std::string>(const qvipc::wire::Sealed& sealed)>;

struct DeviceInfo {
    std::string model;
    std::string version;
    std::string deviceName;
};

// Each parser fills its output only when the whole answer is valid: a JSON
// object with every documented field of the documented type and range.
// Texts longer than their field are cut to the field width - 1.
bool parseDeviceInfo(std::string_view body, DeviceInfo& out);
bool parseSystemDate(std::string_view body, QvSystemDate& out);
bool parsePortInfo(std::string_view body, QvPortInfo& out);
bool parseDeviceRecord(std::string_view body, QvDeviceInfo& out);
// The password arrives sealed; open turns it back into text.
bool parseDdns(std::string_view body, QvDdnsInfo& out, const Opener& open);
// The single-use nonce of POST /api/v1/system/nonce.
bool parseSealNonce(std::string_view body, std::string& nonce);
// The TLS port a camera offers (GET /api/v1/tls), 1 to 65535.
bool parseTlsOffer(std::string_view body, int& port);
// The answer must name the stream that was asked for.
bool parseVideoConfig(std::string_view body, int stream, QvVideoConfig& out);
bool parseImagingConfig(std::string_view body, QvImagingConfig& out);
bool parseImagingSettings(std::string_view body, QvImagingSettings& out);

// Request bodies. Nothing when the record cannot be expressed (a flag byte
// other than 0 or 1, a date text that is not three numbers, a text that is
// not UTF-8). Texts are unescaped on the way.
std::optional<std::string> systemDateRequest(const QvSystemDate& record);
std::optional<std::string> portInfoRequest(const QvPortInfo& record);
std::optional<std::string> ddnsRequest(const QvDdnsInfo& record, const Sealer& seal);
std::optional<std::string> videoConfigRequest(const QvVideoConfig& record);
std::optional<std::string> imagingConfigRequest(const QvImagingConfig& record);
std::optional<std::string> imagingSettingsRequest(const QvImagingSettings& record);
// The name arrives escaped and percent-encoded; the body carries the plain text.
std::optional<std::string> deviceNameRequest(std::string_view encodedName);
std::optional<std::string> passwordRequest(std::string_view escapedUser,
                                           std::string_view escapedPassword, const Sealer& seal);

// The "error" text of a refusal, for diagnostics; empty when there is none.
std::string errorText(std::string_view body);

} // namespace qvsdk
