#include "JobEngine.h"

#include "log/LogFile.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cstdio>

namespace orv::jobs {

CJobEngine::CJobEngine(IDeviceSdk& sdk, int concurrency, QObject* parent)
    : QObject(parent), m_sdk(sdk) {
    qRegisterMetaType<OperationResult>();
    m_pool.setMaxThreadCount(std::clamp(concurrency, 1, kMaxConcurrency));
    // Idle workers go after a while instead of holding a thread each.
    m_pool.setExpiryTimeout(10000);
}

CJobEngine::~CJobEngine() {
    Shutdown();
}

int CJobEngine::Concurrency() const {
    return m_pool.maxThreadCount();
}

JobId CJobEngine::Start(JobSpec spec) {
    const JobId id = m_next++;
    auto state = std::make_shared<Shared>();
    const auto shared = std::make_shared<const JobSpec>(spec);
    const std::size_t count = shared->targets.size();
    m_jobs.emplace(id, Job{std::move(spec), 0, state});
    if (count == 0) {
        // Nothing to do still finishes, on the next turn like any job.
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                m_jobs.erase(id);
                emit finished(id);
            },
            Qt::QueuedConnection);
        return id;
    }
    for (std::size_t i = 0; i < count; ++i) {
        m_pool.start([this, id, shared, i, state] { runCamera(id, shared, i, state); });
    }
    return id;
}

namespace {

// One line per camera and operation, never a password: a field report can
// be rebuilt from the log alone. Written by the worker, so a line is kept
// even when the window closes before the result reaches it.
void logResult(const std::string& job, const OperationResult& r) {
    char mac[32] = {};
    std::snprintf(mac, sizeof mac, "[%.2X:%.2X:%.2X:%.2X:%.2X:%.2X]", r.device.Mac[0],
                  r.device.Mac[1], r.device.Mac[2], r.device.Mac[3], r.device.Mac[4],
                  r.device.Mac[5]);
    const char* outcome = r.outcome == Outcome::Succeeded ? "Succeeded"
                          : r.outcome == Outcome::Failed  ? "Failed"
                                                          : "Cancelled";
    WriteLog(1, "Job %llu %s: %s %s %.31s %s%s%s", static_cast<unsigned long long>(r.job),
             job.c_str(), r.operation.c_str(), mac, r.device.IpAddr, outcome,
             r.reason == Reason::None ? "" : ": ", ReasonText(r.reason, r.seconds).c_str());
}

} // namespace

void CJobEngine::runCamera(JobId id, const std::shared_ptr<const JobSpec>& spec, std::size_t index,
                           const std::shared_ptr<Shared>& shared) {
    const auto post = [this, &spec](OperationResult r) {
        logResult(spec->name, r);
        QMetaObject::invokeMethod(
            this, [this, r = std::move(r)] { emit operationDone(r); }, Qt::QueuedConnection);
    };
    {
        // Counted before the cancel flag is read, so that CancelAndWait
        // either sees this camera at work or this camera sees the flag.
        std::lock_guard lock(shared->lock);
        ++shared->active;
    }
    CameraRun run(m_sdk, id, spec->targets[index], spec->credentials, shared->cancelled, post);
    if (shared->cancelled.load()) {
        for (const std::string& operation : spec->operations) {
            run.ReportFailure(operation, Reason::Cancelled);
        }
    } else if (spec->work) {
        spec->work(run);
    }
    {
        std::lock_guard lock(shared->lock);
        --shared->active;
    }
    shared->idle.notify_all();
    QMetaObject::invokeMethod(
        this, [this, id] { onCameraDone(id); }, Qt::QueuedConnection);
}

void CJobEngine::onCameraDone(JobId id) {
    const auto it = m_jobs.find(id);
    if (it == m_jobs.end()) {
        return;
    }
    Job& job = it->second;
    const int total = static_cast<int>(job.spec.targets.size());
    ++job.done;
    emit progress(id, job.done, total);
    if (job.done == total) {
        m_jobs.erase(it);
        emit finished(id);
    }
}

void CJobEngine::Cancel(JobId id) {
    if (const auto it = m_jobs.find(id); it != m_jobs.end()) {
        it->second.shared->cancelled.store(true);
    }
}

void CJobEngine::CancelAndWait(JobId id) {
    const auto it = m_jobs.find(id);
    if (it == m_jobs.end()) {
        return;
    }
    const std::shared_ptr<Shared> shared = it->second.shared;
    shared->cancelled.store(true);
    std::unique_lock lock(shared->lock);
    shared->idle.wait(lock, [&] { return shared->active == 0; });
}

void CJobEngine::Shutdown() {
    for (auto& [id, job] : m_jobs) {
        job.shared->cancelled.store(true);
    }
    m_pool.waitForDone();
    // What the last cameras reported still reaches the pages, whose results
    // outlive the window's event loop.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

int CJobEngine::ConcurrencyFromEnvironment() {
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("ORVANTIX_JOBS", &ok);
    return ok && n >= 1 ? std::min(n, kMaxConcurrency) : kDefaultConcurrency;
}

} // namespace orv::jobs
