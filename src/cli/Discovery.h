#pragma once
// Discovery for the command line, through the session's device services:
// the maker's driver reports into one hub per adapter, so that every
// camera is known with the adapter it answered on; other drivers report
// into the services' hub. Answers arrive on this thread's event loop; the
// list of cameras is kept with the time of each one's last answer. The
// search repeats every second (the window's every ten), so a moved camera
// is seen at its new address within a second or two.

#include "discovery/DiscoveryHub.h"
#include "operations/network/ModifyWaiter.h"
#include "operations/network/NetworkRules.h"
#include "services/DeviceServices.h"

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace orv::cli {

struct SeenCamera {
    device::DeviceInfo device;
    std::vector<std::string> adapters; // in the order they heard it
    std::chrono::steady_clock::time_point lastSeen;
};

struct Adapter {
    std::string name;
    std::array<std::uint8_t, 6> mac{};
};

class CCliDiscovery {
public:
    static constexpr std::chrono::milliseconds kSearchInterval{1000};

    CCliDiscovery() = default;
    CCliDiscovery(const CCliDiscovery&) = delete;
    CCliDiscovery& operator=(const CCliDiscovery&) = delete;

    // The maker's discovery instances as the command line runs them: a
    // search every kSearchInterval.
    static qv::CQvDriver::InstancesFactory MakerDiscovery();

    // Starts the maker's and ONVIF's discovery on the named adapters (all
    // when none is named; each only when asked for) and every other
    // driver's of `services`, whose discovery must stop before this object
    // goes (it outlives it). An error text when a named adapter does not
    // exist or nothing could start.
    std::string Start(CDeviceServices& services, const std::vector<std::string>& interfaces,
                      bool maker = true, bool onvif = true);
    const std::vector<Adapter>& Adapters() const { return m_adapters; }
    const Adapter* AdapterNamed(const std::string& name) const;

    // Runs the event loop until `done` holds (checked after every batch of
    // answers) or `seconds` pass.
    void RunFor(std::chrono::milliseconds time, const std::function<bool()>& done = {});

    // Every camera heard, in address order.
    std::vector<SeenCamera> Cameras() const;
    const SeenCamera* Find(const device::DeviceId& key) const;

    // A modify request through every adapter (any thread); the outcome
    // reaches the waiter. A failure when the request cannot leave.
    device::Status Modify(const network::ModifyRequest& request);
    network::CModifyWaiter& Waiter() { return m_waiter; }

private:
    // Answers in `hub` count as heard on `adapter` ("" for a driver's own
    // discovery); its address-change outcomes reach the waiter.
    void listen(CDiscoveryHub& hub, const std::string& adapter);
    void onFound(const std::string& adapter, const std::vector<device::DeviceInfo>& devices);

    CDeviceServices* m_services = nullptr;
    std::map<std::string, std::unique_ptr<CDiscoveryHub>> m_hubs;
    std::vector<Adapter> m_adapters;
    std::vector<device::DeviceId> m_order;
    std::unordered_map<device::DeviceId, SeenCamera, device::DeviceIdHash> m_cameras;
    network::CModifyWaiter m_waiter;
    bool m_changed = false;
};

} // namespace orv::cli
