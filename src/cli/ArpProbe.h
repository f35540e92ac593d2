#pragma once
// Is an address free? Asked the way RFC 5227 asks before a host takes an
// address: ARP probes from one adapter, with the sender address 0.0.0.0 so
// that nobody's ARP cache learns anything, a few times; whoever answers for
// the address, or probes for it at the same time, holds it. Addresses of
// this computer itself are in use as well (its own probes go unanswered).

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orv::cli {

struct ProbeTiming {
    int probes = 3;
    std::chrono::milliseconds interval{200};
    // After the last probe.
    std::chrono::milliseconds wait{800};
};

struct ProbeResult {
    // Address -> who holds it ("this computer", or the answering MAC).
    std::map<std::string, std::string> inUse;
    std::string error; // the probe could not run
};

// Probes every address at once from `adapter` (its MAC as the sender).
ProbeResult ProbeAddresses(const std::string& adapter, const std::array<std::uint8_t, 6>& mac,
                           const std::vector<std::string>& addresses,
                           const ProbeTiming& timing = {});

} // namespace orv::cli
