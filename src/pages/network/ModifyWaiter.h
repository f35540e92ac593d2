#pragma once
// The outcomes of IP changes that a job waits for. Requests travel through
// discovery, whose results reach the window thread; a job's workers wait
// here for their camera's outcome, so that a checked-mode run gets a result
// per camera, progress and a summary like any device job.

#include "devicelist/DeviceKey.h"

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
    void Expect(const DeviceKey& camera);
    // The result word of the camera's change (0: applied), from any thread.
    void Complete(const DeviceKey& camera, int result);
    // Blocks until the camera's outcome arrives, `cancelled` is set or
    // `timeout` passes; nothing in the last two cases.
    std::optional<int> Wait(const DeviceKey& camera, std::chrono::milliseconds timeout,
                            const std::atomic<bool>& cancelled);

private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::unordered_map<DeviceKey, std::optional<int>, DeviceKeyHash> m_outcomes;
};

} // namespace orv::network
