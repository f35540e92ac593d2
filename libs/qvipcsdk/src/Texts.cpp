#include "Texts.h"

#include "qvipcsdk/wire/Hex.h"
#include "qvipcsdk/wire/Utf8.h"

#include <cstring>

namespace qvsdk {

std::string unescapeText(std::string_view escaped) {
    std::string out;
    out.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '\\' && i + 1 < escaped.size() &&
            (escaped[i + 1] == '\\' || escaped[i + 1] == '\'')) {
            out.push_back(escaped[i + 1]);
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::optional<std::string> percentDecode(std::string_view encoded) {
    std::string out;
    out.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            out.push_back(encoded[i]);
            continue;
        }
        if (i + 2 >= encoded.size()) {
            return std::nullopt;
        }
        // Values below 16 are written with a blank instead of a leading zero.
        const int high = encoded[i + 1] == ' ' ? 0 : qvipc::wire::hexDigit(encoded[i + 1]);
        const int low = qvipc::wire::hexDigit(encoded[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return out;
}

bool isValidUtf8(std::string_view text) {
    return qvipc::wire::isValidUtf8(text);
}

std::string_view fieldText(const char* field, std::size_t width) {
    const void* end = std::memchr(field, 0, width);
    const std::size_t len =
        end == nullptr ? width : static_cast<std::size_t>(static_cast<const char*>(end) - field);
    return {field, len};
}

void copyToField(char* field, std::size_t width, std::string_view text) {
    if (width == 0) {
        return;
    }
    std::size_t len = text.size() < width - 1 ? text.size() : width - 1;
    if (len < text.size()) {
        // Step back over continuation bytes so the cut lands between characters.
        while (len > 0 && (static_cast<unsigned char>(text[len]) & 0xC0) == 0x80) {
            --len;
        }
    }
    std::memcpy(field, text.data(), len);
    std::memset(field + len, 0, width - len);
}

} // namespace qvsdk
