#pragma once
// Device work off the window thread. A job is one operation, or a chain of
// them, over a list of cameras; each camera's calls run in order on a worker
// of an owned pool with bounded concurrency, with one session per camera per
// job. Before its turn every camera is asked whether it answers at all, all
// of them at once: a worker takes a camera only once it answered or its
// connect time ran out, so silent cameras cost a job one timeout in all.
// Results come back on the engine's thread (the window thread) as signals
// tagged with the job, in the order each camera produced them. Cancelling a
// job starts no further camera; cameras already running finish and report.
// Destroying the engine cancels every job and waits for the calls in flight
// (each bounded by the SDK's timeouts).

#include "CameraRun.h"
#include "JobJournal.h"
#include "LoginBook.h"
#include "ReachProbe.h"
#include "RebootQueue.h"

#include <QObject>
#include <QRunnable>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orv::jobs {

struct JobSpec {
    // For the log.
    std::string name;
    std::vector<device::DeviceInfo> targets;
    device::Credentials credentials;
    // The operations a camera reports, in order; a camera cancelled before
    // its turn reports each of them as cancelled.
    std::vector<std::string> operations;
    // One camera's calls, on a worker thread. Whatever it touches besides the
    // camera run must be safe to use from several threads at once.
    std::function<void(CameraRun&)> work;
    // The site book's job whose changes this one puts back, or 0.
    std::int64_t undoes = 0;
    // Whether each camera is asked first if it takes connections. A job
    // that reaches its cameras through discovery alone (an address change
    // by discovery frames) opens no connection, and must not wait for one
    // to a camera whose address is what it is about to change.
    bool probe = true;
    // Cameras in waves, each started once the one before has finished: the
    // first `waves[0]` targets, then the next `waves[1]`, and so on, then
    // the rest. Empty: every camera at once.
    std::vector<std::size_t> waves;
    // The job stops once this many of its cameras failed (0: never): those
    // at work finish, those not started yet report each operation as not
    // started. A camera the job turned away before sending it anything (an
    // image not made for its model) is no failure of this kind.
    int stopAfterFailures = 0;
};

class CJobEngine : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultConcurrency = 16;
    // Each camera in flight holds a thread and a connection.
    static constexpr int kMaxConcurrency = 256;
    // How much lower than the window the workers run (a nice value): the
    // window thread gets a processor as soon as it wakes, however many
    // cameras are at work, and the workers' throughput hardly changes.
    static constexpr int kWorkerNice = 5;
    // ORVANTIX_JOBS=N in the environment, else the default: the window's
    // concurrency (the command line passes its own).
    static int ConcurrencyFromEnvironment();

    // The drivers outlive the engine.
    explicit CJobEngine(const device::CDriverSet& drivers, int concurrency = kDefaultConcurrency,
                        QObject* parent = nullptr);
    ~CJobEngine() override;
    CJobEngine(const CJobEngine&) = delete;
    CJobEngine& operator=(const CJobEngine&) = delete;

    const device::CDriverSet& Drivers() const { return m_drivers; }
    // Reboots that jobs leave to follow them; Shutdown drops those not made.
    CRebootQueue& Reboots() { return m_reboots; }
    int Concurrency() const;
    // Where later jobs are recorded (nothing: nowhere); a job keeps the
    // journal it started with.
    void SetJournal(std::shared_ptr<IJobJournal> journal) { m_journal = std::move(journal); }
    // Every job's camera logins go through `logins` from its next job on.
    void SetLoginBook(std::shared_ptr<ILoginBook> logins) { m_logins = std::move(logins); }
    // What jobs log in with now (views that open sessions of their own use
    // it too); nothing without a site.
    std::shared_ptr<ILoginBook> LoginBook() const { return m_logins; }

    JobId Start(JobSpec order);
    // Calls `done` on `context`'s thread once `job` has finished (a job
    // followed by one caller, not by every listener of `finished`).
    void WhenFinished(JobId job, QObject* context, std::function<void()> done);
    // Cameras still waiting for a worker report "cancelled" at once; those
    // in their calls finish them (an upload stops sending) and report.
    void Cancel(JobId job);
    // Cameras of the job in their calls right now.
    int InFlight(JobId job) const;
    // Cancels the job and waits until none of its cameras is in a call
    // (for an owner that goes away and whose objects the job uses).
    void CancelAndWait(JobId job);
    bool IsRunning(JobId job) const { return m_jobs.count(job) != 0; }
    bool AnyRunning() const { return !m_jobs.empty(); }
    // Cancels every job and waits until no call is in flight.
    void Shutdown();

signals:
    void operationDone(const orv::jobs::OperationResult& result);
    // After each camera: `done` of `total` cameras have finished.
    void progress(orv::jobs::JobId job, int done, int total);
    void finished(orv::jobs::JobId job);

private:
    // What a job's workers share with the engine's thread.
    struct Shared {
        std::atomic<bool> cancelled{false};
        // The job stopped after this many failed cameras: no further camera
        // starts (those at work finish), and what was not started says so.
        std::atomic<int> stoppedAfter{0};
        std::mutex lock;
        std::condition_variable idle;
        int active = 0; // cameras in their calls
        std::shared_ptr<IJobJournal> journal;
        std::shared_ptr<ILoginBook> logins;
    };
    struct Job {
        // Shared with the job's tasks, never changed after the start.
        std::shared_ptr<const JobSpec> order;
        int done = 0;
        std::shared_ptr<Shared> shared;
        // Waves: the targets from `next` on are not handed out yet; the
        // current wave is `wave`, of which `waveLeft` cameras are not done.
        std::size_t next = 0;
        std::size_t wave = 0;
        std::size_t waveLeft = 0;
        int failed = 0;
    };
    // One camera of a job, waiting for a worker.
    struct Task {
        JobId id = 0;
        std::shared_ptr<const JobSpec> order;
        std::size_t index = 0;
        std::shared_ptr<Shared> shared;
        // Why every call fails at once: the camera did not answer the probe.
        std::optional<device::Failure> silent;
    };
    // What a worker hands to the engine's thread: a result, or the end of
    // a camera's calls.
    struct Event {
        JobId id = 0;
        std::optional<OperationResult> result;
        // With the end of a camera's calls: whether it failed in a way that
        // counts towards the job's stop.
        bool failed = false;
    };
    // Hands the targets [from, to) of the job to the probe or the workers.
    void dispatch(JobId id, Job& job, std::size_t from, std::size_t to);
    // Reports the targets not handed out yet as cancelled (or not started).
    void dropUndispatched(JobId id, Job& job);
    // The job's cameras not at work yet report that they were cancelled
    // (or, once it stopped after failures, not started).
    void cancelWaiting(JobId id, Job& job);
    // Takes the next task; every worker runs the same runner.
    class Runner : public QRunnable {
    public:
        explicit Runner(CJobEngine& engine) : m_engine(engine) { setAutoDelete(false); }
        void run() override;

    private:
        CJobEngine& m_engine;
    };

    // Hands a camera to the workers.
    void enqueue(Task task);
    // The probe's word on a camera, on its thread or the canceller's.
    void probed(Task task, CReachProbe::Outcome outcome, std::chrono::milliseconds limit);
    void runNext();
    void runCamera(const Task& task);
    // Every operation of the task's camera as cancelled, and its log lines.
    std::vector<OperationResult> reportCancelled(const Task& task);
    // Hands a camera's results and its end to the engine's thread: at once,
    // or, for a job with a journal, once the journal has them.
    // `failed`: the camera failed in a way that counts towards the job's
    // stop after failures.
    void finishCamera(const Task& task, std::vector<OperationResult> results, bool failed);
    // A camera that never got its turn: reported, journalled and done.
    void cancelBeforeTurn(const Task& task);
    void post(Event event);
    // Work and events pass between threads through the engine's own locked
    // queues; Qt only wakes the other side, so every hand-over is one that a
    // thread checker can follow.
    Q_INVOKABLE void deliver();
    void deliverEvents(bool all);
    // Moves what the workers posted to the window's side of the queue. The
    // window never waits for a worker: when one holds the lock (a worker the
    // machine's load has preempted can hold it for a scheduler period), the
    // events are taken on a later turn.
    bool takePosted(bool wait);
    static constexpr std::chrono::milliseconds kDeliverSlice{5};
    static constexpr std::chrono::milliseconds kRetryLocked{1};
    void onCameraDone(JobId id, bool failed);

    const device::CDriverSet& m_drivers;
    JobId m_next = 1;
    std::map<JobId, Job> m_jobs;
    std::mutex m_taskLock;
    std::deque<Task> m_tasks;
    std::mutex m_eventLock;
    // The two vectors trade places, so their storage is only ever freed by
    // a worker growing one: freeing what a worker allocated takes that
    // worker's allocator lock, and a worker preempted while holding it held
    // the window 7-25 ms per event queue at a thousand cameras.
    std::vector<Event> m_events; // posted by workers, under m_eventLock
    std::vector<Event> m_taken;  // the engine's thread's own, from m_takenAt on
    std::size_t m_takenAt = 0;
    std::shared_ptr<IJobJournal> m_journal;
    std::shared_ptr<ILoginBook> m_logins;
    CRebootQueue m_reboots;
    Runner m_runner{*this};
    CReachProbe m_probe;
    QThreadPool m_pool; // last: it ends before what its workers use
};

} // namespace orv::jobs
