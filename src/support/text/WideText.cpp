#include "WideText.h"

#include <algorithm>
#include <cwctype>

namespace orv {
namespace {

// ASCII letters by ASCII rules, whatever the locale: a Turkish locale would
// otherwise make "i" and "I" differ in section and key names.
wchar_t upper(wchar_t c) {
    if (c < 0x80) {
        return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    }
    return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
}

} // namespace

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
        c = upper(c);
    }
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return upper(x) == upper(y); });
}

} // namespace orv
