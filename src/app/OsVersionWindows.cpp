#include "ProcessState.h"

#include <windows.h>

namespace orv {

int ComputeOsVersionCode() {
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
}

} // namespace orv
