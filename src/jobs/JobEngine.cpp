#include "JobEngine.h"

#include "log/LogFile.h"

#include <QMetaObject>

#include <cstdio>

namespace orv::jobs {

CJobEngine::CJobEngine(IDeviceSdk& sdk, int concurrency, QObject* parent)
    : QObject(parent), m_sdk(sdk) {
    qRegisterMetaType<OperationResult>();
    m_pool.setMaxThreadCount(std::max(1, concurrency));
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

void CJobEngine::runCamera(JobId id, const std::shared_ptr<const JobSpec>& spec, std::size_t index,
                           const std::shared_ptr<Shared>& shared) {
    const auto post = [this](OperationResult r) {
        QMetaObject::invokeMethod(
            this, [this, r = std::move(r)] { onResult(r); }, Qt::QueuedConnection);
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

void CJobEngine::onResult(const OperationResult& r) {
    const auto it = m_jobs.find(r.job);
    const std::string name = it != m_jobs.end() ? it->second.spec.name : std::string();
    char mac[32] = {};
    std::snprintf(mac, sizeof mac, "[%.2X:%.2X:%.2X:%.2X:%.2X:%.2X]", r.device.Mac[0],
                  r.device.Mac[1], r.device.Mac[2], r.device.Mac[3], r.device.Mac[4],
                  r.device.Mac[5]);
    const char* outcome = r.outcome == Outcome::Succeeded ? "Succeeded"
                          : r.outcome == Outcome::Failed  ? "Failed"
                                                          : "Cancelled";
    WriteLog(1, "Job %llu %s: %s %s %.31s %s%s%s", static_cast<unsigned long long>(r.job),
             name.c_str(), r.operation.c_str(), mac, r.device.IpAddr, outcome,
             r.reason == Reason::None ? "" : ": ", ReasonText(r.reason, r.seconds).c_str());
    emit operationDone(r);
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
}

} // namespace orv::jobs
