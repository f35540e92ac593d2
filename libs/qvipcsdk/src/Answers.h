#pragma once
// The camera's JSON answers turned into records, and records turned into
// request bodies. Nothing here touches the network, so the rules can be
// driven directly by tests and by the fuzzer.

#include "qvipcsdk/QvIpcSdk.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qvsdk {

// Answers larger than this are refused unread: no documented answer comes
// anywhere near it.
inline constexpr std::size_t kMaxAnswerBytes = 64 * 1024;

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
bool parseDdns(std::string_view body, QvDdnsInfo& out);
// The answer must name the stream that was asked for.
bool parseVideoConfig(std::string_view body, int stream, QvVideoConfig& out);
bool parseImagingConfig(std::string_view body, QvImagingConfig& out);
bool parseImagingSettings(std::string_view body, QvImagingSettings& out);

// Request bodies. Nothing when the record cannot be expressed (a flag byte
// other than 0 or 1, a date text that is not three numbers, a text that is
// not UTF-8). Texts are unescaped on the way.
std::optional<std::string> systemDateRequest(const QvSystemDate& record);
std::optional<std::string> portInfoRequest(const QvPortInfo& record);
std::optional<std::string> ddnsRequest(const QvDdnsInfo& record);
std::optional<std::string> videoConfigRequest(const QvVideoConfig& record);
std::optional<std::string> imagingConfigRequest(const QvImagingConfig& record);
std::optional<std::string> imagingSettingsRequest(const QvImagingSettings& record);
// The name arrives escaped and percent-encoded; the body carries the plain text.
std::optional<std::string> deviceNameRequest(std::string_view encodedName);
std::optional<std::string> passwordRequest(std::string_view escapedUser,
                                           std::string_view escapedPassword);

// The "error" text of a refusal, for diagnostics; empty when there is none.
std::string errorText(std::string_view body);

} // namespace qvsdk
