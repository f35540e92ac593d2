// Jobs at the size of a large site, against the simulator in a lab of its
// own whose cameras take addresses from the benchmarking range 198.18.0.0/15:
// one settings change over 1000 cameras (met for the first time, then
// known), the same with a tenth of them silent (unplugged: their addresses
// are gone from the link), and over 5000 cameras, each with the program's
// memory. Needs root (namespaces).
//   bench_site_scale            every measurement
//   bench_site_scale 1000       only the jobs over 1000 cameras

#include "LabNetwork.h"

#include "jobs/JobEngine.h"
#include "protocols/qv/QvRecords.h"
#include "qvipcsdk/QvIpcSdk.h"
#include "services/DeviceServices.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

// Cameras 10, 20, ... 1000 are silent.
constexpr int kSilentEvery = 10;
constexpr int kSilentBelow = 1000;
constexpr int kLargest = 5000;

bool silent(int camera) {
    return camera <= kSilentBelow && camera % kSilentEvery == 0;
}

// A camera as the maker's discovery would hand it to a job.
orv::device::DeviceInfo target(const nlohmann::json& camera) {
    tagQvIpcInfo r{};
    const std::string mac = camera["mac"];
    for (int i = 0; i < 6; ++i) {
        r.Mac[i] = static_cast<unsigned char>(std::stoi(mac.substr(3 * i, 2), nullptr, 16));
    }
    std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", camera["ip"].get<std::string>().c_str());
    r.HttpPort = camera["http_port"];
    return orv::qv::DeviceOf(r, std::chrono::steady_clock::now());
}

// The processor time this process (the program's side) has used, in ms.
long long cpuMs() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    const auto ms = [](const timeval& t) {
        return static_cast<long long>(t.tv_sec) * 1000 + t.tv_usec / 1000;
    };
    return ms(use.ru_utime) + ms(use.ru_stime);
}

long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stol(line.substr(std::strlen(key)));
        }
    }
    return -1;
}

// One settings change (the ONVIF port to `onvifPort`, another in every job,
// so that every camera takes a change) over `targets` through the engine;
// prints its time, its outcomes and the program's memory.
void portChange(orv::jobs::CJobEngine& engine, const char* what,
                std::vector<orv::device::DeviceInfo> targets, int onvifPort) {
    orv::jobs::JobSpec order;
    order.name = "Batch Set Network";
    order.targets = std::move(targets);
    order.credentials = {QStringLiteral("admin"), QStringLiteral("admin")};
    order.operations = {"Modify Port"};
    order.work = [onvifPort](orv::jobs::CameraRun& run) {
        using Session = orv::device::IDeviceSession;
        const orv::device::PortSettings ports{{run.Device().ports.http, onvifPort, 554, 555}, {}};
        run.Report("Modify Port", run.Do([&](Session& s) { return s.SetPorts(ports); }));
    };
    int succeeded = 0;
    int failed = 0;
    bool done = false;
    const long before = statusKb("VmRSS:");
    const long long cpuBefore = cpuMs();
    QElapsedTimer clock;
    clock.start();
    const orv::jobs::JobId job = engine.Start(std::move(order));
    const auto a = QObject::connect(
        &engine, &orv::jobs::CJobEngine::operationDone, [&](const orv::jobs::OperationResult& r) {
            (r.outcome == orv::jobs::Outcome::Succeeded ? succeeded : failed)++;
        });
    const auto b = QObject::connect(&engine, &orv::jobs::CJobEngine::finished,
                                    [&](orv::jobs::JobId ended) { done = done || ended == job; });
    // Sleeps until an event comes: a loop of timed processEvents() calls
    // would keep one of the two cores the program and the cameras share.
    QEventLoop loop;
    const auto c = QObject::connect(&engine, &orv::jobs::CJobEngine::finished, &loop,
                                    &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    if (!done) {
        loop.exec();
    }
    QObject::disconnect(c);
    QObject::disconnect(a);
    QObject::disconnect(b);
    const long long took = clock.elapsed();
    std::printf("%-36s %6lld ms (%d succeeded, %d failed); the program's processor time %lld "
                "ms; RSS %ld MB before, peak %ld MB\n",
                what, took, succeeded, failed, cpuMs() - cpuBefore, before / 1024,
                statusKb("VmHWM:") / 1024);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (::geteuid() != 0) {
        std::fprintf(stderr, "site_scale: needs root for the lab\n");
        return 2;
    }
    const std::string only = argc > 1 ? argv[1] : "";
    QCoreApplication app(argc, argv);
    Qv_Sdk_Init();
    std::printf("site_scale (%u cores)\n", std::thread::hardware_concurrency());
    const int cameras = only == "1000" ? kSilentBelow + kSilentBelow / kSilentEvery
                                       : kLargest + kSilentBelow / kSilentEvery;
    LabNetwork lab;
    nlohmann::json overrides = nlohmann::json::object();
    for (int camera = 1; camera <= cameras; ++camera) {
        if (silent(camera)) {
            overrides[std::to_string(camera)] = {{"faults", {{"silent", true}}}};
        }
    }
    std::string error = lab.create(1);
    if (error.empty()) {
        error = lab.routeRange("198.18.0.1", "198.18.0.0/15");
    }
    QElapsedTimer started;
    started.start();
    if (error.empty()) {
        error = lab.startSimulator({{"cameras", cameras},
                                    {"cameras_override", overrides},
                                    {"addresses",
                                     {{"first", "198.18.0.10"},
                                      {"last", "198.19.255.250"},
                                      {"netmask", "255.254.0.0"},
                                      {"gateway", "198.18.0.1"},
                                      {"dns", "198.18.0.1"}}}});
    }
    if (!error.empty()) {
        std::fprintf(stderr, "lab: %s\n", error.c_str());
        return 1;
    }
    std::printf("simulator with %d cameras ready in %lld ms\n", cameras,
                static_cast<long long>(started.elapsed()));
    std::vector<orv::device::DeviceInfo> withSilent;
    std::vector<orv::device::DeviceInfo> answering;
    int number = 0;
    const nlohmann::json state = lab.state();
    for (const auto& camera : state["cameras"]) {
        ++number;
        if (number <= kSilentBelow) {
            withSilent.push_back(target(camera));
        }
        if (!silent(number)) {
            answering.push_back(target(camera));
        }
    }
    orv::CDeviceServices devices(orv::jobs::CJobEngine::kDefaultConcurrency);
    std::vector<orv::device::DeviceInfo> thousand(answering.begin(),
                                                  answering.begin() + kSilentBelow);
    // The first job meets each camera for the first time: it asks for the
    // camera's TLS offer and trusts the key shown. Later jobs meet cameras
    // the program knows, as on a site it has seen before.
    portChange(devices.Jobs(), "1000 cameras, first contact:", thousand, 8001);
    portChange(devices.Jobs(), "1000 cameras, all answering:", thousand, 8002);
    portChange(devices.Jobs(), "1000 cameras, 100 of them silent:", withSilent, 8003);
    if (only != "1000") {
        portChange(devices.Jobs(), "5000 cameras, first contact:", answering, 8004);
        portChange(devices.Jobs(), "5000 cameras, all answering:", answering, 8005);
    }
    Qv_Sdk_Destroy();
    return 0;
}
