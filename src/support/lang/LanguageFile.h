#pragma once
// Reading one language file: its header (display name and identifier) for
// the Language menu from the file's first bytes alone where they settle it,
// the whole file for the texts, and a cap on its size, so that a huge file
// in Lang/ costs a glance, not a read.

#include "IniFile.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orv {

inline constexpr std::size_t kMaxLanguageFileBytes = 1 << 20;
inline constexpr std::size_t kLanguageHeaderBytes = 16 << 10;

struct LanguageHeader {
    std::wstring name; // "LANGUAGE"/"Language", cut to 259 characters
    int langId = 0;    // "LANGUAGE"/"LangID"; 0 when missing
    bool operator==(const LanguageHeader&) const = default;
};

// The header as the first bytes of a file give it (all of them with
// `wholeFile`); nothing when they do not settle it: the section goes on past
// them, or the rest of the file could change the charset they are read in.
std::optional<LanguageHeader> HeaderFromBytes(std::string_view bytes, bool wholeFile);

// The header of a language file, read from its start where possible;
// nothing (and a log line) for a file that is not a regular file of at most
// kMaxLanguageFileBytes.
std::optional<LanguageHeader> ReadLanguageHeader(const std::wstring& path);

// A whole language file; empty (and a log line) when it cannot be used.
IniDocument ReadLanguageFile(const std::wstring& path);

} // namespace orv
