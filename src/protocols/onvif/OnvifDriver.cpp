#include "OnvifDriver.h"

#include "OnvifSession.h"
#include "log/LogFile.h"

#include <QUrl>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
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
    device::Capabilities c{Capability::Name,   Capability::Password, Capability::DateTime,
                           Capability::Ports,  Capability::Reboot,   Capability::Restore,
                           Capability::Address};
    if (!services.media.empty()) {
        // The main profile's stream URI is what live video plays.
        c = c.With(Capability::Streams).With(Capability::LiveVideo);
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
        // The login it refused (LoginKey), 0 for none: typed anew, another
        // login has the camera asked again.
        std::size_t refusedLogin = 0;
        // Details asked again in a row after a camera did not answer them.
        int retries = 0;
    };
    // A camera too busy to answer its details (a thousand asked at once) is
    // asked again this often after detailDelay, before it is left to its
    // next announcement, which may be minutes away.
    static constexpr int kDetailRetries = 3;
    std::unordered_map<std::string, Known> known;
    // Cameras waiting for their details, each not before its time: the
    // maker's discovery gets a moment to describe a camera first.
    std::deque<std::pair<std::string, std::chrono::steady_clock::time_point>> queue;
    // Address changes under way, each on a thread of its own (a plan moves
    // many cameras at once); joined when discovery stops.
    struct Change {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    std::vector<Change> changes;

    void heard(std::vector<onvifc::Found> found);
    // Queues the camera for its details unless it waits already; true when
    // it was queued now. Under `lock`.
    bool requeue(const std::string& endpoint, Known& k) {
        k.detailed = false;
        if (k.queued) {
            return false;
        }
        k.queued = true;
        queue.emplace_back(endpoint, std::chrono::steady_clock::now() + options.detailDelay);
        return true;
    }
    device::Status change(const DeviceInfo& device, const device::AddressChange& change,
                          const device::Credentials& login);
    void work();
    // The details of one camera, asked with `login`. `complete`: false when
    // the camera did not answer in time, so its details are asked again;
    // `refused`: the camera refused the login.
    DeviceInfo detail(DeviceInfo info, const device::Credentials& login, bool& complete,
                      bool& refused);
    // The installer's default login as it stands now.
    device::Credentials currentLogin() const {
        return credentials ? credentials() : device::Credentials{};
    }
    // Tells logins apart without keeping another copy of the password; never 0.
    static std::size_t LoginKey(const device::Credentials& login) {
        return std::hash<std::string>{}(login.user.toStdString() + '\0' +
                                        login.password.toStdString()) |
               1U;
    }
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
    // Changes under way end within their time limits.
    std::vector<Impl::Change> changes;
    {
        std::lock_guard guard(d.lock);
        changes = std::move(d.changes);
    }
    for (Impl::Change& c : changes) {
        c.thread.join();
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

void COnvifDriver::LoginChanged() {
    Impl& d = *m_impl;
    const std::size_t login = Impl::LoginKey(d.currentLogin());
    bool queued = false;
    {
        std::lock_guard guard(d.lock);
        if (d.sink == nullptr || d.stopping) {
            return;
        }
        for (auto& [endpoint, k] : d.known) {
            if (k.detailed && k.refusedLogin != 0 && k.refusedLogin != login) {
                queued |= d.requeue(endpoint, k);
            }
        }
    }
    if (queued) {
        d.wake.notify_all();
    }
}

std::optional<device::Reach> COnvifDriver::ReachOf(const DeviceInfo& device) const {
    const device::ServiceAddress* service = device.Service(device::Protocol::Onvif);
    if (service == nullptr) {
        return std::nullopt;
    }
    const QUrl url(service->address);
    const std::optional<std::uint32_t> host = device::ParseIpv4(url.host().toStdString());
    const int port = url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
    if (!host || port <= 0 || port > 65535) {
        return std::nullopt;
    }
    return device::Reach{*host, static_cast<std::uint16_t>(port), m_impl->options.connectLimit};
}

device::Result<std::unique_ptr<device::IDeviceSession>>
COnvifDriver::Open(const DeviceInfo& device, const device::Credentials& credentials) {
    device::Failure failure;
    auto session = OpenOnvifSession(device, credentials.user, credentials.password, failure,
                                    m_impl->options.trust);
    if (!session) {
        return failure;
    }
    return session;
}

device::Status COnvifDriver::ChangeAddress(const DeviceInfo& device,
                                           const device::AddressChange& change,
                                           const device::Credentials& credentials) {
    if (device.Service(device::Protocol::Onvif) == nullptr) {
        return device::Fault::NotSupported;
    }
    Impl& d = *m_impl;
    std::lock_guard guard(d.lock);
    if (d.sink == nullptr || d.stopping) {
        return device::Failure{device::Fault::Unreachable, "discovery is not running"};
    }
    // Threads of changes that ended are joined as new ones start.
    std::erase_if(d.changes, [](Impl::Change& c) {
        if (!c.finished->load()) {
            return false;
        }
        c.thread.join();
        return true;
    });
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([&d, device, change, credentials, finished] {
        const device::Status outcome = d.change(device, change, credentials);
        // The camera as it was asked to be: the list moves its row there.
        DeviceInfo requested = device;
        requested.address = change.address;
        requested.netmask = change.netmask;
        requested.gateway = change.gateway;
        requested.dns = change.dns;
        requested.name = change.name;
        if (change.httpPort > 0) {
            requested.ports.http = change.httpPort;
            requested.ports.onvif = change.httpPort;
        }
        for (device::ServiceAddress& service : requested.services) {
            if (service.protocol == device::Protocol::Onvif) {
                const auto url = splitUrl(service.address.toStdString());
                service.address = "http://" + device::Ipv4Text(change.address) + ":" +
                                  QString::number(requested.ports.onvif) +
                                  QString::fromStdString(url ? url->path : std::string("/"));
            }
        }
        {
            std::lock_guard done(d.lock);
            if (d.sink != nullptr) {
                d.sink->AddressChangeDone(requested, outcome);
            }
        }
        finished->store(true);
    });
    d.changes.push_back({std::move(thread), std::move(finished)});
    return device::Done{};
}

device::Status COnvifDriver::Impl::change(const DeviceInfo& device,
                                          const device::AddressChange& change,
                                          const device::Credentials& login) {
    const auto url = splitUrl(device.Service(device::Protocol::Onvif)->address.toStdString());
    if (!url) {
        return device::Failure{device::Fault::BadAnswer, "no usable ONVIF address"};
    }
    int prefix = 0;
    while (prefix < 32 && (change.netmask & (0x80000000u >> prefix)) != 0) {
        ++prefix;
    }
    if (prefix == 0 || netmaskOf(prefix) != change.netmask) {
        return device::Failure{device::Fault::Refused, "the netmask is not contiguous"};
    }
    onvifc::CDevice camera(device.Service(device::Protocol::Onvif)->address.toStdString(),
                           login.user.toStdString(), login.password.toStdString(),
                           {options.connectLimit, options.callLimit, 1024 * 1024});
    const auto failed = [](const auto& answer) {
        return device::Status(FailureOf(answer.error, answer.detail));
    };
    if (const auto services = camera.Connect(); !services.Ok()) {
        return failed(services);
    }
    const auto interfaces = camera.GetNetworkInterfaces();
    if (!interfaces.Ok()) {
        return failed(interfaces);
    }
    // The interface that carries the address the camera was found at.
    std::string token;
    int currentPrefix = 0;
    for (const onvifc::NetworkInterface& i : interfaces.value) {
        if (token.empty() || i.address == device.address) {
            token = i.token;
            currentPrefix = i.prefixLength;
        }
    }
    if (token.empty()) {
        return device::Failure{device::Fault::BadAnswer, "the camera lists no network interface"};
    }
    if (!change.name.isEmpty() && change.name != device.name) {
        if (const auto named = camera.SetName(change.name.toStdString()); !named.Ok()) {
            return failed(named);
        }
    }
    if (change.gateway != device.gateway) {
        if (const auto set = camera.SetDefaultGateway(change.gateway); !set.Ok()) {
            return failed(set);
        }
    }
    if (change.dns != 0 && change.dns != device.dns) {
        // The first server is the one the tool shows; the others stay.
        auto servers = camera.GetDnsServers();
        if (!servers.Ok()) {
            return failed(servers);
        }
        if (servers.value.empty()) {
            servers.value.push_back(change.dns);
        } else {
            servers.value.front() = change.dns;
        }
        if (const auto set = camera.SetDnsServers(servers.value); !set.Ok()) {
            return failed(set);
        }
    }
    int port = url->port;
    if (change.httpPort > 0 && change.httpPort != url->port) {
        auto protocols = camera.GetNetworkProtocols();
        if (!protocols.Ok()) {
            return failed(protocols);
        }
        for (onvifc::NetworkProtocol& p : protocols.value) {
            if (p.name == "HTTP" && !p.ports.empty()) {
                p.ports.front() = change.httpPort;
            }
        }
        if (const auto set = camera.SetNetworkProtocols(protocols.value); !set.Ok()) {
            return failed(set);
        }
        port = change.httpPort;
    }
    bool reboot = false;
    if (change.address != device.address || prefix != currentPrefix) {
        const auto moved = camera.SetNetworkInterface(token, change.address, prefix);
        if (!moved.Ok()) {
            return failed(moved);
        }
        reboot = moved.value;
        if (reboot) {
            if (const auto rebooted = camera.Reboot(); !rebooted.Ok()) {
                return failed(rebooted);
            }
        }
    }
    // Done once the camera answers where it was asked to be.
    const std::string there = "http://" + device::Ipv4Text(change.address).toStdString() + ":" +
                              std::to_string(port) + url->path;
    const auto limit = reboot ? options.rebootMoveLimit : options.moveLimit;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            std::lock_guard guard(lock);
            if (stopping) {
                return device::Fault::Cancelled;
            }
        }
        onvifc::CDevice moved(
            there, {}, {},
            {std::chrono::milliseconds(500), std::chrono::milliseconds(1000), 64 * 1024});
        if (moved.GetSystemDateAndTime().Ok()) {
            return device::Done{};
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return device::Failure{device::Fault::NoAnswer,
                                   "the camera did not answer at its new address", limit};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

void COnvifDriver::Impl::heard(std::vector<onvifc::Found> found) {
    std::vector<DeviceInfo> report;
    bool queuedAny = false;
    // Asked outside the lock: the source has its own.
    const std::size_t loginNow = LoginKey(currentLogin());
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
            if (k.detailed && k.refusedLogin != 0 && k.refusedLogin != loginNow) {
                // It refused a login the installer has since changed.
                k.detailed = false;
            }
            if (!k.detailed && options.describedElsewhere &&
                options.describedElsewhere(k.info.id)) {
                k.detailed = true;
            }
            if (!k.detailed) {
                queuedAny |= requeue(endpoint, k);
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
            // Entries wait equally long, so the first is always due first.
            if (const auto due = queue.front().second; std::chrono::steady_clock::now() < due) {
                wake.wait_until(guard, due, [&] { return stopping; });
                continue;
            }
            endpoint = std::move(queue.front().first);
            queue.pop_front();
            const auto it = known.find(endpoint);
            if (it == known.end()) {
                continue;
            }
            info = it->second.info;
            if (options.describedElsewhere && options.describedElsewhere(info.id)) {
                // The maker's discovery heard it meanwhile.
                it->second.queued = false;
                it->second.detailed = true;
                continue;
            }
        }
        const device::DeviceId announcedAs = info.id;
        bool complete = false;
        bool refused = false;
        const device::Credentials login = currentLogin();
        DeviceInfo detailed = detail(std::move(info), login, complete, refused);
        // Typed on while this camera was asked: the login it refused is no
        // longer the installer's.
        const bool stale = refused && LoginKey(currentLogin()) != LoginKey(login);
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
            // A camera that did not answer in time (or the network failed)
            // is asked again shortly, a few times, then at its next
            // announcement; one that refused the login is not asked again
            // until it announces a change.
            it->second.detailed = complete;
            it->second.refusedLogin = refused ? LoginKey(login) : 0;
            const bool again =
                stale || (!complete && !refused && it->second.retries < kDetailRetries);
            it->second.retries = complete || refused ? 0 : it->second.retries + (stale ? 0 : 1);
            if (again && requeue(endpoint, it->second)) {
                wake.notify_all();
            }
            detailed.lastAnswer = it->second.info.lastAnswer;
            it->second.info = detailed;
        }
        sink->DevicesFound({std::move(detailed)});
    }
}

DeviceInfo COnvifDriver::Impl::detail(DeviceInfo info, const device::Credentials& login,
                                      bool& complete, bool& refused) {
    const device::ServiceAddress* service = info.Service(device::Protocol::Onvif);
    onvifc::CDevice camera(service->address.toStdString(), login.user.toStdString(),
                           login.password.toStdString(),
                           {options.connectLimit, options.callLimit, 1024 * 1024});
    const auto passing = [](onvifc::Error error) {
        return error == onvifc::Error::Timeout || error == onvifc::Error::Unreachable;
    };
    const auto services = camera.Connect();
    if (!services.Ok()) {
        complete = !passing(services.error);
        return info;
    }
    info.capabilities = CapabilitiesOf(services.value);
    complete = true;
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
        complete = !passing(about.error);
        refused = about.error == onvifc::Error::NotAuthorized;
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
    } else {
        // Without its MAC a camera found two ways would stay two rows.
        complete = !passing(interfaces.error);
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
