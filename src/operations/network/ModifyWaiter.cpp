#include "ModifyWaiter.h"

namespace orv::network {

void CModifyWaiter::Expect(const device::DeviceId& camera) {
    std::lock_guard lock(m_lock);
    m_outcomes[camera].reset();
}

void CModifyWaiter::Complete(const device::DeviceId& camera, const device::Status& outcome) {
    {
        std::lock_guard lock(m_lock);
        const auto it = m_outcomes.find(camera);
        // The first outcome counts; a second adapter's copy changes nothing.
        if (it == m_outcomes.end() || it->second) {
            return;
        }
        it->second = outcome;
    }
    m_arrived.notify_all();
}

std::optional<device::Status> CModifyWaiter::Wait(const device::DeviceId& camera,
                                                  std::chrono::milliseconds timeout,
                                                  const std::atomic<bool>& cancelled) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(m_lock);
    while (true) {
        const auto it = m_outcomes.find(camera);
        if (it != m_outcomes.end() && it->second) {
            std::optional<device::Status> outcome = std::move(it->second);
            m_outcomes.erase(it);
            return outcome;
        }
        const auto now = std::chrono::steady_clock::now();
        if (cancelled.load() || now >= end) {
            m_outcomes.erase(camera);
            return std::nullopt;
        }
        // A cancel has no one to notify: look again at least every 100 ms.
        m_arrived.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                                     end - now, std::chrono::milliseconds(100)));
    }
}

bool ReportModifyOutcome(CModifyWaiter& waiter, jobs::CameraRun& run,
                         const device::AddressChange& sent, std::chrono::milliseconds timeout) {
    run.NoteChange(device::AddressChangeOf(run.Device(), sent));
    const std::optional<device::Status> outcome =
        waiter.Wait(run.Device().id, timeout, run.CancelFlag());
    if (!outcome) {
        if (run.Cancelled()) {
            run.ReportFailure(kModifyOperation, jobs::Reason::Cancelled);
        } else {
            run.ReportFailure(kModifyOperation,
                              device::Failure{device::Fault::NoAnswer, {}, timeout});
        }
        return false;
    }
    return run.Report(kModifyOperation, *outcome);
}

} // namespace orv::network
