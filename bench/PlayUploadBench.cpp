// Live video and firmware over the lab link: the time from a Play to the
// first frame in an X window, and the throughput of a 64 MiB firmware upload.
// Needs root (namespaces) and an X display (scripts/bench starts Xvfb).

#include "LabNetwork.h"
#include "TempDir.h"

#include "operations/preview/PreviewRules.h"
#include "protocols/qv/QvRecords.h"
#include "qvipcsdk/QvIpcSdk.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (::geteuid() != 0 || std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "play and upload: needs root for the lab and an X display\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1); // live video draws into a real X window
    QApplication app(argc, argv);
    std::printf("play and upload (%u cores)\n", std::thread::hardware_concurrency());
    LabNetwork lab;
    if (const std::string error = lab.create(1); !error.empty()) {
        std::fprintf(stderr, "lab: %s\n", error.c_str());
        return 1;
    }
    if (const std::string error = lab.startSimulator({{"cameras", 1},
                                                      {"password", "admin"},
                                                      {"models", {"QVIP3651"}},
                                                      {"versions", {"13.1.0.5"}}});
        !error.empty()) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return 1;
    }
    Qv_Sdk_SetTimeouts(2500, 60000);
    const int handle = Qv_Ipc_Login("192.0.2.10", "", 80, "admin", "admin", 0);
    if (handle <= 0) {
        std::fprintf(stderr, "login failed: %d\n", Qv_Sdk_GetLastError());
        return 1;
    }

    QWidget window;
    window.resize(640, 360);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "no window\n");
        return 1;
    }
    std::vector<double> firstFrame;
    for (int round = 0; round < 5; ++round) {
        QvPlayInfo play = orv::qv::PlayRecordOf(window.winId());
        const auto start = Clock::now();
        if (Qv_IpcClient_LivePlay(handle, &play, 0, 0) != 0) {
            std::fprintf(stderr, "play failed: %d\n", Qv_Sdk_GetLastError());
            return 1;
        }
        firstFrame.push_back(msSince(start));
        Qv_IpcClient_StopLivePlay(handle);
    }
    std::sort(firstFrame.begin(), firstFrame.end());
    std::printf("Play to first frame: median %.0f ms (%.0f-%.0f ms over %zu plays)\n",
                firstFrame[firstFrame.size() / 2], firstFrame.front(), firstFrame.back(),
                firstFrame.size());

    // An image of the camera's family; the camera installs it and reboots.
    constexpr std::size_t kImageBytes = 64u << 20;
    TempDir files;
    files.write("QVFImage_21.bin", "QVFW:13.8.0.1\n" + std::string(kImageBytes, 'f'));
    const std::string image = (files.path() / "QVFImage_21.bin").string();
    const auto start = Clock::now();
    if (Qv_Ipc_UpdateFirmware(handle, image.c_str()) != 0) {
        std::fprintf(stderr, "upload failed: %d\n", Qv_Sdk_GetLastError());
        return 1;
    }
    const double seconds = msSince(start) / 1000;
    std::printf("firmware upload of %zu MiB: %.1f s, %.0f MB/s\n", kImageBytes >> 20, seconds,
                static_cast<double>(kImageBytes) / 1e6 / seconds);
    return 0;
}
