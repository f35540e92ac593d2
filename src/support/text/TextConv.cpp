#include "TextConv.h"

#include <clocale>
#include <cstring>
#include <cwchar>
#include <string_view>

#if defined(_WIN32)
#include <windows.h>
#else
#include <climits>
#include <langinfo.h>
#endif

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Reads one code point from wide text, joining UTF-16 surrogate pairs where
// wchar_t is 16 bits wide. A lone surrogate becomes U+FFFD.
char32_t nextCodePoint(std::wstring_view text, size_t& i) {
    char32_t c = static_cast<char32_t>(text[i++]);
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0xD800 && c <= 0xDBFF && i < text.size()) {
            const char32_t low = static_cast<char32_t>(text[i]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                ++i;
                return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            }
        }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        return kReplacement;
    }
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendWide(std::wstring& out, char32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(c);
}

std::string wideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        appendUtf8(out, nextCodePoint(text, i));
    }
    return out;
}

// The length of the well-formed UTF-8 sequence at p[i] and its code point in
// `c`; 0 for a byte that does not start one (overlong forms and encoded
// surrogates included).
int utf8Sequence(const unsigned char* p, size_t n, size_t i, char32_t& c) {
    const unsigned char b = p[i];
    int len = 0;
    char32_t min = 0;
    if (b < 0x80) {
        c = b;
        return 1;
    }
    if ((b & 0xE0) == 0xC0) {
        len = 2;
        c = b & 0x1F;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3;
        c = b & 0x0F;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4;
        c = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + static_cast<size_t>(len) > n) {
        return 0;
    }
    for (int k = 1; k < len; ++k) {
        if ((p[i + k] & 0xC0) != 0x80) {
            return 0;
        }
        c = (c << 6) | (p[i + k] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return 0;
    }
    return len;
}

// Decodes UTF-8; every byte that does not start a well-formed sequence
// becomes one U+FFFD.
std::wstring utf8ToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        char32_t c = 0;
        const int len = utf8Sequence(p, n, i, c);
        appendWide(out, len > 0 ? c : kReplacement);
        i += len > 0 ? static_cast<size_t>(len) : 1;
    }
    return out;
}

#if defined(_WIN32)

std::string wideToAnsi(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int need = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(need > 0 ? need : 0), '\0');
    if (need > 0) {
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), need,
                            nullptr, nullptr);
    }
    return out;
}

std::wstring ansiToWide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int need =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(need > 0 ? need : 0), L'\0');
    if (need > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            need);
    }
    return out;
}

#else

bool localeIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr &&
           (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

// The locale's charset: characters it cannot hold become '?', as the system
// converter on the original platform substitutes its default character.
std::string wideToAnsi(std::wstring_view text) {
    if (localeIsUtf8()) {
        return wideToUtf8(text);
    }
    std::string out;
    std::mbstate_t state{};
    char buf[MB_LEN_MAX];
    for (wchar_t wc : text) {
        const size_t n = std::wcrtomb(buf, wc, &state);
        if (n == static_cast<size_t>(-1)) {
            out += '?';
            state = std::mbstate_t{};
        } else {
            out.append(buf, n);
        }
    }
    return out;
}

std::wstring ansiToWide(std::string_view text) {
    if (localeIsUtf8()) {
        return utf8ToWide(text);
    }
    std::wstring out;
    std::mbstate_t state{};
    size_t i = 0;
    while (i < text.size()) {
        wchar_t wc = 0;
        const size_t n = std::mbrtowc(&wc, text.data() + i, text.size() - i, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            out += static_cast<wchar_t>(kReplacement);
            state = std::mbstate_t{};
            ++i;
        } else {
            out += wc;
            i += (n == 0 ? 1 : n);
        }
    }
    return out;
}

#endif

std::string toCodePage(int codePage, std::wstring_view text) {
    return codePage == orv::kCpUtf8 ? wideToUtf8(text) : wideToAnsi(text);
}

std::wstring fromCodePage(int codePage, std::string_view text) {
    return codePage == orv::kCpUtf8 ? utf8ToWide(text) : ansiToWide(text);
}

} // namespace

int WideToMulti(int codePage, const wchar_t* src, char* dst, int dstSize, bool escape) {
    if (src == nullptr || dst == nullptr || src[0] == L'\0' || dstSize <= 0) {
        return 0;
    }
    std::wstring text;
    if (escape) {
        for (const wchar_t* p = src; *p != L'\0'; ++p) {
            if (*p == L'\\' || *p == L'\'') {
                text += L'\\';
            }
            text += *p;
        }
        if (text.size() > static_cast<size_t>(dstSize - 1)) {
            text.resize(static_cast<size_t>(dstSize - 1));
        }
    } else {
        text = src;
    }
    const std::string out = toCodePage(codePage, text);
    if (out.size() + 1 >= static_cast<size_t>(dstSize)) {
        return 0;
    }
    std::memcpy(dst, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size() + 1);
}

int MultiToWide(int codePage, const char* src, wchar_t* dst, int dstSize) {
    if (src == nullptr || dst == nullptr || src[0] == '\0' || dstSize <= 0) {
        return 0;
    }
    const std::wstring out = fromCodePage(codePage, src);
    if (out.size() + 1 >= static_cast<size_t>(dstSize)) {
        return 0;
    }
    std::wmemcpy(dst, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size() + 1);
}

namespace orv {

std::string ToUtf8(std::wstring_view text) {
    return wideToUtf8(text);
}

std::wstring FromUtf8(std::string_view text) {
    return utf8ToWide(text);
}

std::string ToAnsi(std::wstring_view text) {
    return wideToAnsi(text);
}

std::wstring FromAnsi(std::string_view text) {
    return ansiToWide(text);
}

std::string ToUtf16LeBytes(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    auto put = [&out](char32_t unit) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>((unit >> 8) & 0xFF);
    };
    for (size_t i = 0; i < text.size();) {
        const char32_t c = nextCodePoint(text, i);
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

std::wstring FromUtf16Bytes(std::string_view bytes, bool littleEndian, bool* whole) {
    std::wstring out;
    out.reserve(bytes.size() / 2);
    if (whole != nullptr) {
        *whole = true;
    }
    auto unitAt = [&](size_t at) {
        const auto lo = static_cast<unsigned char>(bytes[at + (littleEndian ? 0 : 1)]);
        const auto hi = static_cast<unsigned char>(bytes[at + (littleEndian ? 1 : 0)]);
        return static_cast<char32_t>(lo | (hi << 8));
    };
    for (size_t i = 0; i + 1 < bytes.size();) {
        char32_t c = unitAt(i);
        i += 2;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < bytes.size()) {
            const char32_t low = unitAt(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
            if (whole != nullptr) {
                *whole = false;
            }
        }
        appendWide(out, c);
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const int len = utf8Sequence(p, text.size(), i, c);
        if (len == 0) {
            return false;
        }
        i += static_cast<size_t>(len);
    }
    return true;
}

} // namespace orv
