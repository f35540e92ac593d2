#include "BatchWorker.h"

#include <algorithm>

namespace orv::batchset {

std::shared_ptr<CWorkerClock> CWorkerClock::Stepped() {
    return std::shared_ptr<CWorkerClock>(new CWorkerClock(SteppedTag{}));
}

bool CWorkerClock::WaitCycle() {
    std::unique_lock lock(m_lock);
    if (!m_stepped) {
        return !m_change.wait_for(lock, m_cycle, [this] { return m_interrupted; });
    }
    ++m_arrivals;
    m_change.notify_all();
    m_change.wait(lock, [this] { return m_interrupted || m_granted >= m_arrivals; });
    return !m_interrupted;
}

void CWorkerClock::Interrupt() {
    {
        std::lock_guard lock(m_lock);
        m_interrupted = true;
    }
    m_change.notify_all();
}

void CWorkerClock::Resume() {
    std::lock_guard lock(m_lock);
    m_interrupted = false;
}

bool CWorkerClock::Step(int cycles) {
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

CBatchWorker::CBatchWorker(WorkerTiming timing)
    : m_timing(timing),
      m_clock(timing.clock ? timing.clock : std::make_shared<CWorkerClock>(timing.cycle)) {}

CBatchWorker::~CBatchWorker() {
    Stop();
}

void CBatchWorker::Start() {
    std::lock_guard lock(m_lock);
    if (m_running || m_thread.joinable()) {
        return;
    }
    m_running = true;
    m_clock->Resume();
    m_thread = std::thread([this] { run(); });
}

void CBatchWorker::Stop() {
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

void CBatchWorker::QueueReboot(std::shared_ptr<device::IDeviceSession> session) {
    std::lock_guard lock(m_lock);
    m_reboots.push_back(std::move(session));
}

void CBatchWorker::StartRestorePause(bool restartCount) {
    std::lock_guard lock(m_lock);
    m_restorePause = true;
    if (restartCount) {
        m_pauseCycles = 0;
    }
}

bool CBatchWorker::RestorePauseOn() const {
    std::lock_guard lock(m_lock);
    return m_restorePause;
}

size_t CBatchWorker::QueuedReboots() const {
    std::lock_guard lock(m_lock);
    return m_reboots.size();
}

void CBatchWorker::run() {
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

} // namespace orv::batchset
