// How fast the main window lists many cameras, and what it costs the window
// thread: the whole program against the simulator in a lab of its own, for
// 1000, 2000 and 5000 cameras (or the counts on the command line). Prints
// the time until all five lists are full, the longest window-thread stall
// and the resident memory. Needs root (namespaces, raw capture).

#include "LabNetwork.h"

#include "app/MainDlg.h"
#include "app/StallWatch.h"
#include "memory/Arenas.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

long residentKb() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

void measure(int cameras) {
    LabNetwork lab;
    if (const std::string error = lab.create(1); !error.empty()) {
        std::fprintf(stderr, "lab: %s\n", error.c_str());
        return;
    }
    if (const std::string error = lab.startSimulator(
            {{"cameras", cameras},
             {"addresses", {{"first", "192.0.2.10"}, {"last", "192.0.2.250"}, {"share", true}}}});
        !error.empty()) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return;
    }
    const long before = residentKb();
    QElapsedTimer clock;
    clock.start();
    CMainDlg dlg(true, CMainDlg::Discovery::AllAdapters);
    dlg.show();
    orv::CStallWatch watch(30);
    const auto full = [&] {
        for (CDeviceListPage* page : {static_cast<CDeviceListPage*>(dlg.SearchPage()),
                                      static_cast<CDeviceListPage*>(dlg.BatchUpgradePage()),
                                      static_cast<CDeviceListPage*>(dlg.OemPage())}) {
            if (page->Devices().Count() < cameras) {
                return false;
            }
        }
        return true;
    };
    while (!full() && clock.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const qint64 filled = clock.elapsed();
    // The cameras go on answering every few seconds; the window must too.
    QTest::qWait(3000);
    std::printf("%5d cameras: all five lists full after %lld ms%s; longest window-thread stall "
                "%lld ms; resident memory %ld MB (+%ld MB)\n",
                cameras, static_cast<long long>(filled), full() ? "" : " (NOT FULL)",
                static_cast<long long>(watch.LongestStallMs()), residentKb() / 1024,
                (residentKb() - before) / 1024);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (::geteuid() != 0) {
        std::fprintf(stderr, "list fill: needs root for the lab\n");
        return 2;
    }
    orv::SpreadMemoryArenas();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::printf("list fill (%u cores)\n", std::thread::hardware_concurrency());
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(std::atoi(argv[i]));
    }
    if (counts.empty()) {
        counts = {1000, 2000, 5000};
    }
    for (const int n : counts) {
        measure(n);
    }
    return 0;
}
