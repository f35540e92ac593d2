#include "ProcessState.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

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

int ComputeOsVersionCode() {
#if defined(_WIN32)
    // GetVersionEx reports 6.2 to programs without a compatibility manifest;
    // RtlGetVersion tells the truth.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        auto fn = reinterpret_cast<RtlGetVersionFn>(GetProcAddress(ntdll, "RtlGetVersion"));
        if (fn != nullptr && fn(&info) == 0) {
            return OsVersionCodeFor(static_cast<int>(info.dwMajorVersion),
                                    static_cast<int>(info.dwMinorVersion),
                                    info.wProductType == VER_NT_WORKSTATION);
        }
    }
    return 20;
#else
    return 24;
#endif
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
