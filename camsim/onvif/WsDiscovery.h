#pragma once
// WS-Discovery for the cameras' ONVIF face: a Probe (multicast to
// 239.255.255.250:3702, or unicast to one camera) is answered by a unicast
// ProbeMatch from every camera whose types match, each after a random
// 0-500 ms; Hello goes out at start and after a camera moved, Bye at
// shutdown. The message logic is apart from the socket, for tests and
// the fuzzer.

#include "core/CameraStore.h"
#include "onvif/OnvifService.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace camsim::onvif {

inline constexpr std::uint16_t kDiscoveryPort = 3702;
inline constexpr std::uint32_t kDiscoveryGroup = 0xeffffffa; // 239.255.255.250
inline constexpr std::chrono::milliseconds kMaxProbeDelay{500};

struct Probe {
    std::string messageId;
    // The types asked for, resolved to namespace and local name; an
    // unresolved prefix leaves the namespace empty.
    std::vector<std::pair<std::string, std::string>> types;
    std::vector<std::string> scopes;
};

// Nothing when the datagram is not a Probe.
std::optional<Probe> parseProbe(std::string_view datagram);

// True when a camera offering NetworkVideoTransmitter and Device answers:
// every type asked for must be one of them (none asked: all match).
bool typesMatch(const Probe& probe);
// Every scope asked for must prefix one of the camera's, segment by segment.
bool scopesMatch(const Probe& probe, std::string_view cameraScopes);

// urn:uuid:... from the MAC: time-based (the MAC as its node) for the
// maker's cameras, random-looking for other makers'.
std::string endpointOf(const Camera& camera);

struct Announcement {
    std::string endpoint;
    std::string scopes;
    std::string xaddr;
};
std::string probeMatchMessage(const std::string& relatesTo, const Announcement& camera,
                              const std::string& messageId);
std::string helloMessage(const Announcement& camera, const std::string& messageId);
std::string byeMessage(const Announcement& camera, const std::string& messageId);
std::string newMessageId(std::mt19937_64& random);

struct Datagram {
    std::chrono::steady_clock::time_point due;
    std::uint32_t source = 0;      // the camera's address
    std::uint32_t destination = 0; // host order
    std::uint16_t port = 0;
    std::string payload;
};

// Answers of all cameras to one datagram, without I/O.
class DiscoveryResponder {
public:
    DiscoveryResponder(CameraStore& store, OnvifService& service, std::uint64_t seed);

    // A datagram from `from`:`fromPort` to `to` (the group or one camera).
    std::vector<Datagram> handle(std::string_view payload, std::uint32_t from,
                                 std::uint16_t fromPort, std::uint32_t to,
                                 std::chrono::steady_clock::time_point now);
    // Hello or Bye of one camera, to the group.
    Datagram hello(std::size_t camera);
    Datagram bye(std::size_t camera);
    void setMuted(std::size_t camera, bool muted);

private:
    Announcement announcement(std::size_t camera);

    CameraStore& m_store;
    OnvifService& m_service;
    std::mutex m_lock;
    std::mt19937_64 m_random;
    std::vector<bool> m_muted;
};

// The responder on a UDP socket in the camera namespace.
class WsDiscovery {
public:
    WsDiscovery(DiscoveryResponder& responder, std::string interfaceName);
    ~WsDiscovery();

    bool start(std::string& error);
    // Sends Bye for every camera and ends the thread.
    void stop(std::size_t cameras);
    // Hello for a camera (started, moved, renamed).
    void announce(std::size_t camera);

private:
    void run();
    void send(const Datagram& d);

    DiscoveryResponder& m_responder;
    std::string m_interface;
    int m_socket = -1;
    int m_wakeFd = -1;
    std::thread m_thread;
    std::mutex m_queueLock;
    std::vector<Datagram> m_queue;
    std::atomic<bool> m_stopping{false};
};

} // namespace camsim::onvif
