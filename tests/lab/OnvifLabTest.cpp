// The simulator's WS-Discovery on a real veth link, seen from the tool's
// namespace with a plain UDP socket: Hello from every camera at start,
// ProbeMatch from each camera's own address, and Bye from every camera when
// the simulator stops (Hello after a move: lab.onvif_clients). Needs root.

#include "LabNetwork.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <string>

using namespace std::chrono_literals;

namespace {

struct Heard {
    std::string text;
    std::string from;
};

class Udp {
public:
    // Bound to `port` (0: any) and, for 3702, joined to the group on `ifname`.
    Udp(const std::string& ifname, int port)
        : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ip_mreqn group{};
        group.imr_multiaddr.s_addr = inet_addr("239.255.255.250");
        group.imr_ifindex = static_cast<int>(if_nametoindex(ifname.c_str()));
        if (port == 3702)
            setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group);
        // No route to the group in the lab: the interface is named.
        ip_mreqn out{};
        out.imr_ifindex = group.imr_ifindex;
        setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out);
    }
    ~Udp() { ::close(m_fd); }

    void send(const std::string& text) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(3702);
        to.sin_addr.s_addr = inet_addr("239.255.255.250");
        ::sendto(m_fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    // Everything heard for `span` whose text contains `what`.
    std::vector<Heard> listen(std::chrono::milliseconds span, const std::string& what) {
        std::vector<Heard> out;
        const auto end = std::chrono::steady_clock::now() + span;
        char buffer[65536];
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return out;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            const std::string text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            if (text.find(what) != std::string::npos)
                out.push_back({text, inet_ntoa(from.sin_addr)});
        }
    }

private:
    int m_fd;
};

std::string firstXAddr(const std::string& text) {
    std::smatch m;
    return std::regex_search(text, m, std::regex("XAddrs>http://([0-9.]+):")) ? m[1].str() : "";
}

std::string probe(const std::string& id) {
    return "<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><e:Header><w:MessageID>" +
           id +
           "</w:MessageID><w:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe"
           "</w:Action></e:Header><e:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types>"
           "</d:Probe></e:Body></e:Envelope>";
}

TEST(OnvifLab, HelloProbeMatchAndByeOnTheWire) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the lab needs root";
    LabNetwork lab;
    ASSERT_EQ(lab.create(), "");
    Udp group(lab.adapter(0), 3702);
    ASSERT_EQ(lab.startSimulator({{"cameras", 3}, {"reboot_silence_ms", 500}}), "");

    // Hello from every camera, from its own address, naming it first.
    const auto hellos = group.listen(1500ms, "/discovery/Hello<");
    std::map<std::string, std::string> byXAddr;
    for (const auto& h : hellos)
        byXAddr[firstXAddr(h.text)] = h.from;
    ASSERT_EQ(byXAddr.size(), 3u) << lab.simulatorLog();
    for (const auto& [xaddr, from] : byXAddr)
        EXPECT_EQ(xaddr, from);

    // A Probe: one unicast ProbeMatch per camera, from its own address,
    // RelatesTo the Probe, within the 500 ms window.
    Udp tool(lab.adapter(0), 0);
    const auto sent = std::chrono::steady_clock::now();
    tool.send(probe("urn:uuid:lab-probe-1"));
    const auto matches = tool.listen(900ms, "ProbeMatches");
    ASSERT_EQ(matches.size(), 3u);
    for (const auto& m : matches) {
        EXPECT_NE(m.text.find("RelatesTo>urn:uuid:lab-probe-1<"), std::string::npos);
        EXPECT_EQ(firstXAddr(m.text), m.from);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 1000ms);

    // When the simulator ends, every camera says Bye.
    lab.stopSimulator();
    const auto byes = group.listen(1000ms, "/discovery/Bye<");
    std::map<std::string, int> from;
    for (const auto& b : byes)
        ++from[b.from];
    EXPECT_EQ(from.size(), 3u);
}

} // namespace

namespace {

TEST(OnvifLab, UnreachableXAddrsQuirkNamesAnAddressNobodyReaches) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the lab needs root";
    LabNetwork lab;
    ASSERT_EQ(lab.create(), "");
    ASSERT_EQ(lab.startSimulator(
                  {{"cameras", 2},
                   {"cameras_override", {{"2", {{"onvif_quirks", {"unreachable_xaddrs"}}}}}}}),
              "");
    Udp tool(lab.adapter(0), 0);
    tool.send(probe("urn:uuid:lab-probe-2"));
    std::map<std::string, std::string> xaddrByFrom;
    for (const auto& m : tool.listen(900ms, "ProbeMatches"))
        xaddrByFrom[m.from] = firstXAddr(m.text);
    ASSERT_EQ(xaddrByFrom.size(), 2u);
    // The answer comes from the camera, and names an address outside the lab.
    EXPECT_EQ(xaddrByFrom["192.0.2.10"], "192.0.2.10");
    EXPECT_EQ(xaddrByFrom["192.0.2.11"], "10.255.255.1");
}

} // namespace
