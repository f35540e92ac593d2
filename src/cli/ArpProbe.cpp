#include "ArpProbe.h"

#include "file/UniqueFd.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/if_ether.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orv::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct ArpFrame {
    ether_header eth;
    ether_arp arp;
} __attribute__((packed));

std::string macText(const std::uint8_t* m) {
    char out[18];
    std::snprintf(out, sizeof out, "%.2X:%.2X:%.2X:%.2X:%.2X:%.2X", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    return out;
}

std::string addressText(const std::uint8_t* a) {
    char out[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, a, out, sizeof out);
    return out;
}

void markOwnAddresses(const std::map<std::string, in_addr>& wanted, ProbeResult& result) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return;
    }
    for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        for (const auto& [text, address] : wanted) {
            if (address.s_addr == in->sin_addr.s_addr) {
                result.inUse[text] = "this computer";
            }
        }
    }
    freeifaddrs(list);
}

} // namespace

ProbeResult ProbeAddresses(const std::string& adapter, const std::array<std::uint8_t, 6>& mac,
                           const std::vector<std::string>& addresses, const ProbeTiming& timing) {
    ProbeResult result;
    std::map<std::string, in_addr> wanted;
    for (const std::string& text : addresses) {
        in_addr a{};
        if (inet_pton(AF_INET, text.c_str(), &a) == 1) {
            wanted.emplace(text, a);
        }
    }
    markOwnAddresses(wanted, result);
    if (wanted.empty()) {
        return result;
    }
    const unsigned index = if_nametoindex(adapter.c_str());
    UniqueFd fd(::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ARP)));
    sockaddr_ll where{};
    where.sll_family = AF_PACKET;
    where.sll_protocol = htons(ETH_P_ARP);
    where.sll_ifindex = static_cast<int>(index);
    if (index == 0 || fd.get() < 0 ||
        ::bind(fd.get(), reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
        result.error = "no ARP probe on " + adapter + ": " + std::strerror(errno);
        return result;
    }

    ArpFrame probe{};
    std::memset(probe.eth.ether_dhost, 0xFF, ETH_ALEN);
    std::memcpy(probe.eth.ether_shost, mac.data(), ETH_ALEN);
    probe.eth.ether_type = htons(ETHERTYPE_ARP);
    probe.arp.arp_hrd = htons(ARPHRD_ETHER);
    probe.arp.arp_pro = htons(ETHERTYPE_IP);
    probe.arp.arp_hln = ETH_ALEN;
    probe.arp.arp_pln = 4;
    probe.arp.arp_op = htons(ARPOP_REQUEST);
    std::memcpy(probe.arp.arp_sha, mac.data(), ETH_ALEN);
    // Sender address and target hardware address stay zero: a probe.

    const auto send = [&] {
        for (const auto& [text, address] : wanted) {
            std::memcpy(probe.arp.arp_tpa, &address, 4);
            where.sll_halen = ETH_ALEN;
            std::memset(where.sll_addr, 0xFF, ETH_ALEN);
            ::sendto(fd.get(), &probe, sizeof probe, 0, reinterpret_cast<sockaddr*>(&where),
                     sizeof where);
        }
    };
    const auto receive = [&](Clock::time_point until) {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            pollfd p{fd.get(), POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return;
            }
            ArpFrame frame{};
            const ssize_t n = ::recv(fd.get(), &frame, sizeof frame, 0);
            if (n < static_cast<ssize_t>(sizeof frame) ||
                ntohs(frame.eth.ether_type) != ETHERTYPE_ARP ||
                std::memcmp(frame.arp.arp_sha, mac.data(), ETH_ALEN) == 0) {
                continue;
            }
            const std::string sender = addressText(frame.arp.arp_spa);
            const std::string target = addressText(frame.arp.arp_tpa);
            const bool probing = sender == "0.0.0.0" && ntohs(frame.arp.arp_op) == ARPOP_REQUEST;
            // An answer, or any use of the address as a sender; another
            // host's probe for the same address counts as well.
            const std::string& address = probing ? target : sender;
            if (wanted.count(address) != 0 && result.inUse.count(address) == 0) {
                result.inUse[address] = macText(frame.arp.arp_sha);
            }
        }
    };
    for (int i = 0; i < timing.probes; ++i) {
        send();
        receive(Clock::now() + (i + 1 < timing.probes ? timing.interval : timing.wait));
    }
    return result;
}

} // namespace orv::cli
