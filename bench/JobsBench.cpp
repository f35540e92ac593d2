// What device jobs cost, against the simulator in a lab of its own: a
// Network Save (ports, then DDNS, one login) over 100 cameras of which 20
// are silent, the same over 100 healthy cameras, and the longest stall of
// the window thread while the main window runs a checked-mode Save and a
// checked-mode OEM upload over 100 and over 1000 cameras (in the benchmarking
// address range). Needs root (namespaces, raw capture).

#include "BenchLab.h"

#include "app/MainDlg.h"
#include "app/StallWatch.h"
#include "jobs/JobEngine.h"
#include "memory/Arenas.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/NetworkParamDlg.h"
#include "pages/oem/OemDlg.h"
#include "protocols/qv/QvRecords.h"
#include "qvipcsdk/QvIpcSdk.h"
#include "services/DeviceServices.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
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

// The window's event handling, timed: with ORVANTIX_BENCH_SLOW_MS=N every
// event the window thread took longer than N ms over is printed with its
// receiver, so a stall can be traced to what caused it.
qint64 threadCpuUs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// How long the calling thread has sat runnable waiting for a CPU: the part
// of a stall that was the machine's other load, not the window's work.
// Read without allocating or opening a file: the measurement must not wait
// for the allocator's lock or for the descriptor table, which grows while
// the probe opens its connections. Called on the window thread only, which
// the file names when first opened.
qint64 runQueueUs() {
    static const int fd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    char text[96] = {};
    if (fd < 0 || ::pread(fd, text, sizeof text - 1, 0) <= 0) {
        return 0;
    }
    char* end = nullptr;
    (void)std::strtoll(text, &end, 10); // time on a CPU
    return std::strtoll(end, nullptr, 10) / 1000;
}

class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (m_depth > 0 || m_slowMs <= 0) {
            return QApplication::notify(receiver, event);
        }
        ++m_depth;
        QElapsedTimer clock;
        clock.start();
        const qint64 cpu = threadCpuUs();
        const qint64 waited = runQueueUs();
        const int type = event->type();
        const bool done = QApplication::notify(receiver, event);
        const qint64 took = clock.elapsed();
        --m_depth;
        if (took >= m_slowMs) {
            std::printf("  slow event: %lld ms (%lld ms on a CPU, %lld ms waiting for one), type "
                        "%d, to %s \"%s\"\n",
                        static_cast<long long>(took), (threadCpuUs() - cpu) / 1000,
                        (runQueueUs() - waited) / 1000, type, receiver->metaObject()->className(),
                        receiver->objectName().toUtf8().constData());
        }
        return done;
    }

private:
    int m_depth = 0;
    const int m_slowMs = qEnvironmentVariableIntValue("ORVANTIX_BENCH_SLOW_MS");
};

// Runs the event loop until `done` holds or `ms` have passed, sleeping
// between events: a loop of timed processEvents() calls would keep one of
// the two cores the program and the cameras share.
void waitUntil(const std::function<bool()>& done, qint64 ms) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= ms) {
            loop.quit();
        }
    });
    look.start(5);
    if (!done()) {
        loop.exec();
    }
}

// A Network Save over `targets` straight through the engine; prints its
// time and outcome counts.
void networkSave(orv::jobs::CJobEngine& engine, const char* what,
                 std::vector<orv::device::DeviceInfo> targets) {
    orv::jobs::JobSpec order;
    order.name = "Batch Set Network";
    order.targets = std::move(targets);
    order.credentials = {QStringLiteral("admin"), QStringLiteral("admin")};
    order.operations = {"Modify Port", "Modify DDNS"};
    order.work = [](orv::jobs::CameraRun& run) {
        using Session = orv::device::IDeviceSession;
        const orv::device::PortSettings ports{{run.Device().ports.http, 8000, 554, 555}, {}};
        run.Report("Modify Port", run.Do([&](Session& s) { return s.SetPorts(ports); }));
        run.Report("Modify DDNS",
                   run.Do([](Session& s) { return s.SetDdns(orv::device::DdnsSettings{}); }));
    };
    const JobRun run = RunToEnd(engine, std::move(order));
    std::printf("%-34s %6lld ms (%d operations succeeded, %d failed; %d at once)\n", what, run.ms,
                run.succeeded, run.failed, engine.Concurrency());
    std::fflush(stdout);
}

// How long a job the window starts takes from `click` to its end, the
// window thread's longest stall meanwhile, and how much of that stall was
// its own (not waiting for a CPU).
struct WindowRun {
    qint64 took = 0;
    qint64 longest = 0;
    qint64 own = 0;
};

WindowRun runFromWindow(CMainDlg& dlg, QPushButton* button) {
    orv::CStallWatch watch(20);
    WindowRun run;
    QElapsedTimer sinceTick;
    qint64 waited = runQueueUs() / 1000;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 nowWaited = runQueueUs() / 1000;
        run.own = std::max(run.own, sinceTick.restart() - 10 - (nowWaited - waited));
        waited = nowWaited;
    });
    sinceTick.start();
    tick.start(10);
    QElapsedTimer clock;
    clock.start();
    if (qEnvironmentVariableIntValue("ORVANTIX_BENCH_SLOW_MS") > 0) {
        std::printf("  -- %s clicked\n", button->objectName().toUtf8().constData());
    }
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    waitUntil([&] { return !dlg.Jobs().AnyRunning(); }, 120000);
    run.took = clock.elapsed();
    run.longest = watch.LongestStallMs();
    return run;
}

// How many simulated cameras' settings `has` something.
int countCameras(LabNetwork& lab, const std::function<bool(const nlohmann::json&)>& has) {
    int count = 0;
    const nlohmann::json state = lab.state();
    for (const auto& camera : state["cameras"]) {
        count += has(camera.value("deviceConfig", nlohmann::json::object())) ? 1 : 0;
    }
    return count;
}

void checkAll(CMainDlg& dlg, CDeviceListPage* page, int cameras) {
    waitUntil([&] { return page->Devices().Count() >= cameras; }, 30000);
    QTest::mouseClick(page->findChild<QCheckBox*>(QStringLiteral("selectAll")), Qt::LeftButton);
    waitUntil([&] { return !dlg.Jobs().AnyRunning(); }, 120000);
}

// The main window with every camera checked: Save on the Batch Set page's
// Network sub-page (one summary line per operation), then an OEM upload
// (one result line per camera, written when the job ends).
void windowStall(LabNetwork& lab, int cameras) {
    // A configuration of its own: each lab's cameras show keys of their
    // own under the same MACs, and must not meet those an earlier lab's
    // cameras were trusted by.
    QTemporaryDir configHome;
    ::setenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit().constData(), 1);
    // The installer says yes to "... will change on N cameras. Go on?".
    orv::ui::SetMessageBoxAnswer([](orv::ui::MessageKind, const QString&) { return true; });
    CMainDlg dlg(true, CMainDlg::Discovery::AllAdapters);
    // As an installer works: in a site, whose book takes every camera seen
    // and every change.
    dlg.OpenSites(std::filesystem::path(configHome.path().toStdString()) / "sites");
    dlg.resize(1200, 800);
    dlg.show();
    dlg.findChild<QLineEdit*>(QStringLiteral("passwordEdit"))->setText(QStringLiteral("admin"));

    CBatchSetDlg* page = dlg.BatchSetPage();
    checkAll(dlg, page, cameras);
    QWidget* network = page->NetworkPage();
    const auto field = [](QWidget* form, const char* name, const QString& text) {
        form->findChild<QLineEdit*>(QString::fromLatin1(name))->setText(text);
    };
    field(network, "httpPortEdit", QStringLiteral("80"));
    const auto saveNetwork = [&](int onvifPort, const char* how) {
        field(network, "onvifPortEdit", QString::number(onvifPort));
        const WindowRun save =
            runFromWindow(dlg, network->findChild<QPushButton*>(QStringLiteral("saveButton")));
        const int configured = countCameras(lab, [onvifPort](const nlohmann::json& config) {
            return config.contains("ports") && config["ports"].value("onvif", 0) == onvifPort;
        });
        std::printf("window, checked Save over %d cameras%s: %lld ms, %d configured; longest "
                    "window-thread stall %lld ms, %lld ms of it its own (not waiting for a CPU)\n",
                    page->Devices().Count(), how, static_cast<long long>(save.took), configured,
                    static_cast<long long>(save.longest), static_cast<long long>(save.own));
    };
    saveNetwork(8000, "");
    if (cameras >= 1000) {
        // On a site the cameras' processors are their own. Here they share
        // the machine's two cores with the tool at the same priority, and
        // most of the stall above is the window waiting for a core the
        // simulator holds; at the lowest priority it yields them.
        NiceAll(lab.simulatorPid(), 19);
        saveNetwork(8001, " (the simulator at the lowest priority)");
        NiceAll(lab.simulatorPid(), 0);
    }

    COemDlg* oem = dlg.OemPage();
    checkAll(dlg, oem, cameras);
    QTemporaryDir files;
    const QString logo = files.filePath(QStringLiteral("logo.bmp"));
    QFile image(logo);
    if (image.open(QIODevice::WriteOnly)) {
        image.write(QByteArray(4096, 'x'));
    }
    image.close();
    field(oem, "companyEdit", QStringLiteral("Acme"));
    field(oem, "imageFileEdit", logo);
    const WindowRun upload =
        runFromWindow(dlg, oem->findChild<QPushButton*>(QStringLiteral("uploadButton")));
    const int branded = countCameras(lab, [](const nlohmann::json& config) {
        return config.value("oem", nlohmann::json::object())
                   .value("info", nlohmann::json::object())
                   .value("company", "") == "Acme";
    });
    std::printf("window, checked OEM upload over %d cameras: %lld ms, %d branded; longest "
                "window-thread stall %lld ms, %lld ms of it its own\n",
                oem->Devices().Count(), static_cast<long long>(upload.took), branded,
                static_cast<long long>(upload.longest), static_cast<long long>(upload.own));
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
    orv::SpreadMemoryArenas();
    TimedApplication app(argc, argv);
    Qv_Sdk_Init();
    std::printf("jobs (%u cores)\n", std::thread::hardware_concurrency());
    // "window": only the window's jobs.
    const bool windowOnly = argc > 1 && std::strcmp(argv[1], "window") == 0;
    if (!windowOnly) {
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
        std::vector<orv::device::DeviceInfo> withSilent;
        std::vector<orv::device::DeviceInfo> healthy;
        int number = 0;
        const nlohmann::json state = lab.state();
        for (const auto& camera : state["cameras"]) {
            ++number;
            if (number <= 100) {
                withSilent.push_back(LabTarget(camera));
            }
            if (!silent(number) && healthy.size() < 100) {
                healthy.push_back(LabTarget(camera));
            }
        }
        orv::CDeviceServices devices(orv::jobs::CJobEngine::kDefaultConcurrency);
        networkSave(devices.Jobs(), "100 cameras, 20 of them silent:", withSilent);
        networkSave(devices.Jobs(), "100 healthy cameras:", healthy);
    }
    // The cameras take addresses from the benchmarking range, reached as
    // through a router, so a lab holds more than the 240 of one /24.
    for (const int cameras : {100, 1000}) {
        LabNetwork lab;
        const std::string error = StartRangeLab(lab, {{"cameras", cameras}});
        if (!error.empty()) {
            std::fprintf(stderr, "lab for %d cameras: %s\n", cameras, error.c_str());
            return 1;
        }
        windowStall(lab, cameras);
    }
    Qv_Sdk_Destroy();
    return 0;
}
