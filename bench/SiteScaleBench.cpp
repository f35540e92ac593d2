// Jobs at the size of a large site, against the simulator in a lab of its
// own whose cameras take addresses from the benchmarking range 198.18.0.0/15:
// one settings change over 1000 cameras (met for the first time, then
// known), the same with a tenth of them silent (unplugged: their addresses
// are gone from the link), and over 5000 cameras, each with the program's
// memory; and a 64 MiB firmware image to 100 cameras beside the same bytes
// sent by plain parallel transfers over the same link. Needs root
// (namespaces).
//   bench_site_scale            every measurement
//   bench_site_scale 1000       only the jobs over 1000 cameras
//   bench_site_scale firmware   only the firmware

#include "BenchLab.h"

#include "qvipcsdk/QvIpcSdk.h"
#include "services/DeviceServices.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Cameras 10, 20, ... 1000 are silent.
constexpr int kSilentEvery = 10;
constexpr int kSilentBelow = 1000;
constexpr int kLargest = 5000;

bool silent(int camera) {
    return camera <= kSilentBelow && camera % kSilentEvery == 0;
}

// One settings change (the ONVIF port to `onvifPort`, another in every job,
// so that every camera takes a change) over `targets`; prints its time, its
// outcomes and the program's memory.
long long portChange(orv::jobs::CJobEngine& engine, const char* what,
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
    const long before = StatusValue("VmRSS:");
    const JobRun run = RunToEnd(engine, std::move(order));
    std::printf("%-36s %6lld ms (%d succeeded, %d failed); the program's processor time %lld "
                "ms; RSS %ld MB before, peak %ld MB\n",
                what, run.ms, run.succeeded, run.failed, run.cpuMs, before / 1024,
                StatusValue("VmHWM:") / 1024);
    std::fflush(stdout);
    return run.ms;
}

// The same job with and without a site's book taking every camera's
// changes, in turns, so that the machine's drift falls on both alike.
void recordingCost(orv::CDeviceServices& devices,
                   const std::vector<orv::device::DeviceInfo>& targets) {
    char folder[] = "/tmp/orvantix-bench-site.XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        return;
    }
    std::vector<long long> plain;
    std::vector<long long> recorded;
    int port = 8100;
    for (int turn = 0; turn < 5; ++turn) {
        devices.OpenSite(nullptr);
        plain.push_back(portChange(devices.Jobs(), "1000 cameras, no site:", targets, ++port));
        orv::CSiteJournal::Opened site =
            orv::CSiteJournal::Open("Bench", std::string(folder) + "/Bench.site");
        devices.OpenSite(site.journal);
        recorded.push_back(
            portChange(devices.Jobs(), "1000 cameras, recorded in a site:", targets, ++port));
        site.journal->Flush();
    }
    devices.OpenSite(nullptr);
    std::sort(plain.begin(), plain.end());
    std::sort(recorded.begin(), recorded.end());
    const long long a = plain[plain.size() / 2];
    const long long b = recorded[recorded.size() / 2];
    std::printf("recording in the site's book: median %lld ms against %lld ms without (%+.1f %%)\n",
                b, a, 100.0 * static_cast<double>(b - a) / static_cast<double>(a));
    std::filesystem::remove_all(folder);
}

int sites(const std::string& only) {
    const int cameras = only == "1000" ? kSilentBelow + kSilentBelow / kSilentEvery
                                       : kLargest + kSilentBelow / kSilentEvery;
    LabNetwork lab;
    nlohmann::json overrides = nlohmann::json::object();
    for (int camera = 1; camera <= cameras; ++camera) {
        if (silent(camera)) {
            overrides[std::to_string(camera)] = {{"faults", {{"silent", true}}}};
        }
    }
    QElapsedTimer started;
    started.start();
    if (const std::string error =
            StartRangeLab(lab, {{"cameras", cameras}, {"cameras_override", overrides}});
        !error.empty()) {
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
            withSilent.push_back(LabTarget(camera));
        }
        if (!silent(number)) {
            answering.push_back(LabTarget(camera));
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
    recordingCost(devices, thousand);
    if (only != "1000") {
        portChange(devices.Jobs(), "5000 cameras, first contact:", answering, 8004);
        portChange(devices.Jobs(), "5000 cameras, all answering:", answering, 8005);
    }
    return 0;
}

constexpr int kFirmwareCameras = 100;
constexpr long long kImageBytes = 64LL << 20;

// The same bytes to the same cameras' upload without the program: `workers`
// threads, each a libcurl handle that logs in with Digest on a small call
// and then sends the image (over the camera's TLS port, as the program
// does); the bytes per second of all of them.
double plainTransfers(const std::vector<std::string>& ips, const std::string& image,
                      const std::string& name, int workers) {
    std::atomic<std::size_t> next{0};
    std::atomic<int> failures{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        threads.emplace_back([&] {
            for (std::size_t i = next++; i < ips.size(); i = next++) {
                CURL* c = curl_easy_init();
                const std::string base = "https://" + ips[i] + ":443/api/v1/";
                curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
                curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
                curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
                curl_easy_setopt(c, CURLOPT_USERPWD, "admin:admin");
                curl_easy_setopt(
                    c, CURLOPT_WRITEFUNCTION,
                    +[](char*, size_t size, size_t count, void*) { return size * count; });
                curl_easy_setopt(c, CURLOPT_URL, (base + "network/ports").c_str());
                CURLcode code = curl_easy_perform(c);
                std::FILE* file = std::fopen(image.c_str(), "rb");
                curl_easy_setopt(c, CURLOPT_URL, (base + "system/firmware?name=" + name).c_str());
                curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
                curl_easy_setopt(c, CURLOPT_READDATA, file);
                curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(kImageBytes));
                if (code == CURLE_OK && file != nullptr) {
                    code = curl_easy_perform(c);
                }
                long status = 0;
                curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
                failures += code != CURLE_OK || status != 200 ? 1 : 0;
                if (file != nullptr) {
                    std::fclose(file);
                }
                curl_easy_cleanup(c);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    std::printf("plain parallel transfers (%d at once): %.2f s, %d failed\n", workers, seconds,
                failures.load());
    return static_cast<double>(ips.size()) * static_cast<double>(kImageBytes) / seconds;
}

int firmware() {
    LabNetwork lab;
    // Back from the reboot an accepted image makes within a moment.
    if (const std::string error = StartRangeLab(lab, {{"cameras", kFirmwareCameras},
                                                      {"models", {"QVIP3651"}},
                                                      {"versions", {"13.1.0.5"}},
                                                      {"reboot_silence_ms", 200}});
        !error.empty()) {
        std::fprintf(stderr, "lab: %s\n", error.c_str());
        return 1;
    }
    QTemporaryDir files;
    const std::string name = "QVFImage_21.bin";
    const std::string image = files.filePath(QString::fromStdString(name)).toStdString();
    {
        std::ofstream out(image, std::ios::binary);
        const std::string head = "QVFW:13.8.0.1\n";
        out << head << std::string(static_cast<std::size_t>(kImageBytes) - head.size(), 'f');
    }
    std::vector<orv::device::DeviceInfo> targets;
    std::vector<std::string> ips;
    const nlohmann::json state = lab.state();
    for (const auto& camera : state["cameras"]) {
        targets.push_back(LabTarget(camera));
        ips.push_back(camera["ip"]);
    }
    orv::CDeviceServices devices(orv::jobs::CJobEngine::kDefaultConcurrency);
    orv::jobs::JobSpec order;
    order.name = "Batch Upgrade";
    order.targets = targets;
    order.credentials = {QStringLiteral("admin"), QStringLiteral("admin")};
    order.operations = {"Upgrade"};
    order.work = [path = QString::fromStdString(image)](orv::jobs::CameraRun& run) {
        run.Report("Upgrade", run.Do([&](orv::device::IDeviceSession& s) {
            return s.UpdateFirmware(path, run.CancelCheck());
        }));
    };
    const JobRun job = RunToEnd(devices.Jobs(), std::move(order));
    const double ours =
        kFirmwareCameras * static_cast<double>(kImageBytes) * 1000.0 / static_cast<double>(job.ms);
    std::printf("batch upgrade, %d cameras x 64 MiB: %.2f s (%d succeeded, %d failed), %.0f MB/s; "
                "the program's processor time %lld ms\n",
                kFirmwareCameras, static_cast<double>(job.ms) / 1000.0, job.succeeded, job.failed,
                ours / 1e6, job.cpuMs);
    std::this_thread::sleep_for(std::chrono::seconds(1)); // the reboots pass
    const double plain = plainTransfers(ips, image, name, devices.Jobs().Concurrency());
    std::printf("plain parallel transfers: %.0f MB/s; the batch upgrade reached %.0f %% of it\n",
                plain / 1e6, 100.0 * ours / plain);
    return 0;
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
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::printf("site_scale (%u cores)\n", std::thread::hardware_concurrency());
    int rc = 0;
    if (only != "firmware") {
        rc = sites(only);
    }
    if (rc == 0 && (only.empty() || only == "firmware")) {
        rc = firmware();
    }
    Qv_Sdk_Destroy();
    return rc;
}
