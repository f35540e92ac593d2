#include "NameRules.h"

namespace orv {

std::wstring CutDeviceName(const std::wstring& name) {
    std::size_t bytes = 0;
    std::size_t keep = 0;
    for (wchar_t c : name) {
        const std::size_t cost = static_cast<unsigned long>(c) <= 0xFF ? 1 : 3;
        if (bytes + cost > 31) {
            break;
        }
        bytes += cost;
        ++keep;
    }
    return name.substr(0, keep);
}

} // namespace orv
