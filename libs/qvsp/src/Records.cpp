#include "qvsp/wire/Records.h"

#include "qvsp/wire/Proof.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace qvsp::wire {

std::string fieldText(const char* field, std::size_t width) {
    const auto* end = std::find(field, field + width, '\0');
    return std::string(field, end);
}

void setFieldImpl(char* field, std::size_t width, std::string_view text) {
    const std::size_t n = std::min(text.size(), width - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, width - n);
}

std::string ipv4Text(std::uint32_t address) {
    in_addr a{};
    a.s_addr = htonl(address);
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

std::optional<std::uint32_t> parseIpv4(std::string_view text) {
    if (text.empty())
        return 0u;
    if (text.size() >= INET_ADDRSTRLEN)
        return std::nullopt;
    char buf[INET_ADDRSTRLEN] = {};
    std::memcpy(buf, text.data(), text.size());
    in_addr a{};
    if (inet_pton(AF_INET, buf, &a) != 1)
        return std::nullopt;
    return ntohl(a.s_addr);
}

tagQvIpcInfo toRecord(const SearchAnswer& answer) {
    tagQvIpcInfo r{};
    std::copy(answer.device.begin(), answer.device.end(), r.Mac);
    setField(r.DevName, answer.name);
    setField(r.IpAddr, ipv4Text(answer.net.ip));
    r.HttpPort = answer.net.httpPort;
    setField(r.NetMask, ipv4Text(answer.net.netmask));
    setField(r.Gateway, ipv4Text(answer.net.gateway));
    setField(r.Dns, ipv4Text(answer.net.dns));
    setField(r.Model, answer.model);
    setField(r.Version, answer.version);
    setField(r.DisplayModel, answer.displayModel);
    return r;
}

std::optional<NetworkSettings> requestedSettings(const tagQvIpcInfo& request) {
    const auto ip = parseIpv4(fieldText(request.IpAddr));
    const auto mask = parseIpv4(fieldText(request.NetMask));
    const auto gateway = parseIpv4(fieldText(request.Gateway));
    const auto dns = parseIpv4(fieldText(request.Dns));
    if (!ip || !mask || !gateway || !dns || request.HttpPort < 1 || request.HttpPort > 65535)
        return std::nullopt;
    NetworkSettings n;
    n.ip = *ip;
    n.netmask = *mask;
    n.gateway = *gateway;
    n.dns = *dns;
    n.httpPort = static_cast<std::uint16_t>(request.HttpPort);
    return n;
}

std::string unescapeText(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() &&
            (text[i + 1] == '\\' || text[i + 1] == '\'')) {
            ++i;
        }
        plain += text[i];
    }
    return plain;
}

std::optional<ModifyRequest> makeModifyRequest(const tagQvIpcInfo& request, const Nonce& nonce) {
    const auto net = requestedSettings(request);
    if (!net)
        return std::nullopt;
    ModifyRequest m;
    std::copy(std::begin(request.Mac), std::end(request.Mac), m.device.begin());
    m.nonce = nonce;
    m.net = *net;
    m.user = unescapeText(fieldText(request.UserName));
    m.name = unescapeText(fieldText(request.DevName));
    m.proof = computeProof(unescapeText(fieldText(request.Password)), m);
    return m;
}

} // namespace qvsp::wire
