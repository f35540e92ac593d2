#include "IniFile.h"

#include "text/TextConv.h"
#include "text/WideText.h"

#include <algorithm>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace orv {
namespace {

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::wstring_view> sectionName(std::wstring_view line) {
    const std::wstring_view t = TrimView(line);
    if (t.empty() || t.front() != L'[') {
        return std::nullopt;
    }
    const size_t close = t.find(L']');
    if (close == std::wstring_view::npos) {
        return std::nullopt;
    }
    return TrimView(t.substr(1, close - 1));
}

} // namespace

IniDocument IniDocument::Parse(std::string_view bytes) {
    IniDocument doc;
    std::wstring text;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        doc.m_encoding = Encoding::Utf8Bom;
        text = FromUtf8(bytes.substr(3));
    } else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
        doc.m_encoding = Encoding::Utf16Le;
        text = FromUtf16Bytes(bytes.substr(2), true);
    } else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") {
        // Big-endian files are read but written back little-endian.
        doc.m_encoding = Encoding::Utf16Le;
        text = FromUtf16Bytes(bytes.substr(2), false);
    } else if (IsValidUtf8(bytes)) {
        text = FromUtf8(bytes);
    } else {
        text = FromAnsi(bytes);
    }

    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        // A NUL ends a line's meaningful text, as for the platform reader.
        if (const size_t nul = line.find(L'\0'); nul != std::wstring::npos) {
            line.resize(nul);
        }
        if (end < text.size() || !line.empty()) {
            doc.m_lines.push_back(std::move(line));
        }
        start = end + 1;
    }
    return doc;
}

IniDocument IniDocument::Load(const std::wstring& path) {
    std::ifstream in(ToFsPath(path), std::ios::binary);
    if (!in) {
        return {};
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return Parse(bytes);
}

std::optional<size_t> IniDocument::findSection(std::wstring_view section) const {
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (auto name = sectionName(m_lines[i]); name && EqualsNoCase(*name, TrimView(section))) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::wstring> IniDocument::Get(std::wstring_view section,
                                             std::wstring_view key) const {
    const auto head = findSection(section);
    if (!head) {
        return std::nullopt;
    }
    const std::wstring_view wanted = TrimView(key);
    for (size_t i = *head + 1; i < m_lines.size() && !sectionName(m_lines[i]); ++i) {
        const std::wstring_view line = m_lines[i];
        const size_t eq = line.find(L'=');
        if (eq == std::wstring_view::npos || !EqualsNoCase(TrimView(line.substr(0, eq)), wanted)) {
            continue;
        }
        std::wstring_view value = TrimView(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return std::wstring(value);
    }
    return std::nullopt;
}

std::vector<std::wstring> IniDocument::Keys(std::wstring_view section) const {
    std::vector<std::wstring> keys;
    const auto head = findSection(section);
    if (!head) {
        return keys;
    }
    for (size_t i = *head + 1; i < m_lines.size() && !sectionName(m_lines[i]); ++i) {
        const std::wstring_view line = m_lines[i];
        const size_t eq = line.find(L'=');
        if (eq == std::wstring_view::npos) {
            continue;
        }
        const std::wstring_view key = TrimView(line.substr(0, eq));
        const bool seen = std::any_of(keys.begin(), keys.end(),
                                      [&](const std::wstring& k) { return EqualsNoCase(k, key); });
        if (!seen) {
            keys.emplace_back(key);
        }
    }
    return keys;
}

void IniDocument::Set(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
    std::wstring entry(TrimView(key));
    entry += L'=';
    entry += value;

    const auto head = findSection(section);
    if (!head) {
        if (!m_lines.empty() && !TrimView(m_lines.back()).empty()) {
            m_lines.emplace_back();
        }
        m_lines.push_back(L"[" + std::wstring(TrimView(section)) + L"]");
        m_lines.push_back(std::move(entry));
        return;
    }
    size_t lastEntry = *head;
    size_t i = *head + 1;
    for (; i < m_lines.size() && !sectionName(m_lines[i]); ++i) {
        const std::wstring_view line = m_lines[i];
        const size_t eq = line.find(L'=');
        if (eq != std::wstring_view::npos &&
            EqualsNoCase(TrimView(line.substr(0, eq)), TrimView(key))) {
            m_lines[i] = std::move(entry);
            return;
        }
        if (!TrimView(line).empty()) {
            lastEntry = i;
        }
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), std::move(entry));
}

std::string IniDocument::Serialize() const {
    std::wstring text;
    for (const auto& line : m_lines) {
        text += line;
        text += L"\r\n";
    }
    switch (m_encoding) {
    case Encoding::Utf16Le:
        return "\xFF\xFE" + ToUtf16LeBytes(text);
    case Encoding::Utf8Bom:
        return "\xEF\xBB\xBF" + ToUtf8(text);
    case Encoding::Utf8:
        break;
    }
    return ToUtf8(text);
}

std::wstring ReadProfileString(const std::wstring& path, std::wstring_view section,
                               std::wstring_view key, std::wstring_view defaultValue) {
    auto value = IniDocument::Load(path).Get(section, key);
    return value ? *value : std::wstring(defaultValue);
}

int ReadProfileInt(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                   int defaultValue) {
    const auto value = IniDocument::Load(path).Get(section, key);
    if (!value) {
        return defaultValue;
    }
    size_t i = 0;
    const bool negative = !value->empty() && (*value)[0] == L'-';
    if (negative || (!value->empty() && (*value)[0] == L'+')) {
        ++i;
    }
    long long n = 0;
    for (; i < value->size() && (*value)[i] >= L'0' && (*value)[i] <= L'9'; ++i) {
        n = n * 10 + ((*value)[i] - L'0');
        if (n > 0xFFFFFFFFLL) {
            n = 0xFFFFFFFFLL;
        }
    }
    if (negative) {
        n = -n;
    }
    return static_cast<int>(static_cast<unsigned int>(n & 0xFFFFFFFFLL));
}

bool WriteProfileString(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                        std::wstring_view value) {
    IniDocument doc = IniDocument::Load(path);
    doc.Set(section, key, value);
    const std::string bytes = doc.Serialize();

    // Write beside the file and rename over it, so a crash mid-write never
    // leaves a half file behind.
    const fs::path target = ToFsPath(path);
    fs::path temp = target;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

fs::path ToFsPath(const std::wstring& path) {
#if defined(_WIN32)
    return fs::path(path);
#else
    const std::string utf8 = ToUtf8(path);
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
#endif
}

} // namespace orv
