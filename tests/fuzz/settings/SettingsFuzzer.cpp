// Any bytes in the settings file give credentials without harm; what is
// then written reads back the same and stays small, whatever was read.

#include "settings/SettingsFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const orv::Credentials read = orv::settings::Parse(bytes);
    const std::string written = orv::settings::Serialize(read);
    if (written.size() > 4096 || orv::settings::Parse(written) != read) {
        std::abort();
    }
    return 0;
}
