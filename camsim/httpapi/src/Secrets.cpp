#include "Secrets.h"

namespace camsim::secrets {

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
