#pragma once
// What the window and the command line share of the cameras: the program's
// drivers (the maker's and any given beside it), the hub their discovery
// reports into, and the job engine with the reboots its jobs leave behind.
// One per window or command-line session; it ends discovery and the jobs
// before its parts go.

#include "device/DriverSet.h"
#include "discovery/DiscoveryHub.h"
#include "jobs/JobEngine.h"
#include "protocols/qv/QvDriver.h"
#include "services/PinFile.h"

#include <filesystem>
#include <vector>

namespace orv {

class CDeviceServices {
public:
    // `moreDrivers` (ONVIF, a test's) outlive this object; `makerDiscovery`
    // makes the maker's discovery instances (the command line searches
    // more often than the window). The keys cameras are trusted by live in
    // `pinFile` (PinFilePath() for a person's tool; empty: in memory only).
    explicit CDeviceServices(int concurrency,
                             const std::vector<device::IDeviceDriver*>& moreDrivers = {},
                             qv::CQvDriver::InstancesFactory makerDiscovery = {},
                             std::filesystem::path pinFile = {});
    ~CDeviceServices();
    CDeviceServices(const CDeviceServices&) = delete;
    CDeviceServices& operator=(const CDeviceServices&) = delete;

    const device::CDriverSet& Drivers() const { return m_drivers; }
    qv::CQvDriver& Maker() { return m_maker; }
    CDiscoveryHub& Hub() { return m_hub; }
    jobs::CJobEngine& Jobs() { return m_jobs; }
    jobs::CRebootQueue& Reboots() { return m_jobs.Reboots(); }
    CPinFile& Trust() { return m_trust; }
    const CPinFile& Trust() const { return m_trust; }

    // Every driver's discovery into the hub; the maker's only with `maker`
    // (it searches every adapter of the machine).
    void StartDiscovery(bool maker);
    // An address change without a login through the camera's driver; the
    // outcome arrives in the discovery that found the camera.
    // NotSupported where no driver of the camera's protocols can.
    device::Status ChangeAddress(const device::DeviceInfo& device,
                                 const device::AddressChange& change,
                                 const device::Credentials& credentials) const;
    // Discovery stops, jobs start no further camera and queued reboots are
    // dropped; calls in flight end within their time limits. Idempotent.
    void Shutdown();

private:
    CPinFile m_trust;
    qv::CQvDriver m_maker;
    device::CDriverSet m_drivers;
    jobs::CJobEngine m_jobs;
    CDiscoveryHub m_hub;
    bool m_shutDown = false;
};

} // namespace orv
