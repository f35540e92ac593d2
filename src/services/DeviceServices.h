#pragma once
// What the window and the command line share of the cameras: the program's
// drivers (the maker's, ONVIF and any given beside it), the hub their discovery
// reports into, and the job engine with the reboots its jobs leave behind.
// One per window or command-line session; it ends discovery and the jobs
// before its parts go.

#include "device/DriverSet.h"
#include "discovery/DiscoveryHub.h"
#include "jobs/JobEngine.h"
#include "protocols/onvif/OnvifDriver.h"
#include "protocols/qv/QvDriver.h"
#include "secrets/PasswordVault.h"
#include "services/PinFile.h"
#include "services/SiteJournal.h"

#include <filesystem>
#include <mutex>
#include <vector>

namespace orv {

class CDeviceServices {
public:
    // `moreDrivers` (a test's) outlive this object; one given for a
    // protocol takes the place of the program's own driver; `makerDiscovery`
    // makes the maker's discovery instances (the command line searches
    // more often than the window). The keys cameras are trusted by live in
    // `pinFile` (PinFilePath() for a person's tool; empty: in memory only).
    explicit CDeviceServices(int concurrency,
                             const std::vector<device::IDeviceDriver*>& moreDrivers = {},
                             qv::CQvDriver::InstancesFactory makerDiscovery = {},
                             std::filesystem::path pinFile = {},
                             onvif::COnvifDriver::Options onvif = {});
    ~CDeviceServices();
    CDeviceServices(const CDeviceServices&) = delete;
    CDeviceServices& operator=(const CDeviceServices&) = delete;

    const device::CDriverSet& Drivers() const { return m_drivers; }
    qv::CQvDriver& Maker() { return m_maker; }
    onvif::COnvifDriver& Onvif() { return m_onvif; }
    // Whether `driver` is one of the program's own (the maker's, ONVIF),
    // which search every adapter, rather than one given beside them.
    bool IsOwn(const device::IDeviceDriver& driver) const;
    // Whether ONVIF cameras are served by the program's own driver (and not
    // by a stand-in given for the protocol).
    bool OwnOnvif() const;
    // The login ONVIF cameras are asked their details with (the window's
    // default user and password); from any thread.
    void SetDefaultCredentials(const device::Credentials& credentials);
    device::Credentials DefaultCredentials() const;
    CDiscoveryHub& Hub() { return m_hub; }
    jobs::CJobEngine& Jobs() { return m_jobs; }
    jobs::CRebootQueue& Reboots() { return m_jobs.Reboots(); }
    CPinFile& Trust() { return m_trust; }
    const CPinFile& Trust() const { return m_trust; }
    // The site whose book records every camera discovery reports and every
    // job started from now on (a running job keeps its own); nothing: none.
    // On the hub's thread.
    void OpenSite(std::shared_ptr<CSiteJournal> site);
    const std::shared_ptr<CSiteJournal>& Site() const { return m_site; }
    // Each camera's own password for the open site: jobs log in with it
    // first, with the default login after.
    void OpenVault(std::shared_ptr<secrets::CPasswordVault> vault);
    const std::shared_ptr<secrets::CPasswordVault>& Vault() const { return m_vault; }

    // Every driver's discovery into the hub; the maker's and ONVIF's only
    // with `everyAdapter` (they search every adapter of the machine).
    void StartDiscovery(bool everyAdapter);
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
    mutable std::mutex m_credentialsLock;
    device::Credentials m_credentials;
    qv::CQvDriver m_maker;
    onvif::COnvifDriver m_onvif;
    device::CDriverSet m_drivers;
    // Before the engine: a job's last camera is recorded before it goes.
    std::shared_ptr<CSiteJournal> m_site;
    std::shared_ptr<secrets::CPasswordVault> m_vault;
    jobs::CJobEngine m_jobs;
    CDiscoveryHub m_hub;
    bool m_shutDown = false;
};

} // namespace orv
