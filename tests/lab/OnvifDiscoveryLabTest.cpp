// The ONVIF driver's WS-Discovery client against the real simulator across
// the lab link: every camera found with its XAddrs, Hello and Bye heard, a
// ProbeMatch to somebody else's Probe ignored, and a thousand cameras
// answering one Probe without a loss. Needs root.

#include "LabNetwork.h"
#include "qvsp/wire/UniqueFd.h"

#include "onvif/WsDiscovery.h"
#include "onvifc/discovery/WsDiscovery.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using onvifc::DiscoveryMessage;
using Clock = std::chrono::steady_clock;

namespace {

std::uint32_t ip(const char* text) {
    return ntohl(::inet_addr(text));
}

std::string ipText(std::uint32_t address) {
    in_addr a{htonl(address)};
    return ::inet_ntoa(a);
}

// Everything the client hands on, with when it arrived. `closed` set, a
// callback is a fault; `stall` holds the discovery thread up once.
struct Heard {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<onvifc::Found, Clock::time_point>> found;
    std::vector<std::string> problems;
    std::atomic<int> batches{0};
    std::atomic<bool> closed{false}, late{false};
    std::atomic<std::chrono::milliseconds> stall{};

    onvifc::CWsDiscovery open(std::vector<onvifc::Adapter> adapters) {
        return {std::move(adapters),
                [this](std::vector<onvifc::Found> batch) {
                    std::this_thread::sleep_for(stall.exchange({}));
                    late = late || closed;
                    std::lock_guard guard(lock);
                    ++batches;
                    for (auto& f : batch)
                        found.push_back({std::move(f), Clock::now()});
                    changed.notify_all();
                },
                [this](const std::string& text) {
                    std::lock_guard guard(lock);
                    problems.push_back(text);
                },
                60s};
    }
    // Endpoint -> the first of `kind` heard, once `count` endpoints sent one.
    std::map<std::string, onvifc::Found> waitFor(DiscoveryMessage::Kind kind, std::size_t count) {
        std::unique_lock guard(lock);
        std::map<std::string, onvifc::Found> out;
        changed.wait_for(guard, 3s, [&] {
            for (const auto& [f, at] : found)
                if (f.message.kind == kind)
                    out.emplace(f.message.endpoint, f);
            return out.size() >= count;
        });
        return out;
    }
    template <class F>
    auto locked(F f) {
        std::lock_guard guard(lock);
        return f();
    }
};

// The host and port of an XAddr ("http://192.0.2.10:8000/onvif/...").
std::pair<std::string, int> hostPort(const std::string& xaddr) {
    const auto host = xaddr.find("://") + 3;
    const auto colon = xaddr.find(':', host);
    return {xaddr.substr(host, colon - host), std::stoi(xaddr.substr(colon + 1))};
}

// One datagram from inside the camera namespace, as a camera would send it.
void sendFromCameraSide(const LabNetwork& lab, const std::string& text, std::uint16_t port) {
    std::thread([&] {
        qvsp::wire::UniqueFd ns(
            ::open(("/var/run/netns/" + lab.cameraNamespace()).c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::setns(ns.get(), CLONE_NEWNET), 0);
        qvsp::wire::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_in to{AF_INET, htons(port), {htonl(ip("192.0.2.1"))}, {}};
        EXPECT_GT(::sendto(fd.get(), text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to),
                           sizeof to),
                  0);
    }).join();
}

TEST(OnvifDiscoveryLab, FindsEveryCameraHearsHelloAndByeIgnoresOthersAnswers) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the lab needs root";
    LabNetwork lab;
    ASSERT_EQ(lab.create(), "");
    // In the tool namespace the only adapter is the lab's.
    auto adapters = onvifc::listIpv4Adapters();
    ASSERT_EQ(adapters.size(), 1u);
    EXPECT_EQ(adapters[0].name, lab.adapter(0));
    EXPECT_EQ(adapters[0].address, ip("192.0.2.1"));
    // Two adapters that cannot work: they are named, the real one works.
    adapters.push_back({"nosuch0", ip("192.0.2.1")});
    adapters.push_back({lab.adapter(0), ip("192.0.2.77")});
    Heard heard;
    onvifc::CWsDiscovery discovery = heard.open(adapters);
    ASSERT_TRUE(discovery.Start());
    ASSERT_EQ(discovery.ProbeSockets().size(), 1u);

    // Three of the maker's cameras (one repeats its answers), two of another maker.
    ASSERT_EQ(
        lab.startSimulator({{"cameras", 3},
                            {"cameras_override", {{"1", {{"onvif_quirks", {"probe_spread"}}}}}},
                            {"onvif_models",
                             {{{"maker", "Lumora"},
                               {"model", "LX-40"},
                               {"count", 2},
                               {"mac_base", "02:6c:75:00:00:00"},
                               {"versions", {"2.1.4"}},
                               {"onvif_port", 8899}}}}}),
        "");
    const auto checkAll = [&](const std::map<std::string, onvifc::Found>& cameras) {
        ASSERT_EQ(cameras.size(), 5u) << lab.simulatorLog();
        for (const auto& [endpoint, f] : cameras) {
            EXPECT_EQ(f.adapter, lab.adapter(0));
            // A Bye names the camera only.
            if (f.message.kind == DiscoveryMessage::Kind::Bye)
                continue;
            ASSERT_EQ(f.message.xaddrs.size(), 1u) << endpoint;
            const auto [host, port] = hostPort(f.message.xaddrs[0]);
            EXPECT_EQ(host, ipText(f.from)) << endpoint;
            EXPECT_EQ(port, endpoint.find("-026c75") != std::string::npos ? 8899 : 8000);
        }
    };
    checkAll(heard.waitFor(DiscoveryMessage::Kind::Hello, 5));

    heard.locked([&] { heard.found.clear(); });
    discovery.ProbeNow();
    checkAll(heard.waitFor(DiscoveryMessage::Kind::ProbeMatch, 5));
    // The repeating camera's copies within the window are folded.
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(heard.locked([&] { return heard.found.size(); }), 5u);
    EXPECT_EQ(discovery.Stats().folded, 2u);

    // A ProbeMatch that answers somebody else's Probe, from the camera side.
    const std::string forged = "urn:uuid:4f564f4e-5649-4600-8000-0000000000ff";
    sendFromCameraSide(lab,
                       camsim::onvif::probeMatchMessage("urn:uuid:not-ours",
                                                        {forged, "", "http://192.0.2.10/x"}, "f"),
                       discovery.ProbeSockets()[0].second);
    for (int i = 0; i < 100 && discovery.Stats().unrelated == 0; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(discovery.Stats().unrelated, 1u);
    EXPECT_EQ(heard.locked([&] { return heard.found.size(); }), 5u);

    heard.locked([&] { heard.found.clear(); });
    lab.stopSimulator();
    checkAll(heard.waitFor(DiscoveryMessage::Kind::Bye, 5));

    discovery.Stop();
    heard.closed = true;
    discovery.ProbeNow();
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(heard.late);
    ASSERT_EQ(heard.problems.size(), 2u);
    EXPECT_NE(heard.problems[0].find("nosuch0"), std::string::npos) << heard.problems[0];
    EXPECT_NE(heard.problems[1].find("192.0.2.77"), std::string::npos) << heard.problems[1];
}

TEST(OnvifDiscoveryLab, AThousandCamerasAnswerOneProbeWithoutALoss) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the lab needs root";
    constexpr std::size_t kCameras = 1000;
    LabNetwork lab;
    ASSERT_EQ(lab.create(), "");
    ASSERT_EQ(lab.addAddress(0, "198.18.0.1/15"), "");
    ASSERT_EQ(
        lab.startSimulator({{"cameras", kCameras}, {"addresses", LabNetwork::BenchmarkRange()}}),
        "");
    // The cameras' Hello at start has gone by.
    std::this_thread::sleep_for(1s);

    Heard heard;
    onvifc::CWsDiscovery discovery = heard.open({{lab.adapter(0), ip("198.18.0.1")}});
    // Once read as the answers come, once with the thread held up by its
    // consumer until every camera has answered: then all of them wait in the
    // receive buffer.
    for (const bool stalled : {false, true}) {
        SCOPED_TRACE(stalled ? "consumer stalled" : "reading");
        heard.locked([&] { heard.found.clear(); });
        heard.batches = 0;
        heard.stall = stalled ? 700ms : 0ms;
        const auto sent = Clock::now();
        if (stalled)
            discovery.ProbeNow();
        else
            ASSERT_TRUE(discovery.Start()); // probes at once
        const auto cameras = heard.waitFor(DiscoveryMessage::Kind::ProbeMatch, kCameras);
        const auto waited = Clock::now() - sent;
        const auto stats = discovery.Stats();
        const auto [first, last] = heard.locked([&] {
            return std::minmax_element(heard.found.begin(), heard.found.end(),
                                       [](auto& a, auto& b) { return a.second < b.second; });
        });
        const auto ms = [&](auto at) {
            return std::chrono::duration_cast<std::chrono::milliseconds>(at->second - sent).count();
        };
        std::cout << "[ figures  ] " << (stalled ? "stalled: " : "reading: ") << cameras.size()
                  << " of " << kCameras << " cameras; first answer " << ms(first) << " ms, last "
                  << ms(last) << " ms after the Probe; " << heard.batches
                  << " batches; kernel drops " << stats.dropped << "; receive buffer granted "
                  << stats.receiveBuffer / 1024 << " KiB\n";
        EXPECT_EQ(cameras.size(), kCameras);
        EXPECT_LT(waited, 3s);
        EXPECT_EQ(stats.dropped, 0u);
        EXPECT_EQ(stats.unrelated, 0u);
        EXPECT_GE(stats.receiveBuffer, onvifc::CWsDiscovery::kReceiveBuffer);
        for (const auto& [endpoint, f] : cameras)
            ASSERT_EQ(hostPort(f.message.xaddrs.at(0)).first, ipText(f.from)) << endpoint;
    }
    discovery.Stop();
    EXPECT_TRUE(heard.problems.empty()) << heard.problems[0];
}

} // namespace
