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
                                 const std::vector<std::string>& interfaces, bool maker,
                                 bool onvif) {
    m_services = &services;
    // Drivers beside the program's own (a test's) always report here.
    const auto& all = services.Drivers().All();
    const bool others = std::any_of(all.begin(), all.end(),
                                    [&](device::IDeviceDriver* d) { return !services.IsOwn(*d); });
    onvif = onvif && services.OwnOnvif();
    if (others || onvif) {
        listen(services.Hub(), std::string());
    }
    if (others) {
        services.StartDiscovery(false);
    }
    if (onvif) {
        std::vector<onvifc::Adapter> adapters;
        for (const onvifc::Adapter& a : onvifc::listIpv4Adapters()) {
            if (interfaces.empty() ||
                std::find(interfaces.begin(), interfaces.end(), a.name) != interfaces.end()) {
                adapters.push_back(a);
            }
        }
        if (adapters.empty() && !maker) {
            return interfaces.empty() ? "no network adapter with an IPv4 address to discover on"
                                      : "no named adapter has an IPv4 address";
        }
        if (!adapters.empty()) {
            services.Onvif().StartDiscoveryOn(services.Hub(), std::move(adapters));
        }
    }
    if (!maker) {
        return others || onvif ? std::string() : "no discovery for the chosen protocols";
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
        // The services' own hub tells the site every camera it hears; an
        // adapter's hub of the maker's discovery must too.
        QObject::connect(hub.get(), &CDiscoveryHub::devicesFound, hub.get(),
                         [site = services.Site()](const std::vector<device::DeviceInfo>& found) {
                             if (site) {
                                 site->NoteSeen(found);
                             }
                         });
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
    if (started == 0 && !others && !onvif) {
        return "no network adapter to discover cameras on";
    }
    if (started == failures && !others && !onvif) {
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
        std::vector<std::string> formerAdapters;
        if (!d.formerId.IsNull() && d.formerId != d.id) {
            // Known by its ONVIF endpoint until it told its MAC: one camera.
            if (const auto former = m_cameras.find(d.formerId); former != m_cameras.end()) {
                formerAdapters = former->second.adapters;
                m_cameras.erase(former);
                m_order.erase(std::find(m_order.begin(), m_order.end(), d.formerId));
            }
        }
        auto [it, added] = m_cameras.try_emplace(d.id);
        if (added) {
            m_order.push_back(d.id);
            it->second.device = d;
            it->second.adapters = std::move(formerAdapters);
        } else {
            // The same camera through another protocol keeps both.
            it->second.device = device::MergeAnswer(it->second.device, d);
        }
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
