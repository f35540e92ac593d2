#pragma once
// The camera's side of sealed secrets (see qvipcsdk/wire/Seal.h): the
// single-use nonces it hands out for requests, and the JSON form of a sealed
// value, {"nonce": ..., "iv": ..., "data": ...}, in place of the text.

#include "qvipcsdk/wire/Seal.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace camsim::secrets {

using Clock = std::chrono::steady_clock;

class NonceIssuer {
public:
    explicit NonceIssuer(std::chrono::milliseconds lifetime) : m_lifetime(lifetime) {}
    std::chrono::milliseconds lifetime() const { return m_lifetime; }

    std::string issue(const std::string& camera, Clock::time_point now);
    // True once for a nonce issued to the camera within its lifetime.
    bool take(const std::string& camera, const std::string& nonce, Clock::time_point now);

    static constexpr std::size_t kOpenPerCamera = 8;

private:
    std::chrono::milliseconds m_lifetime;
    std::mutex m_lock;
    std::map<std::string, std::deque<std::pair<std::string, Clock::time_point>>> m_open;
};

std::optional<qvipc::wire::Sealed> sealedFromJson(const nlohmann::json& value);
nlohmann::json toJson(const qvipc::wire::Sealed& sealed);

} // namespace camsim::secrets
