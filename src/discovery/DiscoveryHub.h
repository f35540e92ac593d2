#pragma once
// The single road by which cameras enter the program. The discovery library
// calls the hub's capture callback on its own threads; the callback only
// copies the record into a bounded queue and, when the queue was empty,
// asks the window thread to drain it. On the window thread the hub hands
// each drained batch to the pages as typed signals. Answers are coalesced
// per camera (the latest wins), so a burst of answers costs the window one
// batch, and a flood of invented cameras costs a bounded queue: answers
// beyond it are dropped and counted.

#include "device/DeviceInfo.h"
#include "qvsp/QvspTypes.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace orv {

class CDiscoveryHub : public QObject {
    Q_OBJECT
public:
    // Camera answers waiting for the window thread; further answers of
    // cameras not yet waiting are dropped until it has caught up.
    static constexpr std::size_t kMaxPendingAnswers = 16384;
    // Messages handed to the pages per turn of the window's event loop, so
    // that a thousand cameras answering at once never hold the window for
    // longer than a few hundred rows take.
    static constexpr std::size_t kMessagesPerTurn = 512;

    explicit CDiscoveryHub(QObject* parent = nullptr);

    // The callback for every discovery instance, with this hub as `user`.
    static void CaptureCallback(int type, tagMsgInfo* msg, void* user);
    // The same, from any thread.
    void Deliver(int type, const tagMsgInfo& msg);
    // An adapter whose capture could not start (QVSP_ERROR_ value), from
    // the window thread.
    void ReportCaptureProblem(const QString& adapter, int error);

    std::uint64_t DroppedAnswers() const;

signals:
    void devicesFound(const std::vector<orv::device::DeviceInfo>& devices);
    // An IP change's outcome: the camera with the values it was asked for.
    void modifyDone(const orv::device::DeviceInfo& device);
    // `result`: the library's result word (QVSP_RESULT_*).
    void modifyFailed(const orv::device::DeviceInfo& device, int result);
    void captureProblem(const QString& text);

private:
    struct Pending {
        int type;
        tagQvIpcInfo record;
        int result = 0;
        std::chrono::steady_clock::time_point at;
    };
    void drain();

    mutable std::mutex m_lock;
    std::deque<Pending> m_pending;
    std::size_t m_pendingAnswers = 0;
    bool m_drainPosted = false;
    std::uint64_t m_dropped = 0;
    bool m_dropLogged = false;
};

} // namespace orv
