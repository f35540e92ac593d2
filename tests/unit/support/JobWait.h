#pragma once
// Runs a job to its end on the calling thread's event loop and returns what
// it reported, for tests of jobs and of what builds them.

#include "jobs/JobEngine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <vector>

inline std::vector<orv::jobs::OperationResult>
WaitForJob(orv::jobs::CJobEngine& engine, orv::jobs::JobId job, int timeoutMs = 30000) {
    std::vector<orv::jobs::OperationResult> results;
    bool done = false;
    // The loop sleeps between events: timed processEvents() calls would keep
    // a processor the workers need.
    QEventLoop loop;
    const QMetaObject::Connection a = QObject::connect(
        &engine, &orv::jobs::CJobEngine::operationDone, [&](const orv::jobs::OperationResult& r) {
            if (r.job == job) {
                results.push_back(r);
            }
        });
    const QMetaObject::Connection b =
        QObject::connect(&engine, &orv::jobs::CJobEngine::finished, [&](orv::jobs::JobId ended) {
            if (ended == job) {
                done = true;
                loop.quit();
            }
        });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done && engine.IsRunning(job)) {
        loop.exec();
    }
    QObject::disconnect(a);
    QObject::disconnect(b);
    return results;
}

inline std::vector<orv::jobs::OperationResult>
RunJob(orv::jobs::CJobEngine& engine, orv::jobs::JobSpec order, int timeoutMs = 30000) {
    return WaitForJob(engine, engine.Start(std::move(order)), timeoutMs);
}
