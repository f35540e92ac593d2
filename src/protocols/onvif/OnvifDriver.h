#pragma once
// ONVIF as a device driver: cameras found by WS-Discovery on every adapter,
// their details asked over SOAP with the installer's default login, and
// sessions over the Device, Media and Imaging services. A camera is first
// reported from its ProbeMatch alone (address, name and model from its
// scopes), so a thousand of them are listed as fast as they answer; its
// details follow once a worker has asked it, and its MAC then makes one
// row of a maker's camera that answers both ways.

#include "device/DeviceDriver.h"
#include "device/TrustStore.h"
#include "onvifc/Device.h"
#include "onvifc/discovery/WsDiscovery.h"

#include <chrono>
#include <functional>
#include <memory>

namespace orv::onvif {

class COnvifDriver final : public device::IDeviceDriver {
public:
    // The login the details of a newly found camera are asked with (the
    // window's default user and password); asked on a worker thread.
    using CredentialsSource = std::function<device::Credentials()>;
    struct Options {
        std::chrono::milliseconds probeInterval = onvifc::CWsDiscovery::kDefaultInterval;
        // Empty: every IPv4 adapter that is up and multicast capable.
        std::vector<onvifc::Adapter> adapters;
        // Cameras asked for their details at once.
        int workers = 8;
        // A camera another protocol already describes in full (the maker's
        // discovery) needs no login for its details; asked on the
        // discovery thread.
        std::function<bool(const device::DeviceId&)> describedElsewhere;
        // How long a newly heard camera waits before its details are asked,
        // so that the maker's discovery, which answers at once, can claim
        // its own cameras first.
        std::chrono::milliseconds detailDelay{1500};
        // The keys of cameras that speak HTTPS (the program's pin file);
        // without one, every session trusts the key its camera shows.
        device::ITrustStore* trust = nullptr;
        // Limits of every SOAP call; a test shortens them.
        std::chrono::milliseconds connectLimit{2500};
        std::chrono::milliseconds callLimit{5000};
        // How long a moved camera may take to answer at its new address
        // (longer when it reboots to take it).
        std::chrono::milliseconds moveLimit{10000};
        std::chrono::milliseconds rebootMoveLimit{60000};
    };

    explicit COnvifDriver(CredentialsSource credentials = {});
    COnvifDriver(CredentialsSource credentials, Options options);
    ~COnvifDriver() override;

    device::Protocol Kind() const override { return device::Protocol::Onvif; }
    void StartDiscovery(device::IDiscoverySink& sink) override;
    void StopDiscovery() override;
    // The host and port of the camera's device service.
    std::optional<device::Reach> ReachOf(const device::DeviceInfo& device) const override;
    device::Result<std::unique_ptr<device::IDeviceSession>>
    Open(const device::DeviceInfo& device, const device::Credentials& credentials) override;
    // With the camera's login: name, gateway, DNS and HTTP port first, the
    // address last; the outcome reaches the discovery sink once the camera
    // answers at its new address (or gave up waiting for it).
    device::Status ChangeAddress(const device::DeviceInfo& device,
                                 const device::AddressChange& change,
                                 const device::Credentials& credentials) override;

    // Discovery on the given adapters only (the command line's --interface).
    void StartDiscoveryOn(device::IDiscoverySink& sink, std::vector<onvifc::Adapter> adapters);
    // Probes every adapter now (the command line's search asks at once).
    void ProbeNow();
    // The default login changed: cameras that refused the one before are
    // asked their details again, after the usual short wait.
    void LoginChanged();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// What a camera's ProbeMatch or Hello tells, as device values: its address
// (the sender's where the advertised one is another), name and model from
// its scopes, and its identity: the MAC where the endpoint is a time-based
// UUID (whose node is the MAC), the endpoint otherwise. Nothing for a
// message without a usable HTTP address.
std::optional<device::DeviceInfo> DeviceFromAnnouncement(const onvifc::Found& found);

// The capabilities of an ONVIF camera with the services it reported.
device::Capabilities CapabilitiesOf(const onvifc::ServiceMap& services);

} // namespace orv::onvif
