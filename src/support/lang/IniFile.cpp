#include "IniFile.h"

#include "log/LogFile.h"
#include "text/TextConv.h"
#include "text/WideText.h"

#include <fstream>
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

// A profile file that is there but cannot be read is left alone and said so.
IniDocument loadProfile(const std::wstring& path, FileError* error = nullptr) {
    FileError why = FileError::None;
    IniDocument doc = IniDocument::Load(path, &why);
    if (why != FileError::None && why != FileError::Missing) {
        WriteLog(1, "%s is %s: not read or written.", ToUtf8(path).c_str(),
                 std::string(Describe(why)).c_str());
    }
    if (error != nullptr) {
        *error = why;
    }
    return doc;
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
        std::wstring_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.remove_suffix(1);
        }
        // A NUL ends a line's meaningful text, as for the platform reader.
        if (const size_t nul = line.find(L'\0'); nul != std::wstring_view::npos) {
            line = line.substr(0, nul);
        }
        if (end < text.size() || !line.empty()) {
            doc.m_lines.emplace_back(line);
        }
        start = end + 1;
    }
    doc.buildIndex();
    return doc;
}

IniDocument IniDocument::Load(const std::wstring& path, FileError* error) {
    const FileContent file = ReadRegularFile(ToFsPath(path), kMaxProfileBytes);
    if (error != nullptr) {
        *error = file.error;
    }
    return file.error == FileError::None ? Parse(file.bytes) : IniDocument{};
}

void IniDocument::buildIndex() {
    m_sections.clear();
    SectionIndex* current = nullptr;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const std::wstring_view line = m_lines[i];
        if (auto name = sectionName(line)) {
            if (current != nullptr) {
                current->closed = true;
            }
            // Only the first occurrence of a section is read.
            auto [it, added] = m_sections.try_emplace(Upper(*name));
            current = added ? &it->second : nullptr;
            if (current != nullptr) {
                current->header = i;
            }
            continue;
        }
        const size_t eq = line.find(L'=');
        if (current == nullptr || eq == std::wstring_view::npos) {
            continue;
        }
        if (current->keys.try_emplace(Upper(TrimView(line.substr(0, eq))), i).second) {
            current->keyLines.push_back(i);
        }
    }
}

const IniDocument::SectionIndex* IniDocument::findSection(std::wstring_view section) const {
    const auto it = m_sections.find(Upper(TrimView(section)));
    return it == m_sections.end() ? nullptr : &it->second;
}

std::optional<std::wstring> IniDocument::Get(std::wstring_view section,
                                             std::wstring_view key) const {
    const SectionIndex* index = findSection(section);
    if (index == nullptr) {
        return std::nullopt;
    }
    const auto it = index->keys.find(Upper(TrimView(key)));
    if (it == index->keys.end()) {
        return std::nullopt;
    }
    const std::wstring_view line = m_lines[it->second];
    std::wstring_view value = TrimView(line.substr(line.find(L'=') + 1));
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::wstring(value);
}

std::vector<std::wstring> IniDocument::Keys(std::wstring_view section) const {
    std::vector<std::wstring> keys;
    if (const SectionIndex* index = findSection(section)) {
        keys.reserve(index->keyLines.size());
        for (const size_t i : index->keyLines) {
            const std::wstring_view line = m_lines[i];
            keys.emplace_back(TrimView(line.substr(0, line.find(L'='))));
        }
    }
    return keys;
}

bool IniDocument::IsClosed(std::wstring_view section) const {
    const SectionIndex* index = findSection(section);
    return index != nullptr && index->closed;
}

void IniDocument::Set(std::wstring_view section, std::wstring_view key, std::wstring_view value) {
    std::wstring entry(TrimView(key));
    entry += L'=';
    entry += value;

    const SectionIndex* index = findSection(section);
    if (index == nullptr) {
        if (!m_lines.empty() && !TrimView(m_lines.back()).empty()) {
            m_lines.emplace_back();
        }
        m_lines.push_back(L"[" + std::wstring(TrimView(section)) + L"]");
        m_lines.push_back(std::move(entry));
    } else if (const auto it = index->keys.find(Upper(TrimView(key))); it != index->keys.end()) {
        m_lines[it->second] = std::move(entry);
    } else {
        // After the section's last non-blank line.
        size_t lastEntry = index->header;
        for (size_t i = index->header + 1; i < m_lines.size() && !sectionName(m_lines[i]); ++i) {
            if (!TrimView(m_lines[i]).empty()) {
                lastEntry = i;
            }
        }
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1),
                       std::move(entry));
    }
    buildIndex();
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
    auto value = loadProfile(path).Get(section, key);
    return value ? *value : std::wstring(defaultValue);
}

int ReadProfileInt(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                   int defaultValue) {
    const auto value = loadProfile(path).Get(section, key);
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
    FileError error = FileError::None;
    IniDocument doc = loadProfile(path, &error);
    if (error != FileError::None && error != FileError::Missing) {
        return false;
    }
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
