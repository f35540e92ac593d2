// A hostile station for lab tests. It waits for a tool's search request on
// the adapter it is given and answers it, repeating the request's transaction
// id, from N invented cameras at a fixed frame rate for a bounded time. It
// sends nothing before it has seen a search; tests start it inside a lab
// namespace (see FloodStation.h).
//
//   orvantix-flood --interface IF --cameras N --rate FPS --seconds S
//                  [--wait S] [--stats FILE]
//
// The statistics file receives one JSON object when the flood ends:
// frames sent, search rounds answered, seconds flooded.

#include "FloodMacs.h"

#include "qvsp/wire/Capture.h"
#include "qvsp/wire/Frame.h"

#include <nlohmann/json.hpp>
#include <poll.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace qvsp::wire;
using Clock = std::chrono::steady_clock;

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void onStop(int) {
    g_stop = 1;
}

struct Options {
    std::string interface;
    int cameras = 1;
    double rate = 80000;
    double seconds = 5;
    double wait = 30;
    std::string stats;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--interface")
            o.interface = value;
        else if (key == "--cameras")
            o.cameras = std::atoi(value);
        else if (key == "--rate")
            o.rate = std::atof(value);
        else if (key == "--seconds")
            o.seconds = std::atof(value);
        else if (key == "--wait")
            o.wait = std::atof(value);
        else if (key == "--stats")
            o.stats = value;
        else
            return false;
    }
    return !o.interface.empty() && o.cameras >= 1 && o.cameras <= kMaxFloodCameras && o.rate > 0 &&
           o.seconds > 0 && o.seconds <= 120;
}

// The answer of invented camera `index`, still without destination and id.
FrameBytes answerOf(int index) {
    Frame f;
    f.src = FloodMac(index);
    SearchAnswer a;
    std::copy(f.src.begin(), f.src.end(), a.device.begin());
    a.net.ip = 0xC0000200u | static_cast<std::uint32_t>(10 + index % 240);
    a.net.netmask = 0xFFFFFF00u;
    a.net.gateway = 0xC0000201u;
    a.net.dns = 0xC0000201u;
    a.net.httpPort = 80;
    a.name = "Flood " + std::to_string(index);
    a.model = "QV-FLOOD";
    a.version = "V1.0.0";
    f.body = a;
    return encode(f);
}

struct Station {
    std::vector<FrameBytes> answers;
    MacAddress tool{};
    std::uint32_t xid = 0;
    int rounds = 0;

    static void onPacket(u_char* self, const pcap_pkthdr* header, const u_char* data) {
        auto& s = *reinterpret_cast<Station*>(self);
        Frame f;
        if (header->caplen != header->len ||
            decode(std::span<const std::uint8_t>(data, header->caplen), f) != DecodeError::None)
            return;
        if (!std::holds_alternative<SearchRequest>(f.body) || f.dst != kBroadcast || f.xid == s.xid)
            return;
        s.tool = f.src;
        s.xid = f.xid;
        ++s.rounds;
    }

    // The answer frame as it goes out: to the searching tool, with its id.
    const FrameBytes& addressed(std::size_t index, FrameBytes& scratch) const {
        scratch = answers[index];
        std::copy(tool.begin(), tool.end(), scratch.begin());
        for (int i = 0; i < 4; ++i)
            scratch[22 + i] = static_cast<std::uint8_t>(xid >> (24 - 8 * i));
        return scratch;
    }
};

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: orvantix-flood --interface IF --cameras N (1..%d) --rate FPS "
                     "--seconds S (up to 120) [--wait S] [--stats FILE]\n",
                     kMaxFloodCameras);
        return 2;
    }
    std::signal(SIGTERM, onStop);
    std::signal(SIGINT, onStop);

    CaptureOptions capture;
    capture.filter = "ether proto 0x0809 and len == 260";
    capture.inboundOnly = true; // its own answers are not searches
    std::string error;
    PcapPtr pcap = openCapture(o.interface, capture, error);
    if (!pcap) {
        std::fprintf(stderr, "orvantix-flood: %s: %s\n", o.interface.c_str(), error.c_str());
        return 1;
    }

    Station station;
    station.answers.reserve(static_cast<std::size_t>(o.cameras));
    for (int i = 0; i < o.cameras; ++i)
        station.answers.push_back(answerOf(i));

    const auto waitUntil = Clock::now() + std::chrono::duration<double>(o.wait);
    Clock::time_point started{};
    std::uint64_t sent = 0;
    FrameBytes scratch{};
    pollfd fd{pcap_get_selectable_fd(pcap.get()), POLLIN, 0};
    while (!g_stop) {
        const bool flooding = station.rounds > 0;
        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - started).count();
        if (!flooding && now > waitUntil) {
            std::fprintf(stderr, "orvantix-flood: no search seen\n");
            return 3;
        }
        if (flooding && elapsed >= o.seconds)
            break;
        const auto due = flooding ? static_cast<std::uint64_t>(elapsed * o.rate) : sent;
        // Ahead of the rate, or nothing to answer yet: wait for a search
        // request or the next millisecond.
        if (::poll(&fd, 1, sent >= due ? 1 : 0) > 0)
            pcap_dispatch(pcap.get(), -1, &Station::onPacket, reinterpret_cast<u_char*>(&station));
        if (!flooding && station.rounds > 0)
            started = Clock::now();
        for (int burst = 0; flooding && sent < due && burst < 256; ++burst, ++sent) {
            const auto index = static_cast<std::size_t>(sent % station.answers.size());
            sendFrame(pcap.get(), station.addressed(index, scratch));
        }
    }

    const double seconds =
        station.rounds > 0 ? std::chrono::duration<double>(Clock::now() - started).count() : 0;
    const nlohmann::json stats = {
        {"frames", sent}, {"rounds", station.rounds}, {"seconds", seconds}};
    if (!o.stats.empty())
        std::ofstream(o.stats) << stats.dump() << "\n";
    std::printf("%s\n", stats.dump().c_str());
    return 0;
}
