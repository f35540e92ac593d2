#pragma once
// The JSON form of a sealed secret (see qvipcsdk/wire/Seal.h),
// {"nonce": ..., "iv": ..., "data": ...}, in place of the text.

#include "qvipcsdk/wire/Seal.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace camsim::secrets {

std::optional<qvipc::wire::Sealed> sealedFromJson(const nlohmann::json& value);
nlohmann::json toJson(const qvipc::wire::Sealed& sealed);

} // namespace camsim::secrets
