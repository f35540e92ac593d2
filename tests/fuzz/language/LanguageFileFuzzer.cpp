// The Language menu reads a language file's header from the file's first
// bytes when they settle it. For any file and any point the read may stop
// at, a header taken from the first part must be the whole file's header.
// Input: two bytes choosing where the first part ends, then the file.

#include "lang/LanguageFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string_view file(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t cut = (std::size_t{data[0]} << 8 | data[1]) % (file.size() + 1);
    const auto whole = orv::HeaderFromBytes(file, true);
    const auto part = orv::HeaderFromBytes(file.substr(0, cut), false);
    if (!whole || (part && *part != *whole)) {
        std::abort();
    }
    return 0;
}
