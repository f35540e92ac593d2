#pragma once
// The maker's protocol as a device driver: discovery by its raw Ethernet
// frames on every adapter, sessions over its device API, and address
// changes without a login through the discovery frames.

#include "device/DeviceDriver.h"
#include "device/TrustStore.h"
#include "qvsp/QvspTypes.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace orv {
class CDiscoveryInstances;
}

namespace orv::qv {

class CQvDriver final : public device::IDeviceDriver {
public:
    using InstancesFactory = std::function<std::unique_ptr<CDiscoveryInstances>()>;
    // `instances` makes the discovery instances (tests shorten their timing).
    // `trust` keeps the keys of cameras that speak TLS; without it every
    // login trusts the key its camera shows.
    explicit CQvDriver(InstancesFactory instances = {}, device::ITrustStore* trust = nullptr);
    ~CQvDriver() override;

    device::Protocol Kind() const override { return device::Protocol::Maker; }
    bool Takes(device::TextField field, const QString& text) const override;
    void StartDiscovery(device::IDiscoverySink& sink) override;
    void StopDiscovery() override;
    // The camera's web port: every login starts or ends there (a pinned
    // camera that does not answer on its TLS port is asked there next).
    std::optional<device::Reach> ReachOf(const device::DeviceInfo& device) const override;
    device::Result<std::unique_ptr<device::IDeviceSession>>
    Open(const device::DeviceInfo& device, const device::Credentials& credentials) override;
    device::Status ChangeAddress(const device::DeviceInfo& device,
                                 const device::AddressChange& change,
                                 const device::Credentials& credentials) override;

    // Discovery on the adapters `sinkFor` picks, each reporting into its own
    // sink (nullptr leaves an adapter alone), so a caller knows the adapter
    // every camera answered on; `failed` hears of an adapter whose capture
    // could not start. The number of adapters found; nothing when discovery
    // runs already. StopDiscovery ends it.
    struct Adapter {
        std::string name;
        device::MacAddress mac{};
    };
    using SinkFor = std::function<device::IDiscoverySink*(const Adapter& adapter)>;
    using StartFailure = std::function<void(const std::string& adapter, int error)>;
    int StartDiscoveryEach(const SinkFor& sinkFor, const StartFailure& failed);
    // Adapters discovery runs on.
    int InstanceCount() const;
    // Whether the maker's discovery has heard the camera (from any thread):
    // it then describes it fully, without a login.
    bool Answered(const device::DeviceId& id) const;

private:
    class Recorder;
    InstancesFactory m_factory;
    device::ITrustStore* m_trust = nullptr;
    mutable std::mutex m_lock;
    std::unique_ptr<CDiscoveryInstances> m_instances;
    device::IDiscoverySink* m_sink = nullptr;
    std::vector<std::unique_ptr<Recorder>> m_recorders;
    mutable std::mutex m_answeredLock;
    std::unordered_set<device::DeviceId, device::DeviceIdHash> m_answered;
};

// Discovery instances that search every `interval` (the window's search
// every ten seconds; the command line waits for answers and asks often).
CQvDriver::InstancesFactory SearchingEvery(std::chrono::milliseconds interval);

// What a capture reported, handed to `sink` as device values: answers,
// outcomes of address changes (`ModifyFault` tells why one did not apply)
// and captures that ended. `ForwardCapture` is the discovery library's
// callback for a `user` that is an IDiscoverySink*.
void Deliver(device::IDiscoverySink& sink, int type, const tagMsgInfo& msg);
void ForwardCapture(int type, tagMsgInfo* msg, void* sink);
device::Fault ModifyFault(int result);

// A session with one of the maker's cameras over its device API: over TLS
// whenever the camera offers it, held to the key `trust` kept for the
// camera, and a first contact's key kept there. Public for the tests, which
// open it against simulated cameras on loopback.
std::unique_ptr<device::IDeviceSession> OpenQvSession(const device::DeviceInfo& device,
                                                      const device::Credentials& credentials,
                                                      device::Failure& failure,
                                                      device::ITrustStore* trust = nullptr);

} // namespace orv::qv
