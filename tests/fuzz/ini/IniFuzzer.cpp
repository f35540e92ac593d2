// Language files and Language.ini come from outside the program: any bytes
// must parse without harm, and what was read must survive a write.

#include "lang/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto doc = orv::IniDocument::Parse(bytes);

    for (const wchar_t* section : {L"LANGUAGE", L"PROMPT", L"Main"}) {
        const auto keys = doc.Keys(section);
        const auto reread = orv::IniDocument::Parse(doc.Serialize());
        for (const auto& key : keys) {
            // Keys with a '[' or line break cannot be told from other lines
            // after a rewrite; everything else must read back the same.
            if (key.find_first_of(L"[\r\n") != std::wstring::npos) {
                continue;
            }
            if (reread.Get(section, key) != doc.Get(section, key)) {
                std::abort();
            }
        }
    }

    auto edited = doc;
    edited.Set(L"Main", L"Language", L"2052");
    const auto after = orv::IniDocument::Parse(edited.Serialize());
    if (after.Get(L"Main", L"Language") != L"2052") {
        std::abort();
    }
    return 0;
}
