#pragma once
// The texts of a record's fixed-size fields: up to the first zero, never past
// the field's end.

#include "text/TextConv.h"

#include <cstring>
#include <string>

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

} // namespace orv
