#pragma once
// The one UTF-8 check of the device API's two ends: texts that fail it
// cannot travel in JSON.

#include <string_view>

namespace qvipc::wire {

// Overlong forms, surrogates and values beyond Unicode are refused, because
// JSON encoders refuse them too.
bool isValidUtf8(std::string_view text);

} // namespace qvipc::wire
