#include "WideText.h"

#include <algorithm>
#include <cwctype>

namespace orv {

std::wstring_view TrimView(std::wstring_view text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && std::iswspace(static_cast<wint_t>(text[b]))) {
        ++b;
    }
    while (e > b && std::iswspace(static_cast<wint_t>(text[e - 1]))) {
        --e;
    }
    return text.substr(b, e - b);
}

std::wstring Upper(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out) {
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    }
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towupper(static_cast<wint_t>(x)) ==
                      std::towupper(static_cast<wint_t>(y));
           });
}

} // namespace orv
