#pragma once
// The Batch Set page's worker: every cycle it makes at most one queued
// reboot; after a restore it pauses for a fixed number of cycles, so a
// restored camera finishes before it is rebooted. The reboot queue, the restore pause and the cycle
// counter are shared with the window thread and touched only under the worker's lock.

#include "device/DeviceSession.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace orv::batchset {

// The worker's rhythm. By default a cycle lasts its time on the system's
// clock; a stepped clock makes every cycle last until Step() lets it pass,
// so a test walks the worker through its cycles without waiting for them.
class CWorkerClock {
public:
    explicit CWorkerClock(std::chrono::milliseconds cycle) : m_cycle(cycle) {}
    static std::shared_ptr<CWorkerClock> Stepped();

    // The worker's side: waits one cycle; false when Interrupt() ended it.
    bool WaitCycle();
    void Interrupt();
    void Resume();
    // The test's side: waits until the worker is between two cycles, lets
    // `cycles` cycles pass and returns once it is between two cycles again.
    // False when that did not happen within 30 seconds.
    [[nodiscard]] bool Step(int cycles = 1);

private:
    struct SteppedTag {};
    explicit CWorkerClock(SteppedTag) : m_stepped(true) {}

    const std::chrono::milliseconds m_cycle{0};
    const bool m_stepped = false;
    std::mutex m_lock;
    std::condition_variable m_change;
    bool m_interrupted = false;
    long long m_arrivals = 0; // waits the worker began
    long long m_granted = 0;  // cycles Step() let pass
};

struct WorkerTiming {
    WorkerTiming(std::chrono::milliseconds cycleTime = std::chrono::milliseconds(200),
                 int pauseCycles = 125, std::shared_ptr<CWorkerClock> stepped = {})
        : cycle(cycleTime), restorePauseCycles(pauseCycles), clock(std::move(stepped)) {}

    std::chrono::milliseconds cycle;
    // 125 cycles of 200 ms: 25 seconds.
    int restorePauseCycles;
    // Nothing: cycles of `cycle` on the system's clock.
    std::shared_ptr<CWorkerClock> clock;
};

class CBatchWorker {
public:
    explicit CBatchWorker(WorkerTiming timing = {});
    // Stops and joins the thread.
    ~CBatchWorker();
    CBatchWorker(const CBatchWorker&) = delete;
    CBatchWorker& operator=(const CBatchWorker&) = delete;

    void Start();
    // Ends the loop, waits for the thread and drops reboots not yet made.
    void Stop();

    // The reboot is made on `session`, which the worker keeps until then.
    void QueueReboot(std::shared_ptr<device::IDeviceSession> session);
    // Switches the pause on; with restartCount the 125 cycles start afresh,
    // without it a pause already counting goes on from where it is.
    void StartRestorePause(bool restartCount);

    bool RestorePauseOn() const;
    size_t QueuedReboots() const;
    const WorkerTiming& Timing() const { return m_timing; }

private:
    void run();

    const WorkerTiming m_timing;
    const std::shared_ptr<CWorkerClock> m_clock;

    mutable std::mutex m_lock;
    bool m_running = false;
    std::deque<std::shared_ptr<device::IDeviceSession>> m_reboots;
    bool m_restorePause = false;
    int m_pauseCycles = 0;
    std::thread m_thread;
};

} // namespace orv::batchset
