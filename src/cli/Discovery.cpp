#include "Discovery.h"

#include "Options.h"
#include "protocols/qv/DiscoveryInstances.h"
#include "protocols/qv/QvDriver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>
#include <cstring>

namespace orv::cli {
namespace {

// Address order; a camera without an address last.
std::pair<std::uint64_t, int> addressOrder(const device::DeviceInfo& d) {
    return {d.address == 0 ? std::uint64_t{1} << 40 : d.address, d.ports.http};
}

} // namespace

qv::CQvDriver::InstancesFactory CCliDiscovery::MakerDiscovery() {
    return qv::SearchingEvery(kSearchInterval);
}

void CCliDiscovery::listen(CDiscoveryHub& hub, const std::string& adapter) {
    QObject::connect(
        &hub, &CDiscoveryHub::devicesFound, &hub,
        [this, adapter](const std::vector<device::DeviceInfo>& found) { onFound(adapter, found); });
    QObject::connect(&hub, &CDiscoveryHub::modifyDone, &hub, [this](const device::DeviceInfo& d) {
        m_waiter.Complete(d.id, device::Done{});
    });
    QObject::connect(&hub, &CDiscoveryHub::modifyFailed, &hub,
                     [this](const device::DeviceInfo& d, device::Fault fault) {
                         m_waiter.Complete(d.id, fault);
                     });
    QObject::connect(&hub, &CDiscoveryHub::captureProblem, &hub,
                     [](const QString& text) { Note(text.toStdString()); });
}

std::string CCliDiscovery::Start(CDeviceServices& services,
                                 const std::vector<std::string>& interfaces, bool maker) {
    m_services = &services;
    const bool others = services.Drivers().All().size() > 1;
    if (others) {
        listen(services.Hub(), std::string());
        services.StartDiscovery(false);
    }
    if (!maker) {
        return others ? std::string() : "no discovery for the chosen protocols";
    }
    std::vector<std::string> seen;
    const auto sinkFor = [&](const qv::CQvDriver::Adapter& a) -> device::IDiscoverySink* {
        seen.push_back(a.name);
        if (!interfaces.empty() &&
            std::find(interfaces.begin(), interfaces.end(), a.name) == interfaces.end()) {
            return nullptr;
        }
        m_adapters.push_back({a.name, a.mac});
        const std::string& name = a.name;
        auto hub = std::make_unique<CDiscoveryHub>();
        listen(*hub, name);
        device::IDiscoverySink* sink = hub.get();
        m_hubs[name] = std::move(hub);
        return sink;
    };
    int failures = 0;
    const int started =
        services.Maker().StartDiscoveryEach(sinkFor, [&](const std::string& adapter, int error) {
            ++failures;
            Note(CaptureProblemText(QString::fromStdString(adapter), error, false).toStdString());
        });
    for (const std::string& wanted : interfaces) {
        if (std::find(seen.begin(), seen.end(), wanted) == seen.end()) {
            return "no network adapter named " + wanted;
        }
    }
    if (started == 0 && !others) {
        return "no network adapter to discover cameras on";
    }
    if (started == failures && !others) {
        return "discovery could not start on any adapter";
    }
    return {};
}

const Adapter* CCliDiscovery::AdapterNamed(const std::string& name) const {
    const auto it = std::find_if(m_adapters.begin(), m_adapters.end(),
                                 [&](const Adapter& a) { return a.name == name; });
    return it == m_adapters.end() ? nullptr : &*it;
}

void CCliDiscovery::RunFor(std::chrono::milliseconds time, const std::function<bool()>& done) {
    const QDeadlineTimer deadline(time.count());
    while (!deadline.hasExpired()) {
        m_changed = false;
        QCoreApplication::processEvents(
            QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
            static_cast<int>(std::min<qint64>(100, std::max<qint64>(1, deadline.remainingTime()))));
        if (done && m_changed && done()) {
            return;
        }
    }
}

void CCliDiscovery::onFound(const std::string& adapter,
                            const std::vector<device::DeviceInfo>& devices) {
    const auto now = std::chrono::steady_clock::now();
    for (const device::DeviceInfo& d : devices) {
        auto [it, added] = m_cameras.try_emplace(d.id);
        if (added) {
            m_order.push_back(d.id);
        }
        it->second.device = d;
        it->second.lastSeen = now;
        if (!adapter.empty() && std::find(it->second.adapters.begin(), it->second.adapters.end(),
                                          adapter) == it->second.adapters.end()) {
            it->second.adapters.push_back(adapter);
        }
    }
    m_changed = true;
}

std::vector<SeenCamera> CCliDiscovery::Cameras() const {
    std::vector<SeenCamera> cameras;
    for (const device::DeviceId& key : m_order) {
        cameras.push_back(m_cameras.at(key));
    }
    std::stable_sort(cameras.begin(), cameras.end(), [](const SeenCamera& a, const SeenCamera& b) {
        return addressOrder(a.device) < addressOrder(b.device);
    });
    return cameras;
}

const SeenCamera* CCliDiscovery::Find(const device::DeviceId& key) const {
    const auto it = m_cameras.find(key);
    return it == m_cameras.end() ? nullptr : &it->second;
}

device::Status CCliDiscovery::Modify(const network::ModifyRequest& request) {
    if (m_services == nullptr) {
        return device::Failure{device::Fault::Unreachable, "discovery is not running"};
    }
    return m_services->ChangeAddress(request.device, request.change, request.credentials);
}

} // namespace orv::cli
