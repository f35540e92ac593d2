#include "OnvifDriver.h"

#include "OnvifSession.h"
#include "log/LogFile.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace orv::onvif {

using device::Capability;
using device::DeviceInfo;

namespace {

struct UrlParts {
    std::string scheme;
    std::string host;
    int port = 0;
    std::string path;
};

std::optional<UrlParts> splitUrl(std::string_view url) {
    UrlParts out;
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos) {
        return std::nullopt;
    }
    out.scheme = std::string(url.substr(0, scheme));
    url.remove_prefix(scheme + 3);
    const auto slash = url.find('/');
    const std::string_view authority = url.substr(0, slash);
    out.path = slash == std::string_view::npos ? "/" : std::string(url.substr(slash));
    const auto colon = authority.rfind(':');
    out.host = std::string(authority.substr(0, colon));
    out.port = out.scheme == "https" ? 443 : 80;
    if (colon != std::string_view::npos) {
        int port = 0;
        for (const char c : authority.substr(colon + 1)) {
            if (c < '0' || c > '9' || port > 65535) {
                return std::nullopt;
            }
            port = port * 10 + (c - '0');
        }
        if (port <= 0 || port > 65535) {
            return std::nullopt;
        }
        out.port = port;
    }
    if (out.scheme != "http" && out.scheme != "https") {
        return std::nullopt;
    }
    return out;
}

// The MAC of a time-based UUID's node field; nothing for other UUIDs or a
// node with the multicast bit, which RFC 4122 uses for a random node.
std::optional<device::MacAddress> macOfEndpoint(std::string_view endpoint) {
    static constexpr std::string_view kUrn = "urn:uuid:";
    if (endpoint.size() != kUrn.size() + 36 || !endpoint.starts_with(kUrn)) {
        return std::nullopt;
    }
    const std::string_view uuid = endpoint.substr(kUrn.size());
    if (uuid[8] != '-' || uuid[13] != '-' || uuid[18] != '-' || uuid[23] != '-' ||
        uuid[14] != '1') {
        return std::nullopt;
    }
    const auto mac = device::ReadMac(uuid.substr(24));
    if (!mac || ((*mac)[0] & 1) != 0) {
        return std::nullopt;
    }
    return mac;
}

QString scopeText(const std::vector<std::string>& scopes, std::string_view kind) {
    for (const std::string& scope : scopes) {
        if (const auto value = onvifc::ScopeValue(scope, kind)) {
            return QString::fromStdString(*value);
        }
    }
    return {};
}

std::uint32_t netmaskOf(int prefixLength) {
    if (prefixLength <= 0 || prefixLength > 32) {
        return 0;
    }
    return prefixLength == 32 ? 0xffffffffu : ~(0xffffffffu >> prefixLength);
}

} // namespace

device::Capabilities CapabilitiesOf(const onvifc::ServiceMap& services) {
    device::Capabilities c{Capability::Name,  Capability::Password, Capability::DateTime,
                           Capability::Ports, Capability::Reboot,   Capability::Restore};
    if (!services.media.empty()) {
        c = c.With(Capability::Streams);
    }
    if (!services.imaging.empty()) {
        c = c.With(Capability::Image).With(Capability::Picture);
    }
    if (services.dynamicDns) {
        c = c.With(Capability::Ddns);
    }
    if (services.firmwareUpgrade) {
        c = c.With(Capability::Firmware);
    }
    return c;
}

std::optional<DeviceInfo> DeviceFromAnnouncement(const onvifc::Found& found) {
    const onvifc::DiscoveryMessage& m = found.message;
    std::optional<UrlParts> url;
    for (const std::string& xaddr : m.xaddrs) {
        url = splitUrl(xaddr);
        if (url && url->scheme == "http" && device::ParseIpv4(url->host)) {
            break;
        }
        url.reset();
    }
    if (!url || m.endpoint.empty()) {
        return std::nullopt;
    }
    DeviceInfo d;
    // A camera that advertises an address it did not send from (a NAT's
    // or a misconfigured one) is reached where it answered from.
    const std::uint32_t advertised = *device::ParseIpv4(url->host);
    d.address = found.from != 0 ? found.from : advertised;
    const QString address = "http://" + device::Ipv4Text(d.address) + ":" +
                            QString::number(url->port) + QString::fromStdString(url->path);
    d.mac = macOfEndpoint(m.endpoint);
    d.id =
        d.mac ? device::DeviceId::OfMac(*d.mac) : device::DeviceId::OfEndpoint("onvif", m.endpoint);
    d.name = scopeText(m.scopes, "name");
    d.model = scopeText(m.scopes, "hardware");
    d.manufacturer = scopeText(m.scopes, "mfr");
    d.ports.onvif = url->port;
    d.ports.http = url->port;
    d.services = {{device::Protocol::Onvif, address, QString::fromStdString(m.endpoint)}};
    d.lastAnswer = std::chrono::steady_clock::now();
    return d;
}

struct COnvifDriver::Impl {
    CredentialsSource credentials;
    Options options;

    std::mutex lock;
    std::condition_variable wake;
    device::IDiscoverySink* sink = nullptr;
    std::unique_ptr<onvifc::CWsDiscovery> discovery;
    std::vector<std::thread> workers;
    bool stopping = false;
    // Per endpoint: the camera as last reported, and whether its details
    // were asked since it last changed its address or metadata.
    struct Known {
        DeviceInfo info;
        std::uint32_t metadataVersion = 0;
        bool detailed = false;
        bool queued = false;
    };
    std::unordered_map<std::string, Known> known;
    std::deque<std::string> queue;

    void heard(std::vector<onvifc::Found> found);
    void work();
    // The details of one camera, asked with the default login.
    DeviceInfo detail(DeviceInfo info);
};

COnvifDriver::COnvifDriver(CredentialsSource credentials)
    : COnvifDriver(std::move(credentials), Options{}) {}

COnvifDriver::COnvifDriver(CredentialsSource credentials, Options options)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->credentials = std::move(credentials);
    m_impl->options = std::move(options);
}

COnvifDriver::~COnvifDriver() {
    StopDiscovery();
}

void COnvifDriver::StartDiscovery(device::IDiscoverySink& sink) {
    StartDiscoveryOn(sink, m_impl->options.adapters.empty() ? onvifc::listIpv4Adapters()
                                                            : m_impl->options.adapters);
}

void COnvifDriver::StartDiscoveryOn(device::IDiscoverySink& sink,
                                    std::vector<onvifc::Adapter> adapters) {
    Impl& d = *m_impl;
    std::lock_guard guard(d.lock);
    if (d.discovery) {
        return;
    }
    d.sink = &sink;
    d.stopping = false;
    d.discovery = std::make_unique<onvifc::CWsDiscovery>(
        std::move(adapters), [&d](std::vector<onvifc::Found> found) { d.heard(std::move(found)); },
        [&d](const std::string& problem) {
            if (d.sink != nullptr) {
                d.sink->DiscoveryProblem(QString::fromStdString("ONVIF discovery: " + problem));
            }
        },
        d.options.probeInterval);
    for (int i = 0; i < std::max(1, d.options.workers); ++i) {
        d.workers.emplace_back([&d] { d.work(); });
    }
    d.discovery->Start();
}

void COnvifDriver::StopDiscovery() {
    Impl& d = *m_impl;
    std::unique_ptr<onvifc::CWsDiscovery> discovery;
    std::vector<std::thread> workers;
    {
        std::lock_guard guard(d.lock);
        discovery = std::move(d.discovery);
        workers = std::move(d.workers);
        d.stopping = true;
        d.queue.clear();
    }
    d.wake.notify_all();
    // The discovery thread first: it may still queue cameras for the workers.
    discovery.reset();
    for (std::thread& t : workers) {
        t.join();
    }
    std::lock_guard guard(d.lock);
    d.sink = nullptr;
    for (auto& [endpoint, entry] : d.known) {
        entry.queued = false;
    }
}

void COnvifDriver::ProbeNow() {
    std::lock_guard guard(m_impl->lock);
    if (m_impl->discovery) {
        m_impl->discovery->ProbeNow();
    }
}

device::Result<std::unique_ptr<device::IDeviceSession>>
COnvifDriver::Open(const DeviceInfo& device, const device::Credentials& credentials) {
    device::Failure failure;
    auto session = OpenOnvifSession(device, credentials.user, credentials.password, failure);
    if (!session) {
        return failure;
    }
    return session;
}

void COnvifDriver::Impl::heard(std::vector<onvifc::Found> found) {
    std::vector<DeviceInfo> report;
    bool queuedAny = false;
    {
        std::lock_guard guard(lock);
        if (sink == nullptr || stopping) {
            return;
        }
        for (onvifc::Found& f : found) {
            const std::string& endpoint = f.message.endpoint;
            if (f.message.kind == onvifc::DiscoveryMessage::Kind::Bye) {
                // Gone: its next Hello asks the details again.
                known.erase(endpoint);
                continue;
            }
            auto announced = DeviceFromAnnouncement(f);
            if (!announced) {
                continue;
            }
            auto [it, added] = known.try_emplace(endpoint);
            Known& k = it->second;
            const bool moved = !added && (k.info.address != announced->address ||
                                          k.info.services != announced->services);
            if (added || moved || k.metadataVersion != f.message.metadataVersion) {
                // New, moved or changed: reported as announced (keeping what
                // the details said of it) and asked again.
                if (!added) {
                    announced->id = k.info.id;
                    announced->formerId = k.info.formerId;
                    announced->mac = k.info.mac;
                    announced->netmask = k.info.netmask;
                    announced->gateway = k.info.gateway;
                    announced->dns = k.info.dns;
                    announced->manufacturer = k.info.manufacturer;
                    announced->firmware = k.info.firmware;
                    announced->capabilities = k.info.capabilities;
                }
                k.info = std::move(*announced);
                k.metadataVersion = f.message.metadataVersion;
                k.detailed = false;
            }
            k.info.lastAnswer = std::chrono::steady_clock::now();
            if (!k.detailed && !k.queued) {
                k.queued = true;
                queue.push_back(endpoint);
                queuedAny = true;
            }
            report.push_back(k.info);
        }
    }
    if (queuedAny) {
        wake.notify_all();
    }
    if (!report.empty()) {
        sink->DevicesFound(std::move(report));
    }
}

void COnvifDriver::Impl::work() {
    for (;;) {
        DeviceInfo info;
        std::string endpoint;
        {
            std::unique_lock guard(lock);
            wake.wait(guard, [&] { return stopping || !queue.empty(); });
            if (stopping) {
                return;
            }
            endpoint = std::move(queue.front());
            queue.pop_front();
            const auto it = known.find(endpoint);
            if (it == known.end()) {
                continue;
            }
            info = it->second.info;
        }
        const device::DeviceId announcedAs = info.id;
        DeviceInfo detailed = detail(std::move(info));
        if (detailed.id != announcedAs) {
            // Listed by its endpoint until now: every later report names
            // that row too, so a list that missed this one still makes one
            // row of it.
            detailed.formerId = announcedAs;
        }
        {
            std::lock_guard guard(lock);
            const auto it = known.find(endpoint);
            if (stopping || it == known.end()) {
                continue;
            }
            it->second.queued = false;
            // A camera that moved meanwhile is asked again at its new place.
            if (it->second.info.address != detailed.address) {
                continue;
            }
            it->second.detailed = true;
            detailed.lastAnswer = it->second.info.lastAnswer;
            it->second.info = detailed;
        }
        sink->DevicesFound({std::move(detailed)});
    }
}

DeviceInfo COnvifDriver::Impl::detail(DeviceInfo info) {
    const device::ServiceAddress* service = info.Service(device::Protocol::Onvif);
    const device::Credentials login = credentials ? credentials() : device::Credentials{};
    onvifc::CDevice camera(service->address.toStdString(), login.user.toStdString(),
                           login.password.toStdString(),
                           {options.connectLimit, options.callLimit, 1024 * 1024});
    const auto services = camera.Connect();
    if (!services.Ok()) {
        return info;
    }
    info.capabilities = CapabilitiesOf(services.value);
    if (login.user.isEmpty()) {
        return info;
    }
    // With the installer's login: what the list shows and the MAC that
    // makes one row of a camera found two ways.
    if (const auto about = camera.GetDeviceInformation(); about.Ok()) {
        info.manufacturer = QString::fromStdString(about.value.manufacturer);
        info.model = QString::fromStdString(about.value.model);
        info.firmware = QString::fromStdString(about.value.firmware);
    } else {
        WriteLog(2, "ONVIF %s: details not read (%s)", info.AddressText().toLatin1().constData(),
                 onvifc::ErrorText(about.error));
        return info;
    }
    if (const auto interfaces = camera.GetNetworkInterfaces(); interfaces.Ok()) {
        for (const onvifc::NetworkInterface& i : interfaces.value) {
            if (i.address == info.address && i.mac) {
                info.mac = *i.mac;
                info.id = device::DeviceId::OfMac(*i.mac);
                info.netmask = netmaskOf(i.prefixLength);
            }
        }
    }
    if (const auto gateway = camera.GetDefaultGateway(); gateway.Ok()) {
        info.gateway = gateway.value;
    }
    if (const auto dns = camera.GetDnsServers(); dns.Ok() && !dns.value.empty()) {
        info.dns = dns.value.front();
    }
    if (const auto protocols = camera.GetNetworkProtocols(); protocols.Ok()) {
        for (const onvifc::NetworkProtocol& p : protocols.value) {
            if (p.name == "RTSP" && !p.ports.empty()) {
                info.ports.rtsp = p.ports.front();
            }
        }
    }
    return info;
}

} // namespace orv::onvif
