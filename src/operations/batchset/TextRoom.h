#pragma once
// How much of a text a camera keeps. A camera stores each text of its
// settings in a field of fixed size: converted to a code page, escaped as
// every text sent to a camera is (a backslash or an apostrophe takes two
// characters), with room for its end. A text is kept whole or not at all, so
// the pages refuse one that would not fit before anything is sent, and name
// the field.

#include "operations/common/NameRules.h"
#include "text/TextConv.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orv::batchset {

struct TextRoom {
    int codePage = kCpAnsi;
    std::size_t bytes = 0;
};

// Whether the room takes the whole of `text`; the empty text always fits.
bool Takes(const TextRoom& room, std::wstring_view text);
// The bytes a camera keeps of `text`, converted and escaped; empty where it
// does not fit.
std::string KeptText(const TextRoom& room, std::wstring_view text);

// The settings' texts: the DDNS registration and the administrator's
// password in the system code page, the device name in UTF-8.
inline constexpr TextRoom kDdnsUserRoom{kCpAnsi, 32};
inline constexpr TextRoom kDdnsPasswordRoom{kCpAnsi, 32};
inline constexpr TextRoom kDdnsHashRoom{kCpAnsi, 128};
inline constexpr TextRoom kDdnsHostRoom{kCpAnsi, 128};
inline constexpr TextRoom kPasswordRoom{kCpAnsi, 16};
inline constexpr TextRoom kDeviceNameRoom{kCpUtf8, kDeviceNameField};

} // namespace orv::batchset
