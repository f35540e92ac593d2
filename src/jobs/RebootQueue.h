#pragma once
// The job engine's follow-up reboots: a job step that leaves a camera to
// restart (a new password, a restore, OEM files) queues the camera's
// session here. Every cycle the queue's thread makes at most one reboot;
// after a restore it pauses for a fixed number of cycles, so a restored
// camera finishes before it is rebooted. The queue, the restore pause and
// the cycle counter are shared with the jobs' workers and the window
// thread and touched only under the queue's lock.

#include "device/DeviceSession.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace orv::jobs {

// The worker's rhythm. By default a cycle lasts its time on the system's
// clock; a stepped clock makes every cycle last until Step() lets it pass,
// so a test walks the worker through its cycles without waiting for them.
class CCycleClock {
public:
    explicit CCycleClock(std::chrono::milliseconds cycle) : m_cycle(cycle) {}
    static std::shared_ptr<CCycleClock> Stepped();

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
    explicit CCycleClock(SteppedTag) : m_stepped(true) {}

    const std::chrono::milliseconds m_cycle{0};
    const bool m_stepped = false;
    std::mutex m_lock;
    std::condition_variable m_change;
    bool m_interrupted = false;
    long long m_arrivals = 0; // waits the worker began
    long long m_granted = 0;  // cycles Step() let pass
};

struct RebootTiming {
    RebootTiming(std::chrono::milliseconds cycleTime = std::chrono::milliseconds(200),
                 int pauseCycles = 125, std::shared_ptr<CCycleClock> stepped = {})
        : cycle(cycleTime), restorePauseCycles(pauseCycles), clock(std::move(stepped)) {}

    std::chrono::milliseconds cycle;
    // 125 cycles of 200 ms: 25 seconds.
    int restorePauseCycles;
    // Nothing: cycles of `cycle` on the system's clock.
    std::shared_ptr<CCycleClock> clock;
};

class CRebootQueue {
public:
    explicit CRebootQueue(RebootTiming timing = {});
    // Stops and joins the thread.
    ~CRebootQueue();
    CRebootQueue(const CRebootQueue&) = delete;
    CRebootQueue& operator=(const CRebootQueue&) = delete;

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
    const RebootTiming& Timing() const { return m_timing; }
    // Stops, drops what is queued and starts again on `timing` (tests walk
    // the cycles on a stepped clock or shorten them).
    void Retime(RebootTiming timing);

private:
    void run();

    RebootTiming m_timing;
    std::shared_ptr<CCycleClock> m_clock;

    mutable std::mutex m_lock;
    bool m_running = false;
    std::deque<std::shared_ptr<device::IDeviceSession>> m_reboots;
    bool m_restorePause = false;
    int m_pauseCycles = 0;
    std::thread m_thread;
};

} // namespace orv::jobs
