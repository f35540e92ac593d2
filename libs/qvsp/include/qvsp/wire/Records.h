#pragma once

// Translation between the program's device record and the wire messages.

#include "qvsp/QvspTypes.h"
#include "qvsp/wire/Frame.h"

#include <optional>
#include <string>

namespace qvsp::wire {

// The text of a fixed-width field, stopping at the terminator or the width.
std::string fieldText(const char* field, std::size_t width);

template <std::size_t N>
std::string fieldText(const char (&field)[N]) {
    return fieldText(field, N);
}

// Writes at most width - 1 bytes and always terminates.
void setFieldImpl(char* field, std::size_t width, std::string_view text);
template <std::size_t N>
void setField(char (&field)[N], std::string_view text) {
    setFieldImpl(field, N, text);
}

std::string ipv4Text(std::uint32_t address);
// Dotted IPv4 text to a host-order address; an empty text is 0.0.0.0.
std::optional<std::uint32_t> parseIpv4(std::string_view text);

// A full record with terminated texts, as handed to the capture callback.
tagQvIpcInfo toRecord(const SearchAnswer& answer);

// The network values of a modify request; nothing when an address does not
// parse or the port is outside 1..65535.
std::optional<NetworkSettings> requestedSettings(const tagQvIpcInfo& request);

// The program hands texts over escaped, a backslash before every backslash
// and apostrophe; the camera keeps the plain text. A lone backslash stays.
std::string unescapeText(std::string_view text);

// A signed modify request for the camera's challenge, or nothing when the
// record's values are unusable.
std::optional<ModifyRequest> makeModifyRequest(const tagQvIpcInfo& request, const Nonce& nonce);

} // namespace qvsp::wire
