#pragma once
// Reading and writing of private-profile (INI) files the way the platform's
// profile functions treat them: section and key names compare without regard
// to case, values lose their surrounding blanks and one pair of enclosing
// quotes, the first occurrence of a section or key wins. Files may be UTF-8
// (with or without a byte-order mark) or UTF-16LE with a byte-order mark; a
// file that is not valid UTF-8 is read in the locale's charset.

#include "file/RegularFile.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orv {

// Profile files are small; anything larger is not read.
inline constexpr std::size_t kMaxProfileBytes = 1 << 20;

class IniDocument {
public:
    // Parses the bytes of a whole file; never fails, anything that is not a
    // section header or a key=value line is kept but ignored.
    static IniDocument Parse(std::string_view bytes);
    // A regular file of at most kMaxProfileBytes; empty otherwise, with the
    // reason in `error` when asked.
    static IniDocument Load(const std::wstring& path, FileError* error = nullptr);

    std::optional<std::wstring> Get(std::wstring_view section, std::wstring_view key) const;
    // The keys of a section in file order, each once (as first spelled).
    std::vector<std::wstring> Keys(std::wstring_view section) const;
    // True when the section is present and another one follows it, so more
    // lines at the end of the file could not add to it.
    bool IsClosed(std::wstring_view section) const;
    // Replaces the first matching key or appends it, creating the section
    // at the end when it is missing.
    void Set(std::wstring_view section, std::wstring_view key, std::wstring_view value);
    // The file's bytes in the encoding it was read in (UTF-8 for new files).
    std::string Serialize() const;

private:
    enum class Encoding { Utf8, Utf8Bom, Utf16Le };
    // Where the first occurrence of a section and its keys are, by upper-case
    // name, so that a lookup costs the same in a file of any length.
    struct SectionIndex {
        std::size_t header = 0;
        bool closed = false;
        std::vector<std::size_t> keyLines; // first occurrence of each key, in file order
        std::unordered_map<std::wstring, std::size_t> keys;
    };
    void buildIndex();
    const SectionIndex* findSection(std::wstring_view section) const;

    std::vector<std::wstring> m_lines;
    Encoding m_encoding = Encoding::Utf8;
    std::unordered_map<std::wstring, SectionIndex> m_sections;
};

// The platform's profile calls, by whole file path. A file that is present
// but cannot be read (not a regular file, too large) reads as empty and is
// not written over, so nothing in it is lost; both are logged.
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
