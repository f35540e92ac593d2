#include "SettingsFile.h"

#include "text/TextConv.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <optional>

namespace orv::settings {
namespace {

using nlohmann::json;

constexpr std::string_view kKey = "HKEY_CURRENT_USER\\SOFTWARE\\Orvantix";
constexpr std::size_t kMaxUnits = 259; // what the registry reader's buffer holds

// Whether the brackets and braces outside strings stay within `limit`
// levels; the parser itself recurses once per level.
bool nestingWithin(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return false;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// Registry key and value names compare without regard to ASCII case.
const json* findName(const json& object, std::string_view name) {
    if (!object.is_object()) {
        return nullptr;
    }
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string& key = it.key();
        if (key.size() == name.size() &&
            std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return &it.value();
        }
    }
    return nullptr;
}

std::u16string toUtf16(const std::string& utf8) {
    const std::string bytes = ToUtf16LeBytes(FromUtf8(utf8));
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return units;
}

std::string toUtf8(std::u16string_view units) {
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (const char16_t u : units) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    return ToUtf8(FromUtf16Bytes(bytes, true));
}

// The inside of a JSON string for valid UTF-8 text.
void appendJsonString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
}

std::optional<std::u16string> textValue(const json& values, std::string_view name) {
    const json* value = findName(values, name);
    const json* text = value != nullptr ? findName(*value, "text") : nullptr;
    if (text == nullptr || !text->is_string()) {
        return std::nullopt;
    }
    std::u16string units = toUtf16(text->get<std::string>());
    units.resize(std::min({units.size(), units.find(u'\0'), kMaxUnits}));
    // A cut through a surrogate pair would store a broken character.
    if (!units.empty() && units.back() >= 0xD800 && units.back() <= 0xDBFF) {
        units.pop_back();
    }
    return units;
}

} // namespace

Credentials Parse(std::string_view text) {
    Credentials credentials;
    if (text.size() > kMaxFileBytes || !nestingWithin(text, kMaxDepth)) {
        return credentials;
    }
    const json doc = json::parse(text, nullptr, false);
    const json* keys = doc.is_discarded() ? nullptr : findName(doc, "keys");
    const json* values = keys != nullptr ? findName(*keys, kKey) : nullptr;
    if (values == nullptr) {
        return credentials;
    }
    if (auto user = textValue(*values, "User")) {
        credentials.user = std::move(*user);
    }
    if (auto password = textValue(*values, "Password")) {
        credentials.password = std::move(*password);
    }
    return credentials;
}

std::string Serialize(const Credentials& credentials) {
    std::string text = R"({"keys":{")";
    appendJsonString(text, kKey);
    text += R"(":{"Password":{"text":")";
    appendJsonString(text, toUtf8(credentials.password));
    text += R"(","type":1},"User":{"text":")";
    appendJsonString(text, toUtf8(credentials.user));
    text += R"(","type":1}}}})";
    return text;
}

} // namespace orv::settings
