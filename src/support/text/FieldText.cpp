#include "FieldText.h"

namespace orv {
namespace {

// One character as the field holds it: escaped, and a UTF-16 pair whole
// where wide text is UTF-16.
std::size_t characterAt(std::wstring_view text, std::size_t i, std::wstring& out) {
    out.clear();
    const wchar_t c = text[i];
    if (c == L'\\' || c == L'\'') {
        out += L'\\';
    }
    out += c;
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            out += text[i + 1];
            return 2;
        }
    }
    return 1;
}

std::size_t convertedBytes(std::wstring_view text, int codePage) {
    return codePage == kCpUtf8 ? ToUtf8(text).size() : ToAnsi(text).size();
}

} // namespace

std::size_t RecordBytes(std::wstring_view text, int codePage) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t c : text) {
        if (c == L'\\' || c == L'\'') {
            escaped += L'\\';
        }
        escaped += c;
    }
    return convertedBytes(escaped, codePage);
}

bool FitsRecordField(std::wstring_view text, int codePage, std::size_t fieldSize) {
    return fieldSize >= 2 && RecordBytes(text, codePage) + 2 <= fieldSize;
}

std::wstring CutToRecordField(std::wstring_view text, int codePage, std::size_t fieldSize) {
    if (fieldSize < 2) {
        return {};
    }
    const std::size_t room = fieldSize - 2;
    std::size_t bytes = 0;
    std::size_t keep = 0;
    std::wstring one;
    while (keep < text.size()) {
        const std::size_t units = characterAt(text, keep, one);
        const std::size_t cost = convertedBytes(one, codePage);
        if (bytes + cost > room) {
            break;
        }
        bytes += cost;
        keep += units;
    }
    return std::wstring(text.substr(0, keep));
}

} // namespace orv
