// What device jobs cost, against the simulator in a lab of its own: a
// Network Save (ports, then DDNS, one login) over 100 cameras of which 20
// are silent, the same over 100 healthy cameras, and the longest stall of
// the window thread while the main window runs a checked-mode Save over 100
// cameras. Needs root (namespaces, raw capture).

#include "LabNetwork.h"

#include "app/MainDlg.h"
#include "app/StallWatch.h"
#include "jobs/JobEngine.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/NetworkParamDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kCameras = 120;
// Cameras 5, 10, ... 100 are silent; 101 to 120 stand in for them in the
// healthy run.
bool silent(int camera) {
    return camera <= 100 && camera % 5 == 0;
}

tagQvIpcInfo target(const nlohmann::json& camera) {
    tagQvIpcInfo r{};
    const std::string mac = camera["mac"];
    for (int i = 0; i < 6; ++i) {
        r.Mac[i] = static_cast<unsigned char>(std::stoi(mac.substr(3 * i, 2), nullptr, 16));
    }
    std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", camera["ip"].get<std::string>().c_str());
    r.HttpPort = camera["http_port"];
    return r;
}

// How long the calling thread has sat runnable waiting for a CPU: the part
// of a stall that was the machine's other load, not the window's work.
qint64 runQueueMs() {
    std::ifstream in("/proc/thread-self/schedstat");
    long long running = 0;
    long long waiting = 0;
    in >> running >> waiting;
    return waiting / 1000000;
}

// A Network Save over `targets` straight through the engine; prints its
// time and outcome counts.
void networkSave(orv::jobs::CJobEngine& engine, const char* what,
                 std::vector<tagQvIpcInfo> targets) {
    orv::jobs::JobSpec order;
    order.name = "Batch Set Network";
    order.targets = std::move(targets);
    std::snprintf(order.credentials.user, sizeof order.credentials.user, "admin");
    std::snprintf(order.credentials.password, sizeof order.credentials.password, "admin");
    order.operations = {"Modify Port", "Modify DDNS"};
    order.work = [](orv::jobs::CameraRun& run) {
        const int h = run.Handle();
        const QvPortInfo ports{run.Device().HttpPort, 8000, 554, 555, 0};
        run.Report("Modify Port", h < 0 ? -1 : run.Sdk().SetPortInfo(h, &ports));
        QvDdnsInfo ddns{};
        run.Report("Modify DDNS", h < 0 ? -1 : run.Sdk().SetDdns(h, &ddns));
    };
    int succeeded = 0;
    int failed = 0;
    bool done = false;
    const orv::jobs::JobId job = engine.Start(std::move(order));
    QElapsedTimer clock;
    clock.start();
    const auto a = QObject::connect(
        &engine, &orv::jobs::CJobEngine::operationDone, [&](const orv::jobs::OperationResult& r) {
            (r.outcome == orv::jobs::Outcome::Succeeded ? succeeded : failed)++;
        });
    const auto b = QObject::connect(&engine, &orv::jobs::CJobEngine::finished,
                                    [&](orv::jobs::JobId ended) { done = done || ended == job; });
    while (!done && clock.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    QObject::disconnect(a);
    QObject::disconnect(b);
    std::printf("%-34s %6lld ms (%d operations succeeded, %d failed; %d at once)\n", what,
                static_cast<long long>(clock.elapsed()), succeeded, failed, engine.Concurrency());
    std::fflush(stdout);
}

// The main window with every camera checked on the Batch Set page, Save on
// its Network sub-page, and the longest stall of the window thread from the
// click until the job's end.
void windowStall(LabNetwork& lab, int cameras) {
    CMainDlg dlg(false, CMainDlg::Discovery::AllAdapters);
    dlg.resize(1200, 800);
    dlg.show();
    dlg.findChild<QLineEdit*>(QStringLiteral("passwordEdit"))->setText(QStringLiteral("admin"));
    CBatchSetDlg* page = dlg.BatchSetPage();
    QElapsedTimer clock;
    clock.start();
    while (page->Devices().Count() < cameras && clock.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QTest::mouseClick(page->findChild<QCheckBox*>(QStringLiteral("selectAll")), Qt::LeftButton);
    while (dlg.Jobs().AnyRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QWidget* network = page->NetworkPage();
    const auto field = [network](const char* name, const char* text) {
        network->findChild<QLineEdit*>(QString::fromLatin1(name))
            ->setText(QString::fromLatin1(text));
    };
    field("httpPortEdit", "80");
    field("onvifPortEdit", "8000");
    orv::CStallWatch watch(20);
    // The same lateness as the watch's, less the time the window thread
    // waited for a CPU.
    qint64 own = 0;
    QElapsedTimer sinceTick;
    qint64 waited = runQueueMs();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 nowWaited = runQueueMs();
        own = std::max(own, sinceTick.restart() - 10 - (nowWaited - waited));
        waited = nowWaited;
    });
    sinceTick.start();
    tick.start(10);
    clock.restart();
    QTest::mouseClick(network->findChild<QPushButton*>(QStringLiteral("saveButton")),
                      Qt::LeftButton);
    QCoreApplication::processEvents();
    while (dlg.Jobs().AnyRunning() && clock.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const qint64 took = clock.elapsed();
    int configured = 0;
    const nlohmann::json state = lab.state();
    for (const auto& camera : state["cameras"]) {
        const auto config = camera.value("deviceConfig", nlohmann::json::object());
        configured += config.contains("ports") && config["ports"].value("onvif", 0) == 8000;
    }
    std::printf("window, checked Save over %d cameras: %lld ms, %d configured; longest "
                "window-thread stall %lld ms, %lld ms of it its own (not waiting for a CPU)\n",
                page->Devices().Count(), static_cast<long long>(took), configured,
                static_cast<long long>(watch.LongestStallMs()), static_cast<long long>(own));
    std::fflush(stdout);
    dlg.close();
}

} // namespace

int main(int argc, char** argv) {
    if (::geteuid() != 0) {
        std::fprintf(stderr, "jobs: needs root for the lab\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    Qv_Sdk_Init();
    std::printf("jobs (%u cores)\n", std::thread::hardware_concurrency());
    {
        LabNetwork lab;
        nlohmann::json overrides = nlohmann::json::object();
        for (int camera = 1; camera <= kCameras; ++camera) {
            if (silent(camera)) {
                overrides[std::to_string(camera)] = {{"faults", {{"silent", true}}}};
            }
        }
        if (const std::string error = lab.create(1); !error.empty()) {
            std::fprintf(stderr, "lab: %s\n", error.c_str());
            return 1;
        }
        if (const std::string error =
                lab.startSimulator({{"cameras", kCameras}, {"cameras_override", overrides}});
            !error.empty()) {
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
            return 1;
        }
        std::vector<tagQvIpcInfo> withSilent;
        std::vector<tagQvIpcInfo> healthy;
        int number = 0;
        const nlohmann::json state = lab.state();
        for (const auto& camera : state["cameras"]) {
            ++number;
            if (number <= 100) {
                withSilent.push_back(target(camera));
            }
            if (!silent(number) && healthy.size() < 100) {
                healthy.push_back(target(camera));
            }
        }
        orv::CQvDeviceSdk sdk;
        orv::jobs::CJobEngine engine(sdk);
        networkSave(engine, "100 cameras, 20 of them silent:", withSilent);
        networkSave(engine, "100 healthy cameras:", healthy);
    }
    {
        LabNetwork lab;
        if (lab.create(1).empty() && lab.startSimulator({{"cameras", 100}}).empty()) {
            windowStall(lab, 100);
        }
    }
    Qv_Sdk_Destroy();
    return 0;
}
