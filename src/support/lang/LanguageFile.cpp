#include "LanguageFile.h"

#include "log/LogFile.h"
#include "text/TextConv.h"

#include <algorithm>
#include <cwchar>

namespace orv {
namespace {

constexpr std::size_t kNameChars = 259;

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

// The complete lines at the start of a file's first bytes.
std::string_view wholeLines(std::string_view bytes) {
    const bool little = startsWith(bytes, "\xFF\xFE");
    if (little || startsWith(bytes, "\xFE\xFF")) {
        // UTF-16: a line break is a whole unit at an even offset.
        const char high = little ? '\0' : '\n';
        const char low = little ? '\n' : '\0';
        for (std::size_t i = (bytes.size() - 2) & ~std::size_t{1}; i >= 2; i -= 2) {
            if (bytes[i] == low && bytes[i + 1] == high) {
                return bytes.substr(0, i + 2);
            }
        }
        return {};
    }
    const std::size_t end = bytes.rfind('\n');
    return end == std::string_view::npos ? std::string_view{} : bytes.substr(0, end + 1);
}

// Without a byte-order mark a file is read as UTF-8 only when all of it is
// valid UTF-8; while the two readings of these bytes differ, the rest of the
// file decides between them.
bool charsetSettled(std::string_view bytes) {
    if (startsWith(bytes, "\xEF\xBB\xBF") || startsWith(bytes, "\xFF\xFE") ||
        startsWith(bytes, "\xFE\xFF") ||
        std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; })) {
        return true;
    }
    return !IsValidUtf8(bytes) || FromUtf8(bytes) == FromAnsi(bytes);
}

void logUnusable(const std::wstring& path, const FileContent& file) {
    if (file.error == FileError::TooLarge) {
        WriteLog(1, "Language file %s has %llu bytes, more than %zu: left out.",
                 ToUtf8(path).c_str(), static_cast<unsigned long long>(file.size),
                 kMaxLanguageFileBytes);
    } else {
        WriteLog(1, "Language file %s is %s: left out.", ToUtf8(path).c_str(),
                 std::string(Describe(file.error)).c_str());
    }
}

} // namespace

std::optional<LanguageHeader> HeaderFromBytes(std::string_view bytes, bool wholeFile) {
    const std::string_view lines = wholeFile ? bytes : wholeLines(bytes);
    if (!wholeFile && (lines.empty() || !charsetSettled(lines))) {
        return std::nullopt;
    }
    const IniDocument doc = IniDocument::Parse(lines);
    auto name = doc.Get(L"LANGUAGE", L"Language");
    const auto id = doc.Get(L"LANGUAGE", L"LangID");
    // The first occurrence of each key counts, and a section ends where the
    // next one begins: later lines can add nothing then.
    if (!wholeFile && !(name && id) && !doc.IsClosed(L"LANGUAGE")) {
        return std::nullopt;
    }
    LanguageHeader header;
    header.name = name ? std::move(*name) : std::wstring();
    if (header.name.size() > kNameChars) {
        header.name.resize(kNameChars);
    }
    // The profile reader's number rules: optional sign, leading digits.
    header.langId = id ? static_cast<int>(std::wcstol(id->c_str(), nullptr, 10)) : 0;
    return header;
}

std::optional<LanguageHeader> ReadLanguageHeader(const std::wstring& path) {
    const FileContent start =
        ReadRegularFile(ToFsPath(path), kMaxLanguageFileBytes, Links::Follow, kLanguageHeaderBytes);
    if (start.error != FileError::None) {
        logUnusable(path, start);
        return std::nullopt;
    }
    if (auto header = HeaderFromBytes(start.bytes, start.whole())) {
        return header;
    }
    const FileContent all = ReadRegularFile(ToFsPath(path), kMaxLanguageFileBytes);
    if (all.error != FileError::None) {
        logUnusable(path, all);
        return std::nullopt;
    }
    return HeaderFromBytes(all.bytes, true);
}

IniDocument ReadLanguageFile(const std::wstring& path) {
    const FileContent file = ReadRegularFile(ToFsPath(path), kMaxLanguageFileBytes);
    if (file.error != FileError::None) {
        logUnusable(path, file);
        return {};
    }
    return IniDocument::Parse(file.bytes);
}

} // namespace orv
