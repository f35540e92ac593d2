#pragma once
// One discovery instance per network adapter, owned together: started when
// the main window opens, stopped before its pages go away.

#include "qvsp/Qvsp.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv {

// What the installer reads about an adapter whose capture could not start
// (`started` false) or stopped: the cause and, for missing rights, how to
// grant them. `error` is the library's QVSP_ERROR_ value.
QString CaptureProblemText(const QString& adapter, int error, bool started);

// The capture filter of an adapter: the camera protocol's 260-byte frames,
// without the adapter's own.
std::string DiscoveryFilter(const unsigned char mac[6]);

class CDiscoveryInstances {
public:
    using Factory = std::function<std::unique_ptr<CQvsp>()>;

    // `factory` makes each instance (tests shorten the library's timing).
    explicit CDiscoveryInstances(Factory factory = {});
    ~CDiscoveryInstances();
    CDiscoveryInstances(const CDiscoveryInstances&) = delete;
    CDiscoveryInstances& operator=(const CDiscoveryInstances&) = delete;

    // An adapter whose capture could not start: its name and the library's
    // QVSP_ERROR_ value.
    using StartFailure = std::function<void(const std::string& adapter, int error)>;

    // Lists the adapters and starts discovery on each that opens; returns
    // the number of instances (0 when no adapter was found).
    int Start(QvspCallback callback, void* user, const StartFailure& failed = {});
    // The same on the adapters a caller picks: `userFor` gives the callback's
    // user pointer for each adapter, nullptr to leave the adapter alone.
    using UserFor = std::function<void*(const QvAdapter& adapter)>;
    int StartEach(QvspCallback callback, const UserFor& userFor, const StartFailure& failed = {});
    // Stops every instance in order; no callback runs after this returns.
    void Stop();
    // Hands the request to every instance; -1 for a null request, else 0.
    int ModifyAll(tagQvIpcInfo* request);
    int Count() const { return static_cast<int>(m_instances.size()); }

private:
    Factory m_factory;
    std::vector<std::unique_ptr<CQvsp>> m_instances;
};

} // namespace orv
