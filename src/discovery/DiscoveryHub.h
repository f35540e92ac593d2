#pragma once
// The single road by which cameras enter the program: every driver's
// discovery reports into the hub, on the driver's own threads. The hub only
// copies what arrives into a bounded queue and, when the queue was empty,
// asks the window thread to drain it. On the window thread it hands each
// drained batch to the pages as typed signals. Answers are coalesced per
// camera (the latest wins), so a burst of answers costs the window one
// batch, and a flood of invented cameras costs a bounded queue: answers
// beyond it are dropped and counted.

#include "device/DeviceDriver.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace orv {

class CDiscoveryHub : public QObject, public device::IDiscoverySink {
    Q_OBJECT
public:
    // Camera answers waiting for the window thread; further answers of
    // cameras not yet waiting are dropped until it has caught up.
    static constexpr std::size_t kMaxPendingAnswers = 16384;
    // Messages handed to the pages per turn of the window's event loop, so
    // that a thousand cameras answering at once never hold the window for
    // longer than a few hundred rows take.
    static constexpr std::size_t kMessagesPerTurn = 256;

    explicit CDiscoveryHub(QObject* parent = nullptr);

    // IDiscoverySink, from any thread.
    void DevicesFound(std::vector<device::DeviceInfo> devices) override;
    void AddressChangeDone(const device::DeviceInfo& requested,
                           const device::Status& outcome) override;
    void DiscoveryProblem(const QString& text) override;

    std::uint64_t DroppedAnswers() const;

signals:
    void devicesFound(const std::vector<orv::device::DeviceInfo>& devices);
    // An IP change's outcome: the camera with the values it was asked for.
    void modifyDone(const orv::device::DeviceInfo& device);
    void modifyFailed(const orv::device::DeviceInfo& device, orv::device::Fault fault);
    void captureProblem(const QString& text);

private:
    struct Pending {
        enum class Kind { Found, Changed, Problem } kind;
        device::DeviceInfo device;
        // A change that did not apply: why.
        std::optional<device::Fault> fault;
        QString text;
    };
    // Queues `pending` and asks for a drain unless one is on its way.
    void push(Pending pending);
    void drain();

    mutable std::mutex m_lock;
    // Pushed to by the discovery threads, under m_lock. It trades places
    // with m_draining, so the window thread never frees the storage they
    // allocated: that takes their allocator's lock, which a preempted
    // discovery thread held for up to 25 ms.
    std::vector<Pending> m_pending;
    // The window thread's own: taken from m_pending, handed on from
    // m_drainAt on, a turn's worth at a time.
    std::vector<Pending> m_draining;
    std::size_t m_drainAt = 0;
    std::size_t m_pendingAnswers = 0;
    bool m_drainPosted = false;
    std::uint64_t m_dropped = 0;
    bool m_dropLogged = false;
};

} // namespace orv

Q_DECLARE_METATYPE(orv::device::Fault)
