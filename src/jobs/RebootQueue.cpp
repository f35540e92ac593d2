#include "RebootQueue.h"

#include <algorithm>

namespace orv::jobs {

std::shared_ptr<CCycleClock> CCycleClock::Stepped() {
    return std::shared_ptr<CCycleClock>(new CCycleClock(SteppedTag{}));
}

bool CCycleClock::WaitCycle() {
    std::unique_lock lock(m_lock);
    if (!m_stepped) {
        return !m_change.wait_for(lock, m_cycle, [this] { return m_interrupted; });
    }
    ++m_arrivals;
    m_change.notify_all();
    m_change.wait(lock, [this] { return m_interrupted || m_granted >= m_arrivals; });
    return !m_interrupted;
}

void CCycleClock::Interrupt() {
    {
        std::lock_guard lock(m_lock);
        m_interrupted = true;
    }
    m_change.notify_all();
}

void CCycleClock::Resume() {
    std::lock_guard lock(m_lock);
    m_interrupted = false;
}

bool CCycleClock::Step(int cycles) {
    std::unique_lock lock(m_lock);
    const auto between = [this] { return m_interrupted || m_arrivals > m_granted; };
    const auto limit = std::chrono::seconds(30);
    bool ok = m_change.wait_for(lock, limit, between);
    for (int i = 0; ok && i < cycles; ++i) {
        ++m_granted;
        m_change.notify_all();
        ok = m_change.wait_for(lock, limit, between);
    }
    return ok && !m_interrupted;
}

CRebootQueue::CRebootQueue(RebootTiming timing)
    : m_timing(timing),
      m_clock(timing.clock ? timing.clock : std::make_shared<CCycleClock>(timing.cycle)) {}

CRebootQueue::~CRebootQueue() {
    Stop();
}

void CRebootQueue::Retime(RebootTiming timing) {
    Stop();
    m_timing = timing;
    m_clock = timing.clock ? timing.clock : std::make_shared<CCycleClock>(timing.cycle);
    Start();
}

void CRebootQueue::Start() {
    std::lock_guard lock(m_lock);
    if (m_running || m_thread.joinable()) {
        return;
    }
    m_running = true;
    m_clock->Resume();
    m_thread = std::thread([this] { run(); });
}

void CRebootQueue::Stop() {
    {
        std::lock_guard lock(m_lock);
        m_running = false;
    }
    m_clock->Interrupt();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard lock(m_lock);
    m_reboots.clear();
}

void CRebootQueue::QueueReboot(std::shared_ptr<device::IDeviceSession> session) {
    std::lock_guard lock(m_lock);
    m_reboots.push_back(std::move(session));
}

void CRebootQueue::StartRestorePause(bool restartCount) {
    std::lock_guard lock(m_lock);
    m_restorePause = true;
    if (restartCount) {
        m_pauseCycles = 0;
    }
}

bool CRebootQueue::RestorePauseOn() const {
    std::lock_guard lock(m_lock);
    return m_restorePause;
}

size_t CRebootQueue::QueuedReboots() const {
    std::lock_guard lock(m_lock);
    return m_reboots.size();
}

void CRebootQueue::run() {
    for (;;) {
        bool paused = false;
        std::shared_ptr<device::IDeviceSession> reboot;
        {
            std::lock_guard lock(m_lock);
            if (!m_running) {
                return;
            }
            if (m_restorePause) {
                ++m_pauseCycles;
                paused = true;
            } else if (!m_reboots.empty()) {
                reboot = std::move(m_reboots.front());
                m_reboots.pop_front();
            }
        }
        if (paused) {
            if (!m_clock->WaitCycle()) {
                return;
            }
            std::lock_guard lock(m_lock);
            if (m_pauseCycles % std::max(1, m_timing.restorePauseCycles) == 0) {
                m_restorePause = false;
                m_pauseCycles = 0;
            }
            continue;
        }
        // The call blocks for as long as the camera takes; the window thread
        // can queue more meanwhile, since the lock is not held.
        if (reboot) {
            (void)reboot->Reboot();
            reboot.reset();
        }
        if (!m_clock->WaitCycle()) {
            return;
        }
    }
}

} // namespace orv::jobs
