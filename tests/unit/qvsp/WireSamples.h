#pragma once

#include "qvsp/wire/Frame.h"

namespace samples {

using namespace qvsp::wire;

inline constexpr MacAddress kTool{0x02, 0x4f, 0x56, 0x00, 0x00, 0x01};
inline constexpr MacAddress kCamera{0x02, 0x4f, 0x56, 0x10, 0x00, 0x07};

inline DeviceId deviceOf(const MacAddress& mac) {
    return {mac[0], mac[1], mac[2], mac[3], mac[4], mac[5], 0xa5, 0x5a};
}

inline Frame frame(const MacAddress& dst, const MacAddress& src, Body body) {
    Frame f;
    f.dst = dst;
    f.src = src;
    f.xid = 0x01020304;
    f.body = std::move(body);
    return f;
}

inline NetworkSettings settings() {
    NetworkSettings n;
    n.ip = 0xc000020a; // 192.0.2.10
    n.netmask = 0xffffff00;
    n.gateway = 0xc0000201;
    n.dns = 0x08080808;
    n.httpPort = 8080;
    return n;
}

inline SearchAnswer answer() {
    SearchAnswer a;
    a.device = deviceOf(kCamera);
    a.net = settings();
    a.name = "Caméra Süd 7";
    a.model = "QV-N3651";
    a.version = "13.2.0.4";
    a.displayModel = "Dome 2MP";
    return a;
}

inline ModifyRequest modifyRequest() {
    ModifyRequest m;
    m.device = deviceOf(kCamera);
    m.nonce = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    m.net = settings();
    m.user = "admin";
    m.name = "Lager Ost";
    m.proof.fill(0x77);
    return m;
}

} // namespace samples
