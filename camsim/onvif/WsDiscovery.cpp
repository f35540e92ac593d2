#include "onvif/WsDiscovery.h"

#include "onvifc/wire/Xml.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace camsim::onvif {

namespace {

constexpr std::string_view kProbeAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
constexpr const char* kCameraTypes = "dn:NetworkVideoTransmitter tds:Device";

void wake(int fd) {
    const std::uint64_t one = 1;
    // A full counter already wakes the thread.
    if (::write(fd, &one, sizeof one) < 0)
        return;
}

std::string header(const std::string& action, const std::string& messageId,
                   const std::string& relatesTo, const std::string& to) {
    std::string out = "<SOAP-ENV:Header><wsa:MessageID>" + escape(messageId) + "</wsa:MessageID>";
    if (!relatesTo.empty())
        out += "<wsa:RelatesTo>" + escape(relatesTo) + "</wsa:RelatesTo>";
    out += "<wsa:To SOAP-ENV:mustUnderstand=\"true\">" + to +
           "</wsa:To><wsa:Action SOAP-ENV:mustUnderstand=\"true\">"
           "http://schemas.xmlsoap.org/ws/2005/04/discovery/" +
           action + "</wsa:Action></SOAP-ENV:Header>";
    return out;
}

std::string message(const std::string& head, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
           " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
           " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\""
           " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\">" +
           head + "<SOAP-ENV:Body>" + body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string endpointReference(const Announcement& a) {
    return "<wsa:EndpointReference><wsa:Address>" + a.endpoint +
           "</wsa:Address></wsa:EndpointReference>";
}

std::string whatItIs(const Announcement& a) {
    return endpointReference(a) + "<d:Types>" + kCameraTypes + "</d:Types><d:Scopes>" +
           escape(a.scopes) + "</d:Scopes><d:XAddrs>" + escape(a.xaddr) +
           "</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion>";
}

std::vector<std::string> split(std::string_view text) {
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    std::string word;
    while (in >> word)
        out.push_back(word);
    return out;
}

} // namespace

std::optional<Probe> parseProbe(std::string_view datagram) {
    const auto document = XmlDocument::parse(datagram);
    if (!document)
        return std::nullopt;
    const Node root = document->root();
    if (!is(root, kSoap12, "Envelope") && !is(root, kSoap11, "Envelope"))
        return std::nullopt;
    const std::string_view soapNs = namespaceOf(root);
    const Node head = child(root, soapNs, "Header");
    const Node probe = child(child(root, soapNs, "Body"), kDiscovery, "Probe");
    if (!probe)
        return std::nullopt;
    const Node action = child(head, kAddressing, "Action");
    if (action && text(action) != kProbeAction)
        return std::nullopt;
    Probe out;
    out.messageId = text(child(head, kAddressing, "MessageID"));
    // Without a MessageID nobody can relate an answer to the Probe.
    if (out.messageId.empty() || out.messageId.size() > 256)
        return std::nullopt;
    if (const Node types = child(probe, kDiscovery, "Types")) {
        for (const std::string& qname : split(text(types))) {
            const auto colon = qname.find(':');
            const std::string prefix = colon == std::string::npos ? "" : qname.substr(0, colon);
            const std::string local = colon == std::string::npos ? qname : qname.substr(colon + 1);
            // The prefix means what the Probe declared it to mean.
            const xmlNs* ns = xmlSearchNs(
                types->doc, const_cast<xmlNode*>(types),
                prefix.empty() ? nullptr : reinterpret_cast<const xmlChar*>(prefix.c_str()));
            out.types.emplace_back(ns && ns->href ? reinterpret_cast<const char*>(ns->href) : "",
                                   local);
        }
    }
    if (const Node scopes = child(probe, kDiscovery, "Scopes")) {
        const std::string matchBy = attribute(scopes, "MatchBy").value_or("");
        if (!matchBy.empty() &&
            matchBy != "http://schemas.xmlsoap.org/ws/2005/04/discovery/rfc3986")
            return std::nullopt;
        out.scopes = split(text(scopes));
    }
    return out;
}

bool typesMatch(const Probe& probe) {
    for (const auto& [ns, local] : probe.types) {
        const bool transmitter =
            local == "NetworkVideoTransmitter" && (ns == kNetworkVideo || ns.empty());
        const bool device = local == "Device" && (ns == kDevice || ns.empty());
        if (!transmitter && !device)
            return false;
    }
    return true;
}

bool scopesMatch(const Probe& probe, std::string_view cameraScopes) {
    const auto ours = split(cameraScopes);
    for (const std::string& wanted : probe.scopes) {
        const bool found = std::any_of(ours.begin(), ours.end(), [&](const std::string& s) {
            return s == wanted ||
                   (s.size() > wanted.size() && s.compare(0, wanted.size(), wanted) == 0 &&
                    (wanted.back() == '/' || s[wanted.size()] == '/'));
        });
        if (!found)
            return false;
    }
    return true;
}

std::string endpointOf(const Camera& camera) {
    char out[64] = {};
    const auto& m = camera.mac;
    // The maker's cameras use a time-based UUID, whose node is the MAC (as
    // many real cameras do); other makers' a random-looking one that tells
    // nothing of it, so a client must log in to learn the MAC.
    std::snprintf(out, sizeof out, "urn:uuid:4f564f4e-5649-%s-8000-%02x%02x%02x%02x%02x%02x",
                  camera.maker.empty() ? "1100" : "4600", m[0], m[1], m[2], m[3], m[4], m[5]);
    return out;
}

std::string newMessageId(std::mt19937_64& random) {
    const std::uint64_t a = random();
    const std::uint64_t b = random();
    char out[64] = {};
    std::snprintf(out, sizeof out, "urn:uuid:%08x-%04x-4%03x-%04x-%012llx",
                  static_cast<unsigned>(a >> 32), static_cast<unsigned>(a >> 16 & 0xffff),
                  static_cast<unsigned>(a & 0xfff),
                  static_cast<unsigned>((b >> 48 & 0x3fff) | 0x8000),
                  static_cast<unsigned long long>(b & 0xffffffffffffULL));
    return out;
}

std::string probeMatchMessage(const std::string& relatesTo, const Announcement& camera,
                              const std::string& messageId) {
    return message(header("ProbeMatches", messageId, relatesTo,
                          "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"),
                   "<d:ProbeMatches><d:ProbeMatch>" + whatItIs(camera) +
                       "</d:ProbeMatch></d:ProbeMatches>");
}

std::string helloMessage(const Announcement& camera, const std::string& messageId) {
    return message(header("Hello", messageId, "", "urn:schemas-xmlsoap-org:ws:2005:04:discovery"),
                   "<d:Hello>" + whatItIs(camera) + "</d:Hello>");
}

std::string byeMessage(const Announcement& camera, const std::string& messageId) {
    return message(header("Bye", messageId, "", "urn:schemas-xmlsoap-org:ws:2005:04:discovery"),
                   "<d:Bye>" + endpointReference(camera) + "</d:Bye>");
}

DiscoveryResponder::DiscoveryResponder(CameraStore& store, OnvifService& service,
                                       std::uint64_t seed)
    : m_store(store), m_service(service), m_random(seed), m_muted(store.size(), false) {}

void DiscoveryResponder::setMuted(std::size_t camera, bool muted) {
    std::lock_guard guard(m_lock);
    if (camera < m_muted.size())
        m_muted[camera] = muted;
}

Announcement DiscoveryResponder::announcement(std::size_t camera) {
    Announcement a;
    m_store.viewCamera(camera, [&](const Camera& c) {
        a.endpoint = endpointOf(c);
        a.scopes = scopeList(c);
    });
    a.xaddr = m_service.deviceXAddr(camera);
    return a;
}

std::vector<Datagram> DiscoveryResponder::handle(std::string_view payload, std::uint32_t from,
                                                 std::uint16_t fromPort, std::uint32_t to,
                                                 std::chrono::steady_clock::time_point now) {
    std::vector<Datagram> out;
    const auto probe = parseProbe(payload);
    if (!probe || !typesMatch(*probe))
        return out;
    std::vector<std::pair<std::size_t, std::uint32_t>> cameras;
    std::size_t index = 0;
    m_store.forEach([&](const Camera& c) {
        if (to == kDiscoveryGroup || to == c.net.ip)
            cameras.emplace_back(index, c.net.ip);
        ++index;
    });
    std::lock_guard guard(m_lock);
    for (const auto& [camera, ip] : cameras) {
        if (m_muted[camera] || m_service.silent(camera))
            continue;
        const Announcement a = announcement(camera);
        if (!scopesMatch(*probe, a.scopes))
            continue;
        const std::string body = probeMatchMessage(probe->messageId, a, newMessageId(m_random));
        const auto delay = std::chrono::milliseconds(std::uniform_int_distribution<int>(
            0, static_cast<int>(kMaxProbeDelay.count()))(m_random));
        out.push_back({now + delay, ip, from, fromPort, body});
        if (m_service.quirks(camera).probeSpread) {
            // The same answer again, half-way to the end and at the end of
            // the window: the client sees it spread over the whole delay
            // and must take it once.
            out.push_back({now + delay + (kMaxProbeDelay - delay) / 2, ip, from, fromPort, body});
            out.push_back({now + kMaxProbeDelay, ip, from, fromPort, body});
        }
    }
    return out;
}

Datagram DiscoveryResponder::hello(std::size_t camera) {
    const Announcement a = announcement(camera);
    std::lock_guard guard(m_lock);
    const std::uint32_t ip = m_store.viewCamera(camera, [](const Camera& c) { return c.net.ip; });
    return {std::chrono::steady_clock::now(), ip, kDiscoveryGroup, kDiscoveryPort,
            helloMessage(a, newMessageId(m_random))};
}

Datagram DiscoveryResponder::bye(std::size_t camera) {
    const Announcement a = announcement(camera);
    std::lock_guard guard(m_lock);
    const std::uint32_t ip = m_store.viewCamera(camera, [](const Camera& c) { return c.net.ip; });
    return {std::chrono::steady_clock::now(), ip, kDiscoveryGroup, kDiscoveryPort,
            byeMessage(a, newMessageId(m_random))};
}

WsDiscovery::WsDiscovery(DiscoveryResponder& responder, std::string interfaceName)
    : m_responder(responder), m_interface(std::move(interfaceName)) {}

WsDiscovery::~WsDiscovery() {
    if (m_thread.joinable()) {
        m_stopping = true;
        wake(m_wakeFd);
        m_thread.join();
    }
    if (m_socket >= 0)
        ::close(m_socket);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

bool WsDiscovery::start(std::string& error) {
    const auto fail = [&](const char* what) {
        error = std::string("WS-Discovery: ") + what + ": " + std::strerror(errno);
        return false;
    };
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_socket < 0 || m_wakeFd < 0)
        return fail("socket");
    int on = 1;
    setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(m_socket, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    // Only the lab link: multicast and answers never leave through another
    // interface.
    if (setsockopt(m_socket, SOL_SOCKET, SO_BINDTODEVICE, m_interface.c_str(),
                   static_cast<socklen_t>(m_interface.size())) != 0)
        return fail("bind to device");
    // A thousand cameras answer one Probe at once: room for their
    // datagrams in flight.
    int buffer = 4 << 20;
    setsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kDiscoveryPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return fail("bind");
    ip_mreqn group{};
    group.imr_multiaddr.s_addr = htonl(kDiscoveryGroup);
    group.imr_ifindex = static_cast<int>(if_nametoindex(m_interface.c_str()));
    if (setsockopt(m_socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0)
        return fail("join 239.255.255.250");
    ip_mreqn outgoing{};
    outgoing.imr_ifindex = group.imr_ifindex;
    setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_IF, &outgoing, sizeof outgoing);
    int ttl = 1;
    setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    // The simulator's own Hello must not come back to it.
    int loop = 0;
    setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    m_thread = std::thread([this] { run(); });
    return true;
}

void WsDiscovery::announce(std::size_t camera) {
    {
        std::lock_guard guard(m_queueLock);
        m_queue.push_back(m_responder.hello(camera));
    }
    wake(m_wakeFd);
}

void WsDiscovery::stop(std::size_t cameras) {
    if (!m_thread.joinable())
        return;
    m_stopping = true;
    wake(m_wakeFd);
    m_thread.join();
    for (std::size_t i = 0; i < cameras; ++i)
        send(m_responder.bye(i));
}

void WsDiscovery::send(const Datagram& d) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(d.port);
    to.sin_addr.s_addr = htonl(d.destination);
    // Each answer leaves from its camera's own address.
    char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    iovec data{const_cast<char*>(d.payload.data()), d.payload.size()};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &data;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* cmsg = CMSG_FIRSTHDR(&msg);
    cmsg->cmsg_level = IPPROTO_IP;
    cmsg->cmsg_type = IP_PKTINFO;
    cmsg->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(d.source);
    std::memcpy(CMSG_DATA(cmsg), &info, sizeof info);
    ::sendmsg(m_socket, &msg, MSG_DONTWAIT);
}

void WsDiscovery::run() {
    std::vector<Datagram> pending;
    std::vector<char> buffer(65536);
    while (!m_stopping) {
        {
            std::lock_guard guard(m_queueLock);
            for (auto& d : m_queue)
                pending.push_back(std::move(d));
            m_queue.clear();
        }
        const auto now = std::chrono::steady_clock::now();
        std::sort(pending.begin(), pending.end(),
                  [](const Datagram& a, const Datagram& b) { return a.due < b.due; });
        std::size_t sent = 0;
        while (sent < pending.size() && pending[sent].due <= now)
            send(pending[sent++]);
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(sent));
        int timeout = -1;
        if (!pending.empty())
            timeout = static_cast<int>(std::max<long long>(
                0,
                std::chrono::ceil<std::chrono::milliseconds>(pending.front().due - now).count()));
        pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0)
            continue;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            if (::read(m_wakeFd, &count, sizeof count) < 0)
                count = 0;
        }
        if (!(fds[0].revents & POLLIN))
            continue;
        sockaddr_in from{};
        char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        iovec data{buffer.data(), buffer.size()};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &data;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(m_socket, &msg, MSG_DONTWAIT);
        if (n <= 0 || (msg.msg_flags & MSG_TRUNC))
            continue;
        std::uint32_t to = kDiscoveryGroup;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                to = ntohl(info.ipi_addr.s_addr);
            }
        }
        try {
            auto answers =
                m_responder.handle(std::string_view(buffer.data(), static_cast<std::size_t>(n)),
                                   ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), to,
                                   std::chrono::steady_clock::now());
            for (auto& a : answers)
                pending.push_back(std::move(a));
        } catch (const std::exception&) {
            // A datagram that breaks the responder is dropped, never the cameras.
        }
    }
}

} // namespace camsim::onvif
