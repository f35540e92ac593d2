#pragma once

#include "qvsp/wire/Frame.h"

#include <string_view>

namespace qvsp::wire {

// HMAC-SHA256 keyed by the password over the request's fields and the
// camera's nonce: the password itself never travels.
Proof computeProof(std::string_view password, const ModifyRequest& request);
bool proofMatches(std::string_view password, const ModifyRequest& request);

// Fresh random bytes for a challenge; false when the system has no entropy.
bool randomNonce(Nonce& out);

} // namespace qvsp::wire
