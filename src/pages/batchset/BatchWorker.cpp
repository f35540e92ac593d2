#include "BatchWorker.h"

#include <algorithm>

namespace orv::batchset {

CBatchWorker::CBatchWorker(IDeviceSdk& sdk, TakeUrl takeUrl, OpenUrl openUrl, WorkerTiming timing)
    : m_sdk(sdk), m_takeUrl(std::move(takeUrl)), m_openUrl(std::move(openUrl)), m_timing(timing) {}

CBatchWorker::~CBatchWorker() {
    Stop();
}

void CBatchWorker::Start() {
    std::lock_guard lock(m_lock);
    if (m_running || m_thread.joinable()) {
        return;
    }
    m_running = true;
    m_thread = std::thread([this] { run(); });
}

void CBatchWorker::Stop() {
    {
        std::lock_guard lock(m_lock);
        m_running = false;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard lock(m_lock);
    m_reboots.clear();
}

void CBatchWorker::QueueReboot(int handle) {
    std::lock_guard lock(m_lock);
    m_reboots.push_back(handle);
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

bool CBatchWorker::sleepCycle() {
    std::unique_lock lock(m_lock);
    m_wake.wait_for(lock, m_timing.cycle, [this] { return !m_running; });
    return m_running;
}

void CBatchWorker::run() {
    for (;;) {
        bool paused = false;
        int handle = -1;
        bool haveReboot = false;
        {
            std::lock_guard lock(m_lock);
            if (!m_running) {
                return;
            }
            if (m_restorePause) {
                ++m_pauseCycles;
                paused = true;
            } else if (!m_reboots.empty()) {
                handle = m_reboots.front();
                m_reboots.pop_front();
                haveReboot = true;
            }
        }
        if (paused) {
            if (!sleepCycle()) {
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
        if (haveReboot) {
            m_sdk.RebootSystem(handle);
        }
        if (m_takeUrl && m_openUrl) {
            const std::string url = m_takeUrl();
            if (!url.empty()) {
                m_openUrl(url);
            }
        }
        if (!sleepCycle()) {
            return;
        }
    }
}

} // namespace orv::batchset
