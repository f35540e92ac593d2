#include "ProcessState.h"

#include <cstdio>
#include <cstring>

namespace orv {

bool ParseOemMode(int argc, const char* const* argv) {
    return argc > 1 && argv[1] != nullptr && std::strcmp(argv[1], "qvoem") == 0;
}

int OsVersionCodeFor(int major, int minor, bool workstation) {
    if (major < 6) {
        return 20;
    }
    if (major == 6 && minor == 1) {
        return workstation ? 27 : 26;
    }
    return workstation ? 24 : 25;
}

void PendingUrlSlot::Set(const char* url) {
    std::lock_guard lock(m_lock);
    std::memset(m_url, 0, kSize);
    if (url != nullptr) {
        std::snprintf(m_url, kSize, "%s", url);
    }
}

std::string PendingUrlSlot::Take() {
    std::lock_guard lock(m_lock);
    std::string url = m_url;
    std::memset(m_url, 0, kSize);
    return url;
}

void PendingUrlSlot::Clear() {
    std::lock_guard lock(m_lock);
    std::memset(m_url, 0, kSize);
}

ProcessState& TheProcessState() {
    static ProcessState state;
    return state;
}

} // namespace orv
