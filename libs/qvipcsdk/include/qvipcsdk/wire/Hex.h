#pragma once
// Hexadecimal text of bytes, as the device API carries digests, nonces,
// sealed secrets and the camera's own imaging bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvipc::wire {

// 0 to 15 for a hexadecimal digit of either case, -1 otherwise.
int hexDigit(char c);
// Lower-case, two digits per byte.
std::string hexOf(const std::uint8_t* bytes, std::size_t count);
// Nothing for an odd length or a character that is not a digit.
std::optional<std::vector<std::uint8_t>> bytesOfHex(std::string_view hex);

} // namespace qvipc::wire
