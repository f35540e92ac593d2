#pragma once
// The key a TLS camera showed in a curl handle's last handshake, and the key
// every handshake of the handle must show (empty: any, the first contact).
// It lives as long as the handle, whose handshakes check against it
// (CurlParts.h, pinnedTls).

#include <string>

namespace qvipc::wire {

struct TlsKey {
    std::string seen;
    std::string pin;
    // The last handshake showed another key than `pin` and was ended.
    bool refused = false;
};

} // namespace qvipc::wire
