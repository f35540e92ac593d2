#pragma once
// The maker's protocol as a device driver: discovery by its raw Ethernet
// frames on every adapter, sessions over its device API, and address
// changes without a login through the discovery frames.

#include "device/DeviceDriver.h"

#include <functional>
#include <memory>
#include <mutex>

namespace orv {
class CDiscoveryInstances;
}

namespace orv::qv {

class CQvDriver final : public device::IDeviceDriver {
public:
    using InstancesFactory = std::function<std::unique_ptr<CDiscoveryInstances>()>;
    // `instances` makes the discovery instances (tests shorten their timing).
    explicit CQvDriver(InstancesFactory instances = {});
    ~CQvDriver() override;

    device::Protocol Kind() const override { return device::Protocol::Maker; }
    void StartDiscovery(device::IDiscoverySink& sink) override;
    void StopDiscovery() override;
    device::Result<std::unique_ptr<device::IDeviceSession>>
    Open(const device::DeviceInfo& device, const device::Credentials& credentials) override;
    device::Status ChangeAddress(const device::DeviceInfo& device,
                                 const device::AddressChange& change,
                                 const device::Credentials& credentials) override;

private:
    InstancesFactory m_factory;
    std::mutex m_lock;
    std::unique_ptr<CDiscoveryInstances> m_instances;
    device::IDiscoverySink* m_sink = nullptr;
};

// A session with one of the maker's cameras over its device API. Public for
// the tests, which open it against simulated cameras on loopback.
std::unique_ptr<device::IDeviceSession> OpenQvSession(const device::DeviceInfo& device,
                                                      const device::Credentials& credentials,
                                                      device::Failure& failure);

} // namespace orv::qv
