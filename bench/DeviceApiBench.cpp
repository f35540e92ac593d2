// What the device API costs over the lab link: small calls per second on a
// kept and on a new connection, and the simulator's resident memory with
// 1000 cameras behind the API. Needs root (namespaces).

#include "LabNetwork.h"

#include "qvipcsdk/QvIpcSdk.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long residentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Calls a small Get for `span` and returns calls per second, or -1 when a
// call failed.
double getsPerSecond(int handle, std::chrono::milliseconds span) {
    QvPortInfo ports{};
    int calls = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < span) {
        if (Qv_Ipc_GetPortInfo(handle, &ports) != 0) {
            return -1;
        }
        ++calls;
    }
    return calls / std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main() {
    if (::geteuid() != 0) {
        std::fprintf(stderr, "device api: needs root for the lab\n");
        return 2;
    }
    std::printf("device api (%u cores)\n", std::thread::hardware_concurrency());
    LabNetwork lab;
    if (const std::string error = lab.create(1); !error.empty()) {
        std::fprintf(stderr, "lab: %s\n", error.c_str());
        return 1;
    }
    if (const std::string error = lab.startSimulator(
            {{"cameras", 1000}, {"password", "admin"}, {"addresses", {{"share", true}}}});
        !error.empty()) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    Qv_Sdk_SetTimeouts(2500, 5000);
    const int handle = Qv_Ipc_Login("192.0.2.10", "", 80, "admin", "admin", 0);
    if (handle <= 0) {
        std::fprintf(stderr, "login failed: %d\n", Qv_Sdk_GetLastError());
        return 1;
    }
    const double kept = getsPerSecond(handle, std::chrono::seconds(1));
    Qv_Sdk_SetConnectionReuse(0);
    const double fresh = getsPerSecond(handle, std::chrono::milliseconds(500));
    Qv_Sdk_SetConnectionReuse(1);
    std::printf("small Get over the lab link: %.0f calls/s on a kept connection, %.0f calls/s on "
                "a new connection each\n",
                kept, fresh);
    std::printf("simulator with 1000 cameras and the device API: %ld MB resident\n",
                residentKb(lab.simulatorPid()) / 1024);
    return 0;
}
