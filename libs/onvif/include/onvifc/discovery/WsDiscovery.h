#pragma once
// WS-Discovery on the tool's side: a Probe on every adapter, repeated on a
// rhythm and on demand, the cameras' unicast ProbeMatches on the socket the
// Probe left from, and their Hello and Bye on the group. One thread of its
// own reads every socket and hands the parsed messages on in batches.

#include "onvifc/discovery/Messages.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace onvifc {

struct Adapter {
    std::string name;          // interface name
    std::uint32_t address = 0; // IPv4, host order
};

// IPv4 addresses of the interfaces that are up, running and multicast
// capable, loopback excepted; an interface with several addresses appears
// once for each.
std::vector<Adapter> listIpv4Adapters();

struct Found {
    DiscoveryMessage message;
    std::uint32_t from = 0; // the sender's address, host order
    std::string adapter;    // the interface it arrived on
};

struct WsDiscoveryStats {
    // Smallest receive buffer the kernel granted on any of the sockets.
    int receiveBuffer = 0;
    std::uint64_t datagrams = 0;
    // The same datagram from the same sender again within one round.
    std::uint64_t folded = 0;
    // ProbeMatches that answer none of our recent Probes.
    std::uint64_t unrelated = 0;
    // Not a discovery message, not well-formed, too long or truncated.
    std::uint64_t refused = 0;
    // Datagrams the kernel dropped because a receive buffer was full.
    std::uint64_t dropped = 0;
};

class CWsDiscovery {
public:
    using Sink = std::function<void(std::vector<Found>)>;
    using Problem = std::function<void(const std::string&)>;

    static constexpr std::chrono::milliseconds kDefaultInterval{10000};
    // The kernel doubles this for its bookkeeping: a thousand answers of
    // up to 3 KB, each taking about twice its size in the buffer, fit even
    // when they all arrive before the thread gets to read one.
    static constexpr int kReceiveBuffer = 4 << 20;

    // `sink` and `problem` are called on the discovery thread, never after
    // Stop() returned.
    CWsDiscovery(std::vector<Adapter> adapters, Sink sink, Problem problem,
                 std::chrono::milliseconds interval = kDefaultInterval);
    ~CWsDiscovery();
    CWsDiscovery(const CWsDiscovery&) = delete;
    CWsDiscovery& operator=(const CWsDiscovery&) = delete;

    // Opens the sockets and starts the thread, which probes at once. When
    // it returns, Hello and Bye are heard. An adapter whose socket cannot
    // be opened is left out and reported (named) through `problem` from
    // the thread, as is a receive buffer smaller than kReceiveBuffer asks
    // for. False, with the reasons reported here, when no adapter could be
    // used at all.
    bool Start();
    // Ends the thread and closes the sockets; Start may follow again. Not
    // from a callback: the thread cannot wait for itself.
    void Stop();
    // Probes now instead of at the next beat.
    void ProbeNow();

    WsDiscoveryStats Stats() const;
    // The port each adapter's Probe socket has: the cameras answer there.
    std::vector<std::pair<Adapter, std::uint16_t>> ProbeSockets() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace onvifc
