#pragma once
// Reading and writing of private-profile (INI) files the way the platform's
// profile functions treat them: section and key names compare without regard
// to case, values lose their surrounding blanks and one pair of enclosing
// quotes, the first occurrence of a section or key wins. Files may be UTF-8
// (with or without a byte-order mark) or UTF-16LE with a byte-order mark; a
// file that is not valid UTF-8 is read in the locale's charset.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

class IniDocument {
public:
    // Parses the bytes of a whole file; never fails, anything that is not a
    // section header or a key=value line is kept but ignored.
    static IniDocument Parse(std::string_view bytes);
    static IniDocument Load(const std::wstring& path);

    std::optional<std::wstring> Get(std::wstring_view section, std::wstring_view key) const;
    // The keys of a section in file order, each once (as first spelled).
    std::vector<std::wstring> Keys(std::wstring_view section) const;
    // Replaces the first matching key or appends it, creating the section
    // at the end when it is missing.
    void Set(std::wstring_view section, std::wstring_view key, std::wstring_view value);
    // The file's bytes in the encoding it was read in (UTF-8 for new files).
    std::string Serialize() const;

private:
    enum class Encoding { Utf8, Utf8Bom, Utf16Le };
    std::optional<size_t> findSection(std::wstring_view section) const;

    std::vector<std::wstring> m_lines;
    Encoding m_encoding = Encoding::Utf8;
};

// The platform's profile calls, by whole file path.
std::wstring ReadProfileString(const std::wstring& path, std::wstring_view section,
                               std::wstring_view key, std::wstring_view defaultValue);
// The value read as a decimal number (optional sign, leading digits only);
// `defaultValue` when the key is missing, 0 when it holds no number.
int ReadProfileInt(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                   int defaultValue);
// Creates the file when needed; false when it cannot be written.
bool WriteProfileString(const std::wstring& path, std::wstring_view section, std::wstring_view key,
                        std::wstring_view value);

// A wide path as the file functions take it (UTF-8 on POSIX systems).
std::filesystem::path ToFsPath(const std::wstring& path);

} // namespace orv
