#include "DeviceServices.h"

#include <algorithm>
#include <utility>

namespace orv {
namespace {

device::CDriverSet driversOf(device::IDeviceDriver& maker, device::IDeviceDriver& onvif,
                             const std::vector<device::IDeviceDriver*>& moreDrivers) {
    // A camera that answers both ways is served by the maker's driver: it
    // changes addresses without a login and knows the maker's settings. A
    // driver given for a protocol (a test's stand-in) takes that
    // protocol's place.
    const auto given = [&](device::Protocol kind) {
        return std::any_of(moreDrivers.begin(), moreDrivers.end(),
                           [kind](device::IDeviceDriver* d) { return d->Kind() == kind; });
    };
    device::CDriverSet drivers;
    if (!given(device::Protocol::Maker)) {
        drivers.Add(maker);
    }
    if (!given(device::Protocol::Onvif)) {
        drivers.Add(onvif);
    }
    for (device::IDeviceDriver* driver : moreDrivers) {
        drivers.Add(*driver);
    }
    return drivers;
}

// ONVIF asks no login of a camera whose MAC the maker's discovery heard,
// and keeps the keys of HTTPS cameras with the maker's.
onvif::COnvifDriver::Options withMaker(onvif::COnvifDriver::Options options,
                                       const qv::CQvDriver& maker, device::ITrustStore& trust) {
    if (options.trust == nullptr) {
        options.trust = &trust;
    }
    if (!options.describedElsewhere) {
        options.describedElsewhere = [&maker](const device::DeviceId& id) {
            return maker.Answered(id);
        };
    }
    return options;
}

} // namespace

CDeviceServices::CDeviceServices(int concurrency,
                                 const std::vector<device::IDeviceDriver*>& moreDrivers,
                                 qv::CQvDriver::InstancesFactory makerDiscovery,
                                 std::filesystem::path pinFile, onvif::COnvifDriver::Options onvif)
    : m_trust(std::move(pinFile)), m_maker(std::move(makerDiscovery), &m_trust),
      m_onvif([this] { return DefaultCredentials(); },
              withMaker(std::move(onvif), m_maker, m_trust)),
      m_drivers(driversOf(m_maker, m_onvif, moreDrivers)), m_jobs(m_drivers, concurrency) {
    QObject::connect(&m_hub, &CDiscoveryHub::devicesFound, &m_hub,
                     [this](const std::vector<device::DeviceInfo>& devices) {
                         if (m_site) {
                             m_site->NoteSeen(devices);
                         }
                     });
}

void CDeviceServices::OpenSite(std::shared_ptr<CSiteJournal> site) {
    m_site = std::move(site);
    m_jobs.SetJournal(m_site);
}

void CDeviceServices::OpenVault(std::shared_ptr<secrets::CPasswordVault> vault) {
    m_vault = std::move(vault);
    m_jobs.SetLoginBook(m_vault);
}

void CDeviceServices::SetDefaultCredentials(const device::Credentials& credentials) {
    {
        std::lock_guard guard(m_credentialsLock);
        if (m_credentials.user == credentials.user &&
            m_credentials.password == credentials.password) {
            return;
        }
        m_credentials = credentials;
    }
    // Outside the lock: the driver asks for the login through it.
    m_onvif.LoginChanged();
}

device::Credentials CDeviceServices::DefaultCredentials() const {
    std::lock_guard guard(m_credentialsLock);
    return m_credentials;
}

CDeviceServices::~CDeviceServices() {
    Shutdown();
}

bool CDeviceServices::IsOwn(const device::IDeviceDriver& driver) const {
    return &driver == &m_maker || &driver == &m_onvif;
}

bool CDeviceServices::OwnOnvif() const {
    const auto& all = m_drivers.All();
    return std::find(all.begin(), all.end(), &m_onvif) != all.end();
}

void CDeviceServices::StartDiscovery(bool everyAdapter) {
    for (device::IDeviceDriver* driver : m_drivers.All()) {
        if (!IsOwn(*driver) || everyAdapter) {
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
