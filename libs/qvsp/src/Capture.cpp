#include "qvsp/wire/Capture.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if_arp.h>
#include <netinet/in.h>

#include <algorithm>

namespace qvsp::wire {
namespace {

// Discovery frames are 260 bytes; a small snapshot lets the kernel ring hold
// thousands of them, so a burst of answers is not dropped.
constexpr int kSnapLength = 512;
constexpr int kBufferBytes = 8 << 20;

struct DeviceListFree {
    void operator()(pcap_if_t* list) const { pcap_freealldevs(list); }
};

std::optional<MacAddress> macOf(const pcap_if_t& dev) {
    for (const pcap_addr_t* a = dev.addresses; a; a = a->next) {
        if (!a->addr || a->addr->sa_family != AF_PACKET)
            continue;
        const auto* ll = reinterpret_cast<const sockaddr_ll*>(a->addr);
        if (ll->sll_halen != 6 || ll->sll_hatype != ARPHRD_ETHER)
            continue;
        MacAddress mac{};
        std::copy_n(ll->sll_addr, 6, mac.begin());
        if (std::all_of(mac.begin(), mac.end(), [](std::uint8_t b) { return b == 0; }))
            continue;
        return mac;
    }
    return std::nullopt;
}

std::string ipv4Of(const pcap_if_t& dev) {
    for (const pcap_addr_t* a = dev.addresses; a; a = a->next) {
        if (!a->addr || a->addr->sa_family != AF_INET)
            continue;
        char buf[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->addr);
        if (inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf))
            return buf;
    }
    return {};
}

} // namespace

PcapPtr openCapture(const std::string& device, const CaptureOptions& options, std::string& error,
                    OpenFailure* why) {
    OpenFailure ignored = OpenFailure::None;
    OpenFailure& failure = why ? *why : ignored;
    failure = OpenFailure::Other;
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    PcapPtr p(pcap_create(device.c_str(), errbuf));
    if (!p) {
        error = errbuf;
        return nullptr;
    }
    pcap_set_snaplen(p.get(), kSnapLength);
    pcap_set_promisc(p.get(), 1);
    // Without immediate mode every answer waits for the read timeout.
    pcap_set_immediate_mode(p.get(), 1);
    pcap_set_buffer_size(p.get(), kBufferBytes);
    const int rc = pcap_activate(p.get());
    if (rc < 0) {
        error = std::string(pcap_statustostr(rc)) + ": " + pcap_geterr(p.get());
        if (rc == PCAP_ERROR_PERM_DENIED || rc == PCAP_ERROR_PROMISC_PERM_DENIED)
            failure = OpenFailure::NoPermission;
        else if (rc == PCAP_ERROR_NO_SUCH_DEVICE)
            failure = OpenFailure::NoDevice;
        return nullptr;
    }
    if (pcap_datalink(p.get()) != DLT_EN10MB) {
        error = "not an Ethernet adapter";
        return nullptr;
    }
    if (options.inboundOnly && pcap_setdirection(p.get(), PCAP_D_IN) != 0) {
        error = pcap_geterr(p.get());
        return nullptr;
    }
    if (!options.filter.empty()) {
        bpf_program program{};
        if (pcap_compile(p.get(), &program, options.filter.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
            error = std::string("filter: ") + pcap_geterr(p.get());
            return nullptr;
        }
        const int set = pcap_setfilter(p.get(), &program);
        pcap_freecode(&program);
        if (set != 0) {
            error = std::string("filter: ") + pcap_geterr(p.get());
            return nullptr;
        }
    }
    // pcap_next_ex would block forever on a quiet adapter; the owner polls
    // the selectable descriptor instead and can always be woken.
    if (pcap_setnonblock(p.get(), 1, errbuf) != 0 || pcap_get_selectable_fd(p.get()) < 0) {
        error = errbuf[0] ? errbuf : "no selectable descriptor";
        return nullptr;
    }
    failure = OpenFailure::None;
    return p;
}

bool sendFrame(pcap_t* pcap, const FrameBytes& bytes) {
    return pcap_inject(pcap, bytes.data(), bytes.size()) == static_cast<int>(bytes.size());
}

std::vector<AdapterInfo> listAdapters() {
    std::vector<AdapterInfo> out;
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* raw = nullptr;
    if (pcap_findalldevs(&raw, errbuf) != 0)
        return out;
    std::unique_ptr<pcap_if_t, DeviceListFree> list(raw);
    for (const pcap_if_t* dev = list.get(); dev; dev = dev->next) {
        if (dev->flags & PCAP_IF_LOOPBACK)
            continue;
        const auto mac = macOf(*dev);
        if (!mac)
            continue;
        AdapterInfo info;
        info.name = dev->name;
        // Real adapters carry no description; name and address tell them apart.
        const std::string ip = ipv4Of(*dev);
        info.description = info.name + (ip.empty() ? std::string(" (no IPv4)") : " " + ip);
        info.mac = *mac;
        out.push_back(std::move(info));
    }
    return out;
}

std::optional<MacAddress> adapterMac(const std::string& name) {
    for (const auto& a : listAdapters()) {
        if (a.name == name)
            return a.mac;
    }
    return std::nullopt;
}

} // namespace qvsp::wire
