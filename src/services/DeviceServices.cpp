#include "DeviceServices.h"

#include <utility>

namespace orv {
namespace {

device::CDriverSet driversOf(device::IDeviceDriver& maker,
                             const std::vector<device::IDeviceDriver*>& moreDrivers) {
    device::CDriverSet drivers;
    drivers.Add(maker);
    for (device::IDeviceDriver* driver : moreDrivers) {
        drivers.Add(*driver);
    }
    return drivers;
}

} // namespace

CDeviceServices::CDeviceServices(int concurrency,
                                 const std::vector<device::IDeviceDriver*>& moreDrivers,
                                 qv::CQvDriver::InstancesFactory makerDiscovery,
                                 std::filesystem::path pinFile)
    : m_trust(std::move(pinFile)), m_maker(std::move(makerDiscovery), &m_trust),
      m_drivers(driversOf(m_maker, moreDrivers)), m_jobs(m_drivers, concurrency) {}

CDeviceServices::~CDeviceServices() {
    Shutdown();
}

void CDeviceServices::StartDiscovery(bool maker) {
    for (device::IDeviceDriver* driver : m_drivers.All()) {
        if (driver != &m_maker || maker) {
            driver->StartDiscovery(m_hub);
        }
    }
}

device::Status CDeviceServices::ChangeAddress(const device::DeviceInfo& device,
                                              const device::AddressChange& change,
                                              const device::Credentials& credentials) const {
    device::IDeviceDriver* driver = m_drivers.For(device);
    if (driver == nullptr) {
        return device::Fault::NotSupported;
    }
    return driver->ChangeAddress(device, change, credentials);
}

void CDeviceServices::Shutdown() {
    if (std::exchange(m_shutDown, true)) {
        return;
    }
    for (device::IDeviceDriver* driver : m_drivers.All()) {
        driver->StopDiscovery();
    }
    m_jobs.Shutdown();
}

} // namespace orv
