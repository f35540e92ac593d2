#include "FloodStation.h"

#include "qvsp/wire/Capture.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>

using namespace qvsp::wire;
using Clock = std::chrono::steady_clock;

namespace {

// Invented camera `index`'s answer to the search `xid` of `tool`.
FrameBytes answer(int index, const MacAddress& tool, std::uint32_t xid) {
    Frame f{tool,
            {0x02, 0x46, 0x4c, static_cast<std::uint8_t>(index >> 16),
             static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)},
            xid,
            {}};
    SearchAnswer a;
    std::copy(f.src.begin(), f.src.end(), a.device.begin());
    a.net = {0xC0000200u | static_cast<std::uint32_t>(10 + index % 240), 0xFFFFFF00u, 0xC0000201u,
             0xC0000201u, 80};
    a.name = "Flood " + std::to_string(index);
    a.model = "QV-FLOOD";
    f.body = a;
    return encode(f);
}

struct LastSearch {
    MacAddress tool{};
    std::uint32_t xid = 0;
    int rounds = 0;

    static void onPacket(u_char* self, const pcap_pkthdr* header, const u_char* data) {
        auto& s = *reinterpret_cast<LastSearch*>(self);

        Frame f;
        if (decode(std::span<const std::uint8_t>(data, header->caplen), f) == DecodeError::None &&
            std::holds_alternative<SearchRequest>(f.body) && f.xid != s.xid) {
            s.tool = f.src;
            s.xid = f.xid;
            ++s.rounds;
        }
    }
};

} // namespace

FloodStation::FloodStation(LabNetwork& lab, std::vector<Stage> stages, double framesPerSecond)
    : m_stages(std::move(stages)), m_figures(m_stages.size()),
      m_thread(&FloodStation::run, this, lab.cameraNamespace(), lab.cameraInterface(),
               framesPerSecond) {}

FloodStation::~FloodStation() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

std::string FloodStation::finish(std::vector<Figures>& figures) {
    m_thread.join();
    figures = m_figures;
    return m_error;
}

void FloodStation::run(std::string ns, std::string interface, double rate) {
    const int nsFd = ::open(("/var/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0 || ::setns(nsFd, CLONE_NEWNET) != 0) {
        m_error = "cannot enter the camera namespace";
        return;
    }
    ::close(nsFd);
    // Its own answers are left out by direction, so they cost no time. (An
    // "inbound" in the filter text instead holds a lone frame back until the
    // next one arrives.)
    CaptureOptions options{"ether proto 0x0809 and len == 260", true};
    PcapPtr pcap = openCapture(interface, options, m_error);
    if (!pcap)
        return;

    LastSearch search;
    const auto giveUp = Clock::now() + std::chrono::seconds(15);
    pollfd fd{pcap_get_selectable_fd(pcap.get()), POLLIN, 0};
    std::size_t stage = 0;
    Clock::time_point started;
    int roundsBefore = 0;
    while (!m_stop && stage < m_stages.size()) {
        const auto now = Clock::now();
        if (search.rounds == 0 && now > giveUp) {
            m_error = "no search seen";
            break;
        }
        Figures& figures = m_figures[stage];
        const double elapsed = std::chrono::duration<double>(now - started).count();
        if (search.rounds > 0 &&
            elapsed >= std::chrono::duration<double>(m_stages[stage].duration).count()) {
            figures.seconds = elapsed;
            figures.rounds = search.rounds - roundsBefore;
            roundsBefore = search.rounds;
            started = now;
            m_stage = static_cast<int>(++stage);
            continue;
        }
        const auto due = search.rounds > 0 ? static_cast<std::uint64_t>(elapsed * rate) : 0;
        // Ahead of the rate, or nothing to answer yet: wait for a search or
        // the next millisecond.
        if (::poll(&fd, 1, figures.frames >= due ? 1 : 0) > 0) {
            const bool first = search.rounds == 0;
            pcap_dispatch(pcap.get(), -1, &LastSearch::onPacket,
                          reinterpret_cast<u_char*>(&search));
            if (first && search.rounds > 0) {
                started = Clock::now();
                m_stage = 0;
            }
        }
        const int cameras = m_stages[stage].cameras;
        for (int burst = 0; figures.frames < due && burst < 256; ++burst)
            sendFrame(pcap.get(), answer(static_cast<int>(figures.frames++ % cameras), search.tool,
                                         search.xid));
    }
    m_stage = static_cast<int>(m_stages.size());
}
