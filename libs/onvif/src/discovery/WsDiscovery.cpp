#include "onvifc/discovery/WsDiscovery.h"

#include "qvsp/wire/UniqueFd.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/sock_diag.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace onvifc {

namespace {

// recvmmsg takes this many datagrams a call, each into a slot that holds
// the largest one we accept: anything longer comes back truncated.
constexpr std::size_t kSlots = 16;
constexpr std::size_t kSlotBytes = kMaxDatagramBytes;
// Answers to a Probe still arrive after the next one left (500 ms of
// delay, a slow camera, a busy link): the ids of a few rounds are kept.
constexpr std::size_t kRememberedProbes = 4;
// Datagrams remembered for folding within a round; past that they all pass.
constexpr std::size_t kMaxRemembered = 16384;
// One socket is read at most this long before the others and the wake
// event get their turn, so a flood on one adapter cannot shut out Stop.
constexpr int kDrainLimit = 1024;
constexpr int kLongestWaitMs = 1000;

using Fd = qvsp::wire::UniqueFd;

std::string ipText(std::uint32_t address) {
    in_addr a{htonl(address)};
    char out[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, out, sizeof out);
    return out;
}

std::string where(const Adapter& adapter) {
    return "WS-Discovery on " + adapter.name + " (" + ipText(adapter.address) + ")";
}

bool enable(int fd, int level, int option, int value = 1) {
    return ::setsockopt(fd, level, option, &value, sizeof value) == 0;
}

// As much as the kernel grants: SO_RCVBUFFORCE passes net.core.rmem_max
// where we may (CAP_NET_ADMIN), SO_RCVBUF is capped by it. The kernel's
// answer counts its bookkeeping too (twice what was set).
int growReceiveBuffer(int fd) {
    if (!enable(fd, SOL_SOCKET, SO_RCVBUFFORCE, CWsDiscovery::kReceiveBuffer))
        enable(fd, SOL_SOCKET, SO_RCVBUF, CWsDiscovery::kReceiveBuffer);
    int granted = 0;
    socklen_t length = sizeof granted;
    ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &granted, &length);
    return granted;
}

// Datagrams the kernel dropped on this socket because its receive buffer
// was full. SO_RXQ_OVFL would only tell with the next datagram delivered,
// and after a burst there may be none.
std::uint64_t dropsOf(const Fd& fd) {
    std::uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    if (!fd || ::getsockopt(fd.get(), SOL_SOCKET, SO_MEMINFO, info, &length) != 0 ||
        length <= SK_MEMINFO_DROPS * sizeof info[0])
        return 0;
    return info[SK_MEMINFO_DROPS];
}

struct Socket {
    Fd fd;
    Adapter adapter;
    std::uint16_t port = 0;
    bool sendFailing = false;
};

} // namespace

struct CWsDiscovery::Impl {
    std::vector<Adapter> adapters;
    Sink sink;
    Problem problem;
    std::chrono::milliseconds interval;

    mutable std::mutex lock; // sockets and stats, against the callers' threads
    std::vector<Socket> probes;
    Socket group; // port 3702, Hello and Bye
    std::map<unsigned, std::string> groupInterfaces;
    WsDiscoveryStats stats;
    Fd wake;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> probeWanted{false};

    // The discovery thread's alone.
    std::deque<std::string> recentProbes;
    std::unordered_set<std::uint64_t> seenThisRound;
    std::vector<char> buffer;
    std::vector<std::string> startProblems;

    void report(const std::string& text) {
        if (problem)
            problem(text);
    }
    bool openProbe(const Adapter& adapter);
    void openGroup();
    void run();
    void sendProbe();
    void drain(const Socket& socket, bool isGroup, std::vector<Found>& batch);
};

bool CWsDiscovery::Impl::openProbe(const Adapter& adapter) {
    const auto fail = [&](const std::string& what) {
        startProblems.push_back(where(adapter) + ": " + what + ": " + std::strerror(errno));
        return false;
    };
    Socket s;
    s.adapter = adapter;
    s.fd = Fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s.fd)
        return fail("cannot open a UDP socket");
    const unsigned index = ::if_nametoindex(adapter.name.c_str());
    if (index == 0)
        return fail("no such interface");
    stats.receiveBuffer = std::min(stats.receiveBuffer, growReceiveBuffer(s.fd.get()));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(adapter.address);
    if (::bind(s.fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return fail("cannot bind to its address");
    // The Probe leaves through this adapter whatever the routes say, and
    // never further than the link: a router does not pass TTL 1 on.
    ip_mreqn out{};
    out.imr_address.s_addr = htonl(adapter.address);
    out.imr_ifindex = static_cast<int>(index);
    if (::setsockopt(s.fd.get(), IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) != 0)
        return fail("cannot send multicast through it");
    if (!enable(s.fd.get(), IPPROTO_IP, IP_MULTICAST_TTL, 1))
        return fail("cannot limit multicast to the link");
    socklen_t length = sizeof local;
    ::getsockname(s.fd.get(), reinterpret_cast<sockaddr*>(&local), &length);
    s.port = ntohs(local.sin_port);
    probes.push_back(std::move(s));
    return true;
}

void CWsDiscovery::Impl::openGroup() {
    const auto fail = [&](const std::string& what) {
        startProblems.push_back("WS-Discovery: " + what + ": " + std::strerror(errno));
        group.fd.reset();
    };
    group.fd = Fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!group.fd)
        return fail("cannot open a UDP socket for Hello and Bye");
    const int fd = group.fd.get();
    // Other discovery programs on this machine listen on 3702 too.
    enable(fd, SOL_SOCKET, SO_REUSEADDR);
    // Only the groups joined here, on the adapters joined here; by default
    // Linux hands such a socket every group any program joined.
    enable(fd, IPPROTO_IP, IP_MULTICAST_ALL, 0);
    enable(fd, IPPROTO_IP, IP_PKTINFO);
    // When power returns, every camera says Hello at once.
    stats.receiveBuffer = std::min(stats.receiveBuffer, growReceiveBuffer(fd));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kDiscoveryPort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return fail("cannot listen on port 3702 for Hello and Bye");
    for (const Adapter& adapter : adapters) {
        const unsigned index = ::if_nametoindex(adapter.name.c_str());
        // Several addresses of one interface share its membership.
        if (index == 0 || groupInterfaces.count(index))
            continue;
        ip_mreqn join{};
        join.imr_multiaddr.s_addr = htonl(kDiscoveryGroup);
        join.imr_address.s_addr = htonl(adapter.address);
        join.imr_ifindex = static_cast<int>(index);
        if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
            startProblems.push_back(where(adapter) +
                                    ": cannot join 239.255.255.250: " + std::strerror(errno));
            continue;
        }
        groupInterfaces[index] = adapter.name;
    }
    if (groupInterfaces.empty())
        group.fd.reset();
}

void CWsDiscovery::Impl::sendProbe() {
    std::string id;
    try {
        id = newMessageId();
    } catch (const std::exception& e) {
        report(std::string("WS-Discovery: no Probe sent: ") + e.what());
        return;
    }
    recentProbes.push_back(id);
    if (recentProbes.size() > kRememberedProbes)
        recentProbes.pop_front();
    seenThisRound.clear();
    const std::string text = probeMessage(id);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kDiscoveryPort);
    to.sin_addr.s_addr = htonl(kDiscoveryGroup);
    for (Socket& s : probes) {
        const bool sent = ::sendto(s.fd.get(), text.data(), text.size(), 0,
                                   reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0;
        // Once per outage, not every round while an adapter is down.
        if (!sent && !s.sendFailing)
            report(where(s.adapter) + ": Probe not sent: " + std::strerror(errno));
        s.sendFailing = !sent;
    }
}

void CWsDiscovery::Impl::drain(const Socket& socket, bool isGroup, std::vector<Found>& batch) {
    constexpr std::size_t kControl = CMSG_SPACE(sizeof(in_pktinfo));
    std::array<mmsghdr, kSlots> headers;
    std::array<iovec, kSlots> data;
    std::array<sockaddr_in, kSlots> from;
    std::array<std::array<char, kControl>, kSlots> control;
    WsDiscoveryStats counted;
    for (int total = 0; total < kDrainLimit;) {
        for (std::size_t i = 0; i < kSlots; ++i) {
            data[i] = {buffer.data() + i * kSlotBytes, kSlotBytes};
            headers[i] = {};
            headers[i].msg_hdr.msg_name = &from[i];
            headers[i].msg_hdr.msg_namelen = sizeof from[i];
            headers[i].msg_hdr.msg_iov = &data[i];
            headers[i].msg_hdr.msg_iovlen = 1;
            headers[i].msg_hdr.msg_control = control[i].data();
            headers[i].msg_hdr.msg_controllen = kControl;
        }
        const int n = ::recvmmsg(socket.fd.get(), headers.data(), kSlots, MSG_DONTWAIT, nullptr);
        if (n <= 0)
            break;
        total += n;
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
            msghdr& m = headers[i].msg_hdr;
            ++counted.datagrams;
            unsigned ifindex = 0;
            for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info{};
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    ifindex = static_cast<unsigned>(info.ipi_ifindex);
                }
            }
            std::string adapter = socket.adapter.name;
            if (isGroup) {
                const auto it = groupInterfaces.find(ifindex);
                adapter = it == groupInterfaces.end() ? std::string() : it->second;
            }
            if ((m.msg_flags & MSG_TRUNC) || adapter.empty()) {
                ++counted.refused;
                continue;
            }
            const std::string_view payload(buffer.data() + i * kSlotBytes, headers[i].msg_len);
            const std::uint32_t sender = ntohl(from[i].sin_addr.s_addr);
            // Cameras repeat their answer within the Probe's window; the
            // same bytes from the same sender are parsed once a round.
            const std::uint64_t key =
                std::hash<std::string_view>{}(payload) ^ (sender * 0x9e3779b97f4a7c15ULL);
            if (seenThisRound.count(key)) {
                ++counted.folded;
                continue;
            }
            if (seenThisRound.size() < kMaxRemembered)
                seenThisRound.insert(key);
            auto messages = parseDiscoveryMessage(payload);
            if (messages.empty())
                ++counted.refused;
            for (DiscoveryMessage& message : messages) {
                // Only answers to our own Probes: anyone on the link can
                // send a ProbeMatch, and a stale or forged one names a
                // camera that nobody asked about.
                if (message.kind == DiscoveryMessage::Kind::ProbeMatch &&
                    std::find(recentProbes.begin(), recentProbes.end(), message.relatesTo) ==
                        recentProbes.end()) {
                    ++counted.unrelated;
                    continue;
                }
                batch.push_back({std::move(message), sender, adapter});
            }
        }
        if (static_cast<std::size_t>(n) < kSlots)
            break;
    }
    std::lock_guard guard(lock);
    stats.datagrams += counted.datagrams;
    stats.folded += counted.folded;
    stats.unrelated += counted.unrelated;
    stats.refused += counted.refused;
}

void CWsDiscovery::Impl::run() {
    for (const std::string& text : startProblems)
        report(text);
    auto nextProbe = std::chrono::steady_clock::now();
    std::vector<pollfd> fds;
    while (!stopping) {
        auto now = std::chrono::steady_clock::now();
        if (probeWanted.exchange(false) || now >= nextProbe) {
            sendProbe();
            nextProbe = now + interval;
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextProbe - now).count();
        fds.clear();
        fds.push_back({wake.get(), POLLIN, 0});
        for (const Socket& s : probes)
            fds.push_back({s.fd.get(), POLLIN, 0});
        if (group.fd)
            fds.push_back({group.fd.get(), POLLIN, 0});
        if (::poll(fds.data(), fds.size(),
                   static_cast<int>(std::clamp<long long>(wait, 0, kLongestWaitMs))) < 0)
            continue;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            if (::read(wake.get(), &count, sizeof count) < 0)
                count = 0;
        }
        // A pending socket error is read (and so cleared) like a datagram;
        // left alone, it would end every poll at once.
        std::vector<Found> batch;
        for (std::size_t i = 0; i < probes.size(); ++i)
            if (fds[i + 1].revents & (POLLIN | POLLERR))
                drain(probes[i], false, batch);
        if (group.fd && (fds.back().revents & (POLLIN | POLLERR)))
            drain(group, true, batch);
        if (!batch.empty() && !stopping && sink)
            sink(std::move(batch));
    }
}

CWsDiscovery::CWsDiscovery(std::vector<Adapter> adapters, Sink sink, Problem problem,
                           std::chrono::milliseconds interval)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->adapters = std::move(adapters);
    m_impl->sink = std::move(sink);
    m_impl->problem = std::move(problem);
    m_impl->interval = std::max(interval, std::chrono::milliseconds(100));
    // Made once, so that ProbeNow never writes to a descriptor Stop closes.
    m_impl->wake = Fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
}

CWsDiscovery::~CWsDiscovery() {
    Stop();
}

bool CWsDiscovery::Start() {
    Impl& d = *m_impl;
    if (d.thread.joinable())
        return true;
    {
        std::lock_guard guard(d.lock);
        d.stats = {};
        d.stats.receiveBuffer = kReceiveBuffer * 2;
        d.startProblems.clear();
        for (const Adapter& adapter : d.adapters)
            d.openProbe(adapter);
        if (!d.probes.empty())
            d.openGroup();
        if (d.probes.empty()) {
            d.stats.receiveBuffer = 0;
            d.startProblems.push_back(d.adapters.empty()
                                          ? "WS-Discovery: no network adapter to search on"
                                          : "WS-Discovery: no adapter could be used");
        } else if (d.stats.receiveBuffer < kReceiveBuffer * 2) {
            d.startProblems.push_back(
                "WS-Discovery: the system grants a receive buffer of " +
                std::to_string(d.stats.receiveBuffer / 1024) + " KiB of the " +
                std::to_string(kReceiveBuffer * 2 / 1024) +
                " KiB asked for (net.core.rmem_max): answers of many cameras at once may be lost");
        }
    }
    if (!d.wake) {
        d.report("WS-Discovery: cannot start: no wake-up event");
        Stop();
        return false;
    }
    if (d.probes.empty()) {
        for (const std::string& text : d.startProblems)
            d.report(text);
        Stop();
        return false;
    }
    d.buffer.resize(kSlots * kSlotBytes);
    d.recentProbes.clear();
    d.seenThisRound.clear();
    d.stopping = false;
    d.probeWanted = false;
    d.thread = std::thread([&d] { d.run(); });
    return true;
}

void CWsDiscovery::Stop() {
    Impl& d = *m_impl;
    if (d.thread.joinable()) {
        d.stopping = true;
        const std::uint64_t one = 1;
        if (::write(d.wake.get(), &one, sizeof one) < 0) {
            // A full counter wakes the thread as well.
        }
        d.thread.join();
    }
    std::lock_guard guard(d.lock);
    for (const Socket& s : d.probes)
        d.stats.dropped += dropsOf(s.fd);
    d.stats.dropped += dropsOf(d.group.fd);
    d.probes.clear();
    d.group = Socket{};
    d.groupInterfaces.clear();
}

void CWsDiscovery::ProbeNow() {
    Impl& d = *m_impl;
    d.probeWanted = true;
    const std::uint64_t one = 1;
    // Before Start this only makes the thread's first wait end early.
    if (::write(d.wake.get(), &one, sizeof one) < 0) {
        // A full counter wakes the thread as well.
    }
}

WsDiscoveryStats CWsDiscovery::Stats() const {
    std::lock_guard guard(m_impl->lock);
    WsDiscoveryStats out = m_impl->stats;
    for (const Socket& s : m_impl->probes)
        out.dropped += dropsOf(s.fd);
    out.dropped += dropsOf(m_impl->group.fd);
    return out;
}

std::vector<std::pair<Adapter, std::uint16_t>> CWsDiscovery::ProbeSockets() const {
    std::lock_guard guard(m_impl->lock);
    std::vector<std::pair<Adapter, std::uint16_t>> out;
    for (const Socket& s : m_impl->probes)
        out.emplace_back(s.adapter, s.port);
    return out;
}

std::vector<Adapter> listIpv4Adapters() {
    std::vector<Adapter> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return out;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        const unsigned wanted = IFF_UP | IFF_RUNNING | IFF_MULTICAST;
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET ||
            (i->ifa_flags & wanted) != wanted || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        out.push_back({i->ifa_name, ntohl(address->sin_addr.s_addr)});
    }
    ::freeifaddrs(list);
    return out;
}

} // namespace onvifc
