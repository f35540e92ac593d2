#include "core/AddressManager.h"

#include "qvsp/wire/Records.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace camsim {

using qvsp::wire::UniqueFd;

namespace {

struct AddressRequest {
    nlmsghdr header;
    ifaddrmsg address;
    char attributes[64];
};

void addAttribute(AddressRequest& r, unsigned short type, std::uint32_t value) {
    rtattr attribute{};
    attribute.rta_type = type;
    attribute.rta_len = static_cast<unsigned short>(RTA_LENGTH(sizeof value));
    auto* at = reinterpret_cast<char*>(&r) + NLMSG_ALIGN(r.header.nlmsg_len);
    std::memcpy(at, &attribute, sizeof attribute);
    std::memcpy(at + RTA_LENGTH(0), &value, sizeof value);
    r.header.nlmsg_len = NLMSG_ALIGN(r.header.nlmsg_len) + RTA_ALIGN(attribute.rta_len);
}

} // namespace

std::unique_ptr<AddressManager> AddressManager::open(const std::string& interfaceName,
                                                     std::string& error) {
    const unsigned index = if_nametoindex(interfaceName.c_str());
    if (index == 0) {
        error = "no interface \"" + interfaceName + "\"";
        return nullptr;
    }
    UniqueFd sock(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!sock) {
        error = std::string("netlink: ") + std::strerror(errno);
        return nullptr;
    }
    // Removing the first address of a subnet would take every other address
    // of that subnet with it unless the kernel promotes a secondary one.
    std::ofstream("/proc/sys/net/ipv4/conf/" + interfaceName + "/promote_secondaries") << "1\n";
    return std::make_unique<AddressManager>(std::move(sock), index);
}

AddressManager::AddressManager(UniqueFd socket, unsigned index)
    : m_socket(std::move(socket)), m_index(index) {}

AddressManager::~AddressManager() {
    for (const auto& [key, users] : m_users)
        request(RTM_DELADDR, key.first, key.second);
}

int AddressManager::request(int type, std::uint32_t ip, int prefix) {
    AddressRequest r{};
    r.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifaddrmsg));
    r.header.nlmsg_type = static_cast<unsigned short>(type);
    r.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
    if (type == RTM_NEWADDR)
        r.header.nlmsg_flags |= NLM_F_CREATE | NLM_F_EXCL;
    r.header.nlmsg_seq = ++m_sequence;
    r.address.ifa_family = AF_INET;
    r.address.ifa_prefixlen = static_cast<unsigned char>(prefix);
    r.address.ifa_scope = RT_SCOPE_UNIVERSE;
    r.address.ifa_index = m_index;
    addAttribute(r, IFA_LOCAL, htonl(ip));
    addAttribute(r, IFA_ADDRESS, htonl(ip));
    if (::send(m_socket.get(), &r, r.header.nlmsg_len, 0) < 0)
        return -errno;
    // Read until the acknowledgement of this request. Headers are copied
    // out rather than cast, as the buffer has no particular alignment.
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(m_socket.get(), buffer, sizeof buffer, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        const auto size = static_cast<std::size_t>(n);
        std::size_t offset = 0;
        while (offset + sizeof(nlmsghdr) <= size) {
            nlmsghdr h{};
            std::memcpy(&h, buffer + offset, sizeof h);
            if (h.nlmsg_len < sizeof h || offset + h.nlmsg_len > size)
                break;
            if (h.nlmsg_seq == m_sequence && h.nlmsg_type == NLMSG_ERROR &&
                h.nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr))) {
                nlmsgerr e{};
                std::memcpy(&e, buffer + offset + NLMSG_HDRLEN, sizeof e);
                return e.error;
            }
            offset += NLMSG_ALIGN(h.nlmsg_len);
        }
    }
}

bool AddressManager::acquire(std::uint32_t ip, int prefix, std::string& error) {
    if (ip == 0)
        return true;
    int& users = m_users[{ip, prefix}];
    if (users == 0) {
        const int rc = request(RTM_NEWADDR, ip, prefix);
        if (rc != 0 && rc != -EEXIST) {
            m_users.erase({ip, prefix});
            error = "cannot add " + qvsp::wire::ipv4Text(ip) + "/" + std::to_string(prefix) + ": " +
                    std::strerror(-rc);
            return false;
        }
    }
    ++users;
    return true;
}

void AddressManager::release(std::uint32_t ip, int prefix) {
    const auto it = m_users.find({ip, prefix});
    if (it == m_users.end())
        return;
    if (--it->second == 0) {
        request(RTM_DELADDR, ip, prefix);
        m_users.erase(it);
    }
}

bool AddressManager::move(const Camera& before, const Camera& after, std::string& error) {
    const auto newPrefix = prefixLength(after.net.netmask);
    if (!newPrefix) {
        error = "netmask " + qvsp::wire::ipv4Text(after.net.netmask) + " is not contiguous";
        return false;
    }
    if (!acquire(after.net.ip, *newPrefix, error))
        return false;
    if (const auto oldPrefix = prefixLength(before.net.netmask))
        release(before.net.ip, *oldPrefix);
    return true;
}

} // namespace camsim
