#pragma once
// What the lab measurements share: a lab whose cameras take addresses from
// the benchmarking range 198.18.0.0/15 (reached as through a router, so it
// holds thousands of them), a camera of the simulator's state as the
// maker's discovery would hand it to a job, a job run to its end on an
// event loop that sleeps, and the program's memory and processor time.

#include "LabNetwork.h"
#include "ProcStatus.h"

#include "jobs/JobEngine.h"
#include "protocols/qv/QvRecords.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>

// Creates `lab` and starts the simulator with `config` plus the range's
// addresses; "" or an error.
inline std::string StartRangeLab(LabNetwork& lab, nlohmann::json config) {
    std::string error = lab.create(1);
    if (error.empty()) {
        error = lab.routeRange("198.18.0.1", "198.18.0.0/15");
    }
    if (error.empty()) {
        config["addresses"] = LabNetwork::BenchmarkRange();
        error = lab.startSimulator(std::move(config));
    }
    return error;
}

inline orv::device::DeviceInfo LabTarget(const nlohmann::json& camera) {
    tagQvIpcInfo r{};
    const std::string mac = camera["mac"];
    for (int i = 0; i < 6; ++i) {
        r.Mac[i] = static_cast<unsigned char>(std::stoi(mac.substr(3 * i, 2), nullptr, 16));
    }
    std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", camera["ip"].get<std::string>().c_str());
    r.HttpPort = camera["http_port"];
    return orv::qv::DeviceOf(r, std::chrono::steady_clock::now());
}

// A number of /proc/self/status in kB ("VmRSS:", "VmHWM:"); -1 where missing.
// Sets every thread of process `pid` to nice `value` (a process's nice
// value is its threads' own on Linux).
inline void NiceAll(pid_t pid, int value) {
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(std::stoi(task.path().filename())), value);
    }
}

// The processor time this process (the program's side) has used, in ms.
inline long long CpuMs() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    const auto ms = [](const timeval& t) {
        return static_cast<long long>(t.tv_sec) * 1000 + t.tv_usec / 1000;
    };
    return ms(use.ru_utime) + ms(use.ru_stime);
}

struct JobRun {
    long long ms = 0;
    long long cpuMs = 0;
    int succeeded = 0;
    int failed = 0;
};

// Runs `order` to its end. The event loop sleeps until an event comes: timed
// processEvents() calls would keep one of the cores the program and the
// cameras share.
inline JobRun RunToEnd(orv::jobs::CJobEngine& engine, orv::jobs::JobSpec order) {
    JobRun run;
    const long long cpu = CpuMs();
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    const orv::jobs::JobId job = engine.Start(std::move(order));
    const auto a = QObject::connect(
        &engine, &orv::jobs::CJobEngine::operationDone, [&](const orv::jobs::OperationResult& r) {
            (r.outcome == orv::jobs::Outcome::Succeeded ? run.succeeded : run.failed)++;
        });
    const auto b =
        QObject::connect(&engine, &orv::jobs::CJobEngine::finished, [&](orv::jobs::JobId ended) {
            if (ended == job) {
                loop.quit();
            }
        });
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    if (engine.IsRunning(job)) {
        loop.exec();
    }
    QObject::disconnect(a);
    QObject::disconnect(b);
    run.ms = clock.elapsed();
    run.cpuMs = CpuMs() - cpu;
    return run;
}
