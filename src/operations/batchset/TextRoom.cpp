#include "TextRoom.h"

#include <string>
#include <vector>

namespace orv::batchset {

namespace {

// The conversion a camera's text goes through keeps it only whole: the
// bytes written with their end, or 0.
int convert(const TextRoom& room, std::wstring_view text, std::vector<char>& field) {
    field.assign(room.bytes, '\0');
    const std::wstring whole(text);
    return WideToMulti(room.codePage, whole.c_str(), field.data(), static_cast<int>(room.bytes),
                       true);
}

} // namespace

bool Takes(const TextRoom& room, std::wstring_view text) {
    std::vector<char> field;
    return text.empty() || convert(room, text, field) > 0;
}

std::string KeptText(const TextRoom& room, std::wstring_view text) {
    std::vector<char> field;
    const int written = text.empty() ? 0 : convert(room, text, field);
    return written > 0 ? std::string(field.data(), static_cast<std::size_t>(written - 1))
                       : std::string();
}

} // namespace orv::batchset
