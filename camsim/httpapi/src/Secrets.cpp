#include "Secrets.h"

#include <algorithm>

namespace camsim::secrets {

std::string NonceIssuer::issue(const std::string& camera, Clock::time_point now) {
    std::string nonce = qvipc::wire::randomHex(16);
    std::lock_guard guard(m_lock);
    auto& open = m_open[camera];
    if (open.size() == kOpenPerCamera) {
        open.pop_front();
    }
    open.emplace_back(nonce, now);
    return nonce;
}

bool NonceIssuer::take(const std::string& camera, const std::string& nonce, Clock::time_point now) {
    std::lock_guard guard(m_lock);
    const auto it = m_open.find(camera);
    if (it == m_open.end() || nonce.empty()) {
        return false;
    }
    auto& open = it->second;
    const auto found = std::find_if(open.begin(), open.end(),
                                    [&](const auto& entry) { return entry.first == nonce; });
    if (found == open.end()) {
        return false;
    }
    const bool fresh = now - found->second <= m_lifetime;
    open.erase(found);
    return fresh;
}

std::optional<qvipc::wire::Sealed> sealedFromJson(const nlohmann::json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    qvipc::wire::Sealed sealed;
    for (auto [key, field] : {std::pair{"nonce", &sealed.nonce}, std::pair{"iv", &sealed.iv},
                              std::pair{"data", &sealed.data}}) {
        const auto it = value.find(key);
        if (it == value.end() || !it->is_string() ||
            it->get_ref<const std::string&>().size() > 8192) {
            return std::nullopt;
        }
        *field = it->get<std::string>();
    }
    return sealed;
}

nlohmann::json toJson(const qvipc::wire::Sealed& sealed) {
    return {{"nonce", sealed.nonce}, {"iv", sealed.iv}, {"data", sealed.data}};
}

} // namespace camsim::secrets
