#include "DiscoveryHub.h"

#include "lang/Language.h"
#include "log/LogFile.h"
#include "protocols/qv/DiscoveryInstances.h"
#include "protocols/qv/QvRecords.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace orv {

CDiscoveryHub::CDiscoveryHub(QObject* parent) : QObject(parent) {}

void CDiscoveryHub::CaptureCallback(int type, tagMsgInfo* msg, void* user) {
    auto* hub = static_cast<CDiscoveryHub*>(user);
    if (hub == nullptr) {
        return;
    }
    if (type != CAP_SEARCH_RESP && type != CAP_MODIFY_RESULT && type != CAP_CAPTURE_STOPPED) {
        WriteLog(1, "Unknown Message.");
        return;
    }
    if (msg != nullptr) {
        hub->Deliver(type, *msg);
    }
}

void CDiscoveryHub::Deliver(int type, const tagMsgInfo& msg) {
    if (type == CAP_SEARCH_RESP) {
        WriteLog(0, "Search Resp:%.31s.", msg.Info.IpAddr);
    }
    bool post = false;
    bool logDrop = false;
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(m_lock);
        if (type == CAP_SEARCH_RESP) {
            if (m_pendingAnswers >= kMaxPendingAnswers) {
                ++m_dropped;
                logDrop = !m_dropLogged;
                m_dropLogged = true;
            } else {
                m_pending.push_back({type, msg.Info, 0, now});
                ++m_pendingAnswers;
            }
        } else {
            // Outcomes of IP changes and the end of a capture are few and
            // each is a line for the installer: never dropped.
            m_pending.push_back({type, msg.Info, msg.Result, now});
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

void CDiscoveryHub::ReportCaptureProblem(const QString& adapter, int error) {
    const QString text = orv::CaptureProblemText(adapter, error, false);
    WriteLog(1, "%s", text.toLocal8Bit().constData());
    emit captureProblem(text);
}

std::uint64_t CDiscoveryHub::DroppedAnswers() const {
    std::lock_guard lock(m_lock);
    return m_dropped;
}

void CDiscoveryHub::drain() {
    std::vector<Pending> pending;
    bool more = false;
    {
        std::lock_guard lock(m_lock);
        const std::size_t n = std::min(m_pending.size(), kMessagesPerTurn);
        pending.assign(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(n));
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(n));
        for (const Pending& p : pending) {
            m_pendingAnswers -= p.type == CAP_SEARCH_RESP ? 1 : 0;
        }
        more = !m_pending.empty();
        m_drainPosted = more;
    }
    if (more) {
        // The rest waits for the next turn, behind whatever else the window
        // has to do meanwhile.
        QMetaObject::invokeMethod(this, &CDiscoveryHub::drain, Qt::QueuedConnection);
    }
    // Runs of answers go out as one batch with one entry per camera, the
    // latest; an IP change's outcome keeps its place between them.
    std::vector<device::DeviceInfo> batch;
    std::unordered_map<device::DeviceId, std::size_t, device::DeviceIdHash> inBatch;
    const auto flush = [&] {
        if (!batch.empty()) {
            emit devicesFound(batch);
            batch.clear();
            inBatch.clear();
        }
    };
    for (const Pending& p : pending) {
        if (p.type == CAP_SEARCH_RESP) {
            const auto [it, added] = inBatch.emplace(qv::IdOf(p.record), batch.size());
            if (added) {
                batch.push_back(qv::DeviceOf(p.record, p.at));
            } else {
                batch[it->second] = qv::DeviceOf(p.record, p.at);
            }
            continue;
        }
        flush();
        if (p.type == CAP_CAPTURE_STOPPED) {
            const QString text = orv::CaptureProblemText(
                QString::fromUtf8(
                    p.record.DevName,
                    static_cast<qsizetype>(strnlen(p.record.DevName, sizeof p.record.DevName))),
                p.result, true);
            WriteLog(1, "%s", text.toLocal8Bit().constData());
            emit captureProblem(text);
        } else if (p.result == 0) {
            emit modifyDone(qv::DeviceOf(p.record, p.at));
        } else {
            emit modifyFailed(qv::DeviceOf(p.record, p.at), p.result);
        }
    }
    flush();
}

} // namespace orv
