#pragma once
// The texts of a record's fixed-size fields: up to the first zero, never past
// the field's end; and what a field can take. Every text for a camera is
// escaped (backslash and apostrophe doubled) and converted before it goes
// into its field, and the conversion keeps a text only whole: converted and
// terminated it must fit in fewer bytes than the field has, or the field
// stays empty. So a 32-byte field takes 30 bytes of text.

#include "TextConv.h"

#include <cstring>
#include <string>
#include <string_view>

namespace orv {

template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// For a window: DevName is UTF-8, every other text in the system code page.
template <std::size_t N>
std::wstring WideFieldText(const char (&field)[N], int codePage = kCpAnsi) {
    const std::string bytes = FieldText(field);
    return codePage == kCpUtf8 ? FromUtf8(bytes) : FromAnsi(bytes);
}

// The bytes `text` takes in a field once escaped and converted.
std::size_t RecordBytes(std::wstring_view text, int codePage);
// Whether a field of `fieldSize` bytes takes the whole of `text`.
bool FitsRecordField(std::wstring_view text, int codePage, std::size_t fieldSize);
// The longest beginning of `text` that such a field takes.
std::wstring CutToRecordField(std::wstring_view text, int codePage, std::size_t fieldSize);

// Puts `text` escaped and converted into `field`, zeroed first. False, with
// the field left empty, for a text that does not fit whole.
template <std::size_t N>
bool PutRecordText(char (&field)[N], std::wstring_view text, int codePage) {
    std::memset(field, 0, N);
    if (text.empty()) {
        return true;
    }
    if (!FitsRecordField(text, codePage, N)) {
        return false;
    }
    const std::wstring whole(text);
    return WideToMulti(codePage, whole.c_str(), field, static_cast<int>(N), true) > 0;
}

} // namespace orv
