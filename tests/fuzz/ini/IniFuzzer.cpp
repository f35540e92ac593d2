// Language files and Language.ini come from outside the program: any bytes
// must parse without harm, and what was read must survive a write.

#include "lang/IniFile.h"
#include "text/WideText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto doc = orv::IniDocument::Parse(bytes);

    std::vector<std::tuple<const wchar_t*, std::wstring, std::optional<std::wstring>>> values;
    for (const wchar_t* section : {L"LANGUAGE", L"PROMPT", L"Main"}) {
        for (auto& key : doc.Keys(section)) {
            // Keys with a '[' or line break cannot be told from other lines
            // after a rewrite.
            if (key.find_first_of(L"[\r\n") == std::wstring::npos) {
                auto value = doc.Get(section, key);
                values.emplace_back(section, std::move(key), std::move(value));
            }
        }
    }

    // One write of the stored choice, read back: the new value and every
    // other value as it was.
    doc.Set(L"Main", L"Language", L"2052");
    const auto reread = orv::IniDocument::Parse(doc.Serialize());
    if (reread.Get(L"Main", L"Language") != L"2052") {
        std::abort();
    }
    for (const auto& [section, key, value] : values) {
        const bool written = section == std::wstring_view(L"Main") &&
                             orv::EqualsNoCase(orv::TrimView(key), L"Language");
        if (!written && reread.Get(section, key) != value) {
            std::abort();
        }
    }
    return 0;
}
