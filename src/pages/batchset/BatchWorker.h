#pragma once
// The Batch Set page's worker: every cycle it makes at most one queued
// reboot and opens a waiting web address; after a restore it pauses both
// for a fixed number of cycles, so a restored camera finishes before it is
// rebooted. The reboot queue, the restore pause and the cycle counter are
// shared with the window thread and touched only under the worker's lock.

#include "sdk/DeviceSdk.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace orv::batchset {

struct WorkerTiming {
    std::chrono::milliseconds cycle{200};
    // 125 cycles of 200 ms: 25 seconds.
    int restorePauseCycles = 125;
};

class CBatchWorker {
public:
    // Returns the waiting address and clears it; empty when none waits.
    using TakeUrl = std::function<std::string()>;
    using OpenUrl = std::function<void(const std::string&)>;

    CBatchWorker(IDeviceSdk& sdk, TakeUrl takeUrl, OpenUrl openUrl, WorkerTiming timing = {});
    // Stops and joins the thread.
    ~CBatchWorker();
    CBatchWorker(const CBatchWorker&) = delete;
    CBatchWorker& operator=(const CBatchWorker&) = delete;

    void Start();
    // Ends the loop, waits for the thread and drops reboots not yet made.
    void Stop();

    void QueueReboot(int handle);
    // Switches the pause on; with restartCount the 125 cycles start afresh,
    // without it a pause already counting goes on from where it is.
    void StartRestorePause(bool restartCount);

    bool RestorePauseOn() const;
    size_t QueuedReboots() const;
    const WorkerTiming& Timing() const { return m_timing; }

private:
    void run();
    // Waits one cycle; false when the worker is to stop.
    bool sleepCycle();

    IDeviceSdk& m_sdk;
    TakeUrl m_takeUrl;
    OpenUrl m_openUrl;
    const WorkerTiming m_timing;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_running = false;
    std::deque<int> m_reboots;
    bool m_restorePause = false;
    int m_pauseCycles = 0;
    std::thread m_thread;
};

} // namespace orv::batchset
