#include "JobEngine.h"

#include "log/LogFile.h"

#include <QMetaObject>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace orv::jobs {

CJobEngine::CJobEngine(const device::CDriverSet& drivers, int concurrency, QObject* parent)
    : QObject(parent), m_drivers(drivers) {
    qRegisterMetaType<OperationResult>();
    m_pool.setMaxThreadCount(std::clamp(concurrency, 1, kMaxConcurrency));
    // Idle workers go after a while instead of holding a thread each.
    m_pool.setExpiryTimeout(10000);
    m_reboots.Start();
}

CJobEngine::~CJobEngine() {
    Shutdown();
}

int CJobEngine::Concurrency() const {
    return m_pool.maxThreadCount();
}

void CJobEngine::WhenFinished(JobId job, QObject* context, std::function<void()> done) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(this, &CJobEngine::finished, context,
                          [job, done = std::move(done), connection](JobId ended) {
                              if (ended != job) {
                                  return;
                              }
                              QObject::disconnect(*connection);
                              if (done) {
                                  done();
                              }
                          });
}

JobId CJobEngine::Start(JobSpec order) {
    const JobId id = m_next++;
    auto state = std::make_shared<Shared>();
    state->logins = m_logins;
    if (m_journal && !order.operations.empty()) {
        state->journal = m_journal;
        m_journal->JobStarted(id, order);
    }
    const auto shared = std::make_shared<const JobSpec>(std::move(order));
    const std::size_t count = shared->targets.size();
    Job& job = m_jobs.emplace(id, Job{shared, 0, state}).first->second;
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
    const std::size_t first =
        shared->waves.empty() ? count : std::clamp<std::size_t>(shared->waves[0], 1, count);
    job.waveLeft = first;
    dispatch(id, job, 0, first);
    return id;
}

void CJobEngine::dispatch(JobId id, Job& job, std::size_t from, std::size_t to) {
    job.next = to;
    std::vector<CReachProbe::Request> asks;
    for (std::size_t i = from; i < to; ++i) {
        Task task{id, job.order, i, job.shared, std::nullopt};
        const std::optional<device::Reach> reach =
            job.order->probe ? m_drivers.ReachOf(job.order->targets[i]) : std::nullopt;
        if (!reach) {
            enqueue(std::move(task));
            continue;
        }
        const std::chrono::milliseconds limit = reach->connectLimit;
        asks.push_back({id, reach->address, reach->port, limit,
                        [this, task = std::move(task), limit](CReachProbe::Outcome outcome) {
                            probed(task, outcome, limit);
                        }});
    }
    if (!asks.empty()) {
        m_probe.Probe(std::move(asks));
    }
}

void CJobEngine::dropUndispatched(JobId id, Job& job) {
    const std::size_t count = job.order->targets.size();
    for (std::size_t i = job.next; i < count; ++i) {
        cancelBeforeTurn(Task{id, job.order, i, job.shared, std::nullopt});
    }
    job.next = count;
}

void CJobEngine::enqueue(Task task) {
    {
        std::lock_guard lock(m_taskLock);
        m_tasks.push_back(std::move(task));
    }
    m_pool.start(&m_runner);
}

void CJobEngine::probed(Task task, CReachProbe::Outcome outcome, std::chrono::milliseconds limit) {
    switch (outcome) {
    case CReachProbe::Outcome::Dropped:
        cancelBeforeTurn(task);
        return;
    case CReachProbe::Outcome::Silent:
        // What the camera's own login would have found after the same wait.
        task.silent = device::Failure{device::Fault::NoAnswer, {}, limit};
        break;
    case CReachProbe::Outcome::Answered:
        break;
    }
    enqueue(std::move(task));
}

namespace {

// One line per camera and operation, never a password: a field report can
// be rebuilt from the log alone. Written by the worker, so a line is kept
// even when the window closes before the result reaches it.
void logResult(const std::string& job, const OperationResult& r) {
    const std::string camera = "[" + r.device.MacText() + "]";
    const std::string address = r.device.AddressText().toStdString();
    WriteLog(1, "Job %llu %s: %s %s %.31s %s%s%s", static_cast<unsigned long long>(r.job),
             job.c_str(), r.operation.c_str(), camera.c_str(), address.c_str(),
             OutcomeWord(r.outcome), r.reason == Reason::None ? "" : ": ", ReasonText(r).c_str());
}

// Whether a result counts towards a job's stop after failures: a camera the
// job turned away before sending it anything is no sign that the job harms
// cameras.
bool countsAsFailure(const OperationResult& r) {
    return r.outcome == Outcome::Failed && r.reason != Reason::ModelMismatch &&
           r.reason != Reason::NotSupported;
}

} // namespace

void CJobEngine::Runner::run() {
    // Once per pool thread: the nice value is the thread's own on Linux.
    thread_local const bool lowered =
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWorkerNice) == 0;
    (void)lowered;
    m_engine.runNext();
}

void CJobEngine::runNext() {
    Task task;
    {
        std::lock_guard lock(m_taskLock);
        if (m_tasks.empty()) {
            return;
        }
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
    }
    runCamera(task);
}

void CJobEngine::runCamera(const Task& task) {
    const JobSpec& order = *task.order;
    Shared& shared = *task.shared;
    {
        // Counted before the cancel flag is read, so that CancelAndWait
        // either sees this camera at work or this camera sees the flag.
        std::lock_guard lock(shared.lock);
        ++shared.active;
    }
    std::vector<OperationResult> results;
    bool failed = false;
    if (shared.cancelled.load() || shared.stoppedAfter.load() > 0) {
        results = reportCancelled(task);
    } else if (order.work) {
        CameraRun run(m_drivers, task.id, order.targets[task.index], order.credentials,
                      shared.cancelled, [&](OperationResult r) {
                          logResult(order.name, r);
                          failed = failed || countsAsFailure(r);
                          if (shared.journal) {
                              results.push_back(std::move(r));
                          } else {
                              const JobId id = r.job;
                              post({id, std::move(r)}); // as it happens
                          }
                      });
        run.UseLogins(shared.logins.get());
        if (task.silent) {
            run.GiveUp(*task.silent);
        }
        order.work(run);
    }
    {
        std::lock_guard lock(shared.lock);
        --shared.active;
    }
    shared.idle.notify_all();
    finishCamera(task, std::move(results), failed);
}

void CJobEngine::finishCamera(const Task& task, std::vector<OperationResult> results, bool failed) {
    const JobId id = task.id;
    if (!task.shared->journal) {
        for (OperationResult& r : results) {
            post({id, std::move(r)});
        }
        post({id, std::nullopt, failed});
        return;
    }
    // Shown once they are in the site's book: a result the installer saw
    // outlives a kill, and the worker goes on without waiting for the disk.
    auto shown = std::make_shared<std::vector<OperationResult>>(std::move(results));
    task.shared->journal->CameraFinished(id, *shown, [this, id, shown, failed] {
        for (OperationResult& r : *shown) {
            post({id, std::move(r)});
        }
        post({id, std::nullopt, failed});
    });
}

std::vector<OperationResult> CJobEngine::reportCancelled(const Task& task) {
    const JobSpec& order = *task.order;
    OperationResult r;
    r.job = task.id;
    r.device = order.targets[task.index];
    r.outcome = Outcome::Cancelled;
    r.reason = Reason::Cancelled;
    if (const int failed = task.shared->stoppedAfter.load(); failed > 0) {
        r.reason = Reason::NotStarted;
        r.detail = std::to_string(failed);
    }
    std::vector<OperationResult> reported;
    for (const std::string& operation : order.operations) {
        r.operation = operation;
        logResult(order.name, r);
        reported.push_back(r);
    }
    return reported;
}

void CJobEngine::cancelBeforeTurn(const Task& task) {
    finishCamera(task, reportCancelled(task), false);
}

void CJobEngine::post(Event event) {
    bool wake = false;
    {
        std::lock_guard lock(m_eventLock);
        wake = m_events.empty();
        m_events.push_back(std::move(event));
    }
    // One wake-up serves every event queued before it is handled.
    if (wake) {
        QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
    }
}

void CJobEngine::deliver() {
    // A turn of the window's event loop hands on what arrived for a few
    // milliseconds at most; the rest follows after the window's own events.
    deliverEvents(false);
}

bool CJobEngine::takePosted(bool wait) {
    // Called only once the window's side is delivered: what it held goes
    // back to the workers empty, its storage kept.
    m_taken.clear();
    m_takenAt = 0;
    std::unique_lock lock(m_eventLock, std::defer_lock);
    if (wait) {
        lock.lock();
    } else if (!lock.try_lock()) {
        QTimer::singleShot(kRetryLocked, this, &CJobEngine::deliver);
        return false;
    }
    m_taken.swap(m_events);
    return true;
}

void CJobEngine::deliverEvents(bool all) {
    const auto until = std::chrono::steady_clock::now() + kDeliverSlice;
    // One at a time: a slot that runs the event loop gets the later events
    // in their order, never before the earlier ones.
    for (;;) {
        if (m_takenAt == m_taken.size() && (!takePosted(all) || m_taken.empty())) {
            return;
        }
        if (!all && std::chrono::steady_clock::now() >= until) {
            QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
            return;
        }
        // Moved out: a slot that runs the event loop takes the next events
        // into the same vector.
        Event event = std::move(m_taken[m_takenAt++]);
        if (event.result) {
            emit operationDone(*event.result);
        } else {
            onCameraDone(event.id, event.failed);
        }
    }
}

void CJobEngine::onCameraDone(JobId id, bool failed) {
    const auto it = m_jobs.find(id);
    if (it == m_jobs.end()) {
        return;
    }
    Job& job = it->second;
    const int total = static_cast<int>(job.order->targets.size());
    ++job.done;
    const JobSpec& order = *job.order;
    const auto goesOn = [&job] {
        return !job.shared->cancelled.load() && job.shared->stoppedAfter.load() == 0;
    };
    if (failed && ++job.failed == order.stopAfterFailures && goesOn()) {
        // No further camera starts; those at work finish what they began.
        job.shared->stoppedAfter.store(job.failed);
        cancelWaiting(id, job);
    }
    // The next wave once every camera of this one is done.
    if (job.waveLeft > 0 && --job.waveLeft == 0 && goesOn() && job.next < order.targets.size()) {
        ++job.wave;
        const std::size_t left = order.targets.size() - job.next;
        const std::size_t size = job.wave < order.waves.size()
                                     ? std::clamp<std::size_t>(order.waves[job.wave], 1, left)
                                     : left;
        job.waveLeft = size;
        dispatch(id, job, job.next, job.next + size);
    }
    emit progress(id, job.done, total);
    if (job.done == total) {
        m_jobs.erase(it);
        emit finished(id);
    }
}

void CJobEngine::Cancel(JobId id) {
    const auto it = m_jobs.find(id);
    if (it == m_jobs.end()) {
        return;
    }
    it->second.shared->cancelled.store(true);
    cancelWaiting(id, it->second);
}

void CJobEngine::cancelWaiting(JobId id, Job& job) {
    // The cameras still being asked whether they answer, and those waiting
    // for a worker, are cancelled at once: with every worker held by a slow
    // camera they would otherwise wait for one only to report that they
    // were cancelled. Those of later waves follow.
    m_probe.Drop(id);
    std::deque<Task> waiting;
    {
        std::lock_guard lock(m_taskLock);
        const auto ours = std::stable_partition(m_tasks.begin(), m_tasks.end(),
                                                [id](const Task& t) { return t.id != id; });
        std::move(ours, m_tasks.end(), std::back_inserter(waiting));
        m_tasks.erase(ours, m_tasks.end());
    }
    for (const Task& task : waiting) {
        cancelBeforeTurn(task);
    }
    dropUndispatched(id, job);
}

int CJobEngine::InFlight(JobId id) const {
    const auto it = m_jobs.find(id);
    if (it == m_jobs.end()) {
        return 0;
    }
    Shared& shared = *it->second.shared;
    std::lock_guard lock(shared.lock);
    return shared.active;
}

void CJobEngine::CancelAndWait(JobId id) {
    const auto it = m_jobs.find(id);
    if (it == m_jobs.end()) {
        return;
    }
    const std::shared_ptr<Shared> shared = it->second.shared;
    shared->cancelled.store(true);
    m_probe.Drop(id);
    dropUndispatched(id, it->second);
    std::unique_lock lock(shared->lock);
    shared->idle.wait(lock, [&] { return shared->active == 0; });
}

void CJobEngine::Shutdown() {
    for (auto& [id, job] : m_jobs) {
        job.shared->cancelled.store(true);
        dropUndispatched(id, job);
    }
    // No camera reaches the workers from the probe after this.
    m_probe.Stop();
    m_pool.waitForDone();
    {
        // A runner whose camera a Cancel took off the queue finds it empty
        // and leaves without another word to this thread; taking the lock
        // it read the queue under orders its last read before whatever
        // follows the engine here (a thread checker cannot see into the
        // pool's own wait).
        std::lock_guard lock(m_taskLock);
    }
    // The cameras still going into a book are shown once they are in it.
    for (auto& [id, job] : m_jobs) {
        if (job.shared->journal) {
            job.shared->journal->Flush();
        }
    }
    // What the last cameras reported still reaches the pages, whose results
    // outlive the window's event loop.
    deliverEvents(true);
    // No reboot is made after the program began to close.
    m_reboots.Stop();
}

int CJobEngine::ConcurrencyFromEnvironment() {
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("ORVANTIX_JOBS", &ok);
    return ok && n >= 1 ? std::min(n, kMaxConcurrency) : kDefaultConcurrency;
}

} // namespace orv::jobs
