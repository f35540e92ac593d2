#include "DiscoveryHub.h"

#include "log/LogFile.h"

#include <QCoreApplication>

#include <algorithm>
#include <unordered_map>

namespace orv {

CDiscoveryHub::CDiscoveryHub(QObject* parent) : QObject(parent) {
    qRegisterMetaType<orv::device::Fault>();
}

void CDiscoveryHub::DevicesFound(std::vector<device::DeviceInfo> devices) {
    bool post = false;
    bool logDrop = false;
    {
        std::lock_guard lock(m_lock);
        for (device::DeviceInfo& device : devices) {
            if (m_pendingAnswers >= kMaxPendingAnswers) {
                ++m_dropped;
                logDrop = logDrop || !m_dropLogged;
                m_dropLogged = true;
                continue;
            }
            m_pending.push_back({Pending::Kind::Found, std::move(device), std::nullopt, {}});
            ++m_pendingAnswers;
        }
        post = !m_drainPosted && !m_pending.empty();
        m_drainPosted = m_drainPosted || post;
    }
    if (logDrop) {
        WriteLog(1, "Discovery answers arrive faster than the window takes them; the excess is "
                    "dropped.");
    }
    if (post) {
        QMetaObject::invokeMethod(this, &CDiscoveryHub::drain, Qt::QueuedConnection);
    }
}

void CDiscoveryHub::AddressChangeDone(const device::DeviceInfo& requested,
                                      const device::Status& outcome) {
    // Outcomes of IP changes and discovery problems are few and each is a
    // line for the installer: never dropped.
    push({Pending::Kind::Changed,
          requested,
          outcome ? std::nullopt : std::optional(outcome.Error().fault),
          {}});
}

void CDiscoveryHub::DiscoveryProblem(const QString& text) {
    WriteLog(1, "%s", text.toLocal8Bit().constData());
    push({Pending::Kind::Problem, {}, std::nullopt, text});
}

void CDiscoveryHub::push(Pending pending) {
    bool post = false;
    {
        std::lock_guard lock(m_lock);
        m_pending.push_back(std::move(pending));
        post = !m_drainPosted;
        m_drainPosted = true;
    }
    if (post) {
        QMetaObject::invokeMethod(this, &CDiscoveryHub::drain, Qt::QueuedConnection);
    }
}

std::uint64_t CDiscoveryHub::DroppedAnswers() const {
    std::lock_guard lock(m_lock);
    return m_dropped;
}

void CDiscoveryHub::drain() {
    if (m_drainAt == m_draining.size()) {
        // Handed on: back to the discovery threads empty, its storage kept.
        m_draining.clear();
        m_drainAt = 0;
    }
    std::size_t n = 0;
    bool more = false;
    {
        std::lock_guard lock(m_lock);
        if (m_draining.empty()) {
            m_draining.swap(m_pending);
        }
        n = std::min(m_draining.size() - m_drainAt, kMessagesPerTurn);
        for (std::size_t i = m_drainAt; i < m_drainAt + n; ++i) {
            m_pendingAnswers -= m_draining[i].kind == Pending::Kind::Found ? 1 : 0;
        }
        more = m_drainAt + n < m_draining.size() || !m_pending.empty();
        m_drainPosted = more;
    }
    // This turn's share, moved out: a slot that runs the event loop drains
    // the next share meanwhile.
    const auto first = m_draining.begin() + static_cast<std::ptrdiff_t>(m_drainAt);
    std::vector<Pending> pending(std::make_move_iterator(first),
                                 std::make_move_iterator(first + static_cast<std::ptrdiff_t>(n)));
    m_drainAt += n;
    if (more) {
        // The rest waits for the next turn, behind whatever else the window
        // has to do meanwhile.
        QMetaObject::invokeMethod(this, &CDiscoveryHub::drain, Qt::QueuedConnection);
    }
    // Runs of answers go out as one batch with one entry per camera, its
    // answers merged; an IP change's outcome keeps its place between them.
    std::vector<device::DeviceInfo> batch;
    std::unordered_map<device::DeviceId, std::size_t, device::DeviceIdHash> inBatch;
    const auto flush = [&] {
        if (!batch.empty()) {
            emit devicesFound(batch);
            batch.clear();
            inBatch.clear();
        }
    };
    for (Pending& p : pending) {
        switch (p.kind) {
        case Pending::Kind::Found: {
            const auto [it, added] = inBatch.emplace(p.device.id, batch.size());
            if (added) {
                batch.push_back(std::move(p.device));
            } else {
                // The same camera through two protocols keeps both.
                batch[it->second] = device::MergeAnswer(batch[it->second], p.device);
            }
            break;
        }
        case Pending::Kind::Changed:
            flush();
            if (p.fault) {
                emit modifyFailed(p.device, *p.fault);
            } else {
                emit modifyDone(p.device);
            }
            break;
        case Pending::Kind::Problem:
            flush();
            emit captureProblem(p.text);
            break;
        }
    }
    flush();
}

} // namespace orv
