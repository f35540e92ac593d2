// Loopback measurements: small Gets per second with and without connection
// reuse, and the time a call to a dead address takes to fail.

#include "TestCameras.h"

#include <cstdio>
#include <thread>

using namespace testcams;

namespace {

double getsPerSecond(const Lab& lab, bool reuse, int calls) {
    Qv_Sdk_SetConnectionReuse(reuse ? 1 : 0);
    const int h = lab.login(0);
    QvImagingSettings picture{};
    const auto start = std::chrono::steady_clock::now();
    int ok = 0;
    for (int i = 0; i < calls; ++i) {
        ok += Qv_Ipc_GetImagingSettings(h, &picture) == 0 ? 1 : 0;
    }
    const double seconds = secondsSince(start);
    if (ok != calls) {
        std::printf("  %d of %d calls failed\n", calls - ok, calls);
    }
    Qv_Sdk_SetConnectionReuse(1);
    return calls / seconds;
}

} // namespace

// With an address argument (for example one that is routed into a dummy
// interface inside a network namespace) it also times a login to it.
int main(int argc, char** argv) {
    Qv_Sdk_Init();
    std::printf("SDK calls on loopback (%u cores)\n", std::thread::hardware_concurrency());
    if (argc > 1) {
        const auto start = std::chrono::steady_clock::now();
        const int h = Qv_Ipc_Login(argv[1], argv[1], 80, "admin", "x", 0);
        std::printf("login to %s: %d (error %d) after %.3f s\n", argv[1], h, Qv_Sdk_GetLastError(),
                    secondsSince(start));
    }
    {
        Lab lab{1};
        std::printf("small Get, connection reused: %.0f calls/s\n", getsPerSecond(lab, true, 3000));
        std::printf("small Get, new connection each: %.0f calls/s\n",
                    getsPerSecond(lab, false, 1000));
        const auto start = std::chrono::steady_clock::now();
        const int h = Qv_Ipc_Login("127.0.0.99", "127.0.0.99", freePort(), "admin", "x", 0);
        std::printf("login to a dead loopback address: %d (error %d) after %.3f s\n", h,
                    Qv_Sdk_GetLastError(), secondsSince(start));
    }
    Qv_Sdk_Destroy();
    return 0;
}
