#pragma once
// The outcomes of IP changes that a job waits for. Requests travel through
// discovery, whose results reach the window thread; a job's workers wait
// here for their camera's outcome, so that a checked-mode run gets a result
// per camera, progress and a summary like any device job.

#include "jobs/CameraRun.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace orv::network {

class CModifyWaiter {
public:
    // Before the request leaves: an outcome that arrives early is kept.
    void Expect(const device::DeviceId& camera);
    // The outcome of the camera's change, from any thread.
    void Complete(const device::DeviceId& camera, const device::Status& outcome);
    // Blocks until the camera's outcome arrives, `cancelled` is set or
    // `timeout` passes; nothing in the last two cases.
    std::optional<device::Status> Wait(const device::DeviceId& camera,
                                       std::chrono::milliseconds timeout,
                                       const std::atomic<bool>& cancelled);

private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::unordered_map<device::DeviceId, std::optional<device::Status>, device::DeviceIdHash>
        m_outcomes;
};

// The operation words of an IP change in results and summaries.
inline constexpr const char* kModifyOperation = "Modify IP,Port,Netmask";
// Discovery gives up on a silent camera within a few seconds and says so;
// this wait only guards against an answer that never comes.
inline constexpr std::chrono::seconds kModifyOutcomeWait{15};

// Waits for the outcome of the camera's change, whose request has left,
// and reports it as the run's kModifyOperation. True when it applied.
// `sent` goes into the job's history with the camera's address before.
bool ReportModifyOutcome(CModifyWaiter& waiter, jobs::CameraRun& run,
                         const device::AddressChange& sent,
                         std::chrono::milliseconds timeout = kModifyOutcomeWait);

} // namespace orv::network
