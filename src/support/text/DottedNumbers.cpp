#include "DottedNumbers.h"

#include <algorithm>
#include <cwctype>
#include <string>

namespace orv {
namespace {

std::optional<long> readNumber(std::wstring_view text, size_t& i) {
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    const size_t start = i;
    long value = 0;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
        value = std::min(value * 10 + (text[i] - L'0'), 1000000L);
        ++i;
    }
    if (i == start) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

} // namespace

std::optional<std::array<int, 4>> ReadFourNumbers(std::wstring_view text) {
    std::array<int, 4> n{};
    size_t i = 0;
    for (size_t k = 0; k < 4; ++k) {
        if (k > 0) {
            if (i >= text.size() || text[i] != L'.') {
                return std::nullopt;
            }
            ++i;
        }
        const auto v = readNumber(text, i);
        if (!v) {
            return std::nullopt;
        }
        n[k] = static_cast<int>(*v);
    }
    return n;
}

long ReadLeadingNumber(std::wstring_view text) {
    size_t i = 0;
    return readNumber(text, i).value_or(0);
}

} // namespace orv
