#pragma once
// New camera passwords, and the owner-only file --out writes them to
// before any camera is touched.

#include "file/SecretsFile.h"

#include <optional>
#include <string>

namespace orv::cli {

// 14 characters from letters and digits without the look-alikes (0 O o 1 l
// I): about 81 bits, the most a camera login carries once escaped.
inline constexpr int kPasswordLength = 14;
std::string RandomPassword();

} // namespace orv::cli
