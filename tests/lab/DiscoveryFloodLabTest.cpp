// A hostile station floods the discovery library with answers from invented
// cameras, repeating each search's transaction id. The library must report
// each camera at most once per search round, keep its memory bounded and
// still report every real camera. Needs root; skipped otherwise.

#include "FloodStation.h"
#include "LabDiscovery.h"
#include "LabNetwork.h"

#include "qvsp/Qvsp.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>

using namespace std::chrono_literals;

namespace {

class TestQvsp : public CQvsp {
public:
    explicit TestQvsp(const QvspTiming& timing) : CQvsp(timing) {}
};

constexpr int kRealCameras = 3;

// Counts only, so that the test itself does not grow with the flood.
struct Counts {
    std::atomic<std::uint64_t> flood{0};
    std::array<std::atomic<int>, kRealCameras> real{};
    std::atomic<int> other{0};

    static void callback(int type, tagMsgInfo* msg, void* user) {
        auto& c = *static_cast<Counts*>(user);
        const unsigned char* mac = msg->Info.Mac;
        if (type != CAP_SEARCH_RESP)
            c.other.fetch_add(1);
        else if (IsFloodMac(mac))
            c.flood.fetch_add(1);
        else if (mac[5] >= 1 && mac[5] <= kRealCameras)
            c.real[mac[5] - 1].fetch_add(1);
        else
            c.other.fetch_add(1);
    }
    void reset() {
        flood = 0;
        for (auto& r : real)
            r = 0;
    }
};

long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

} // namespace

TEST(DiscoveryFlood, EachCameraOncePerRoundInBoundedMemoryAndRealCamerasStillReported) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the lab needs root for namespaces and raw capture";
    LabNetwork lab;
    ASSERT_EQ(lab.create(1), "");
    ASSERT_EQ(lab.startSimulator({{"cameras", kRealCameras}}), "");

    Counts counts;
    QvspTiming timing;
    timing.searchInterval = 1s;
    TestQvsp qvsp(timing);
    ASSERT_TRUE(StartLabDiscovery(qvsp, lab.adapter(0), &Counts::callback, &counts));
    for (int i = 0; i < 100 && counts.real[kRealCameras - 1] == 0; ++i)
        std::this_thread::sleep_for(20ms);
    const long baselineKb = statusKb("VmRSS:");

#if defined(ORVANTIX_SANITIZED_BUILD)
    constexpr double kLeastRate = 20000;
#else
    constexpr double kLeastRate = 60000;
#endif
    // Four floods, 30 s of flooding in all.
    for (const auto& [cameras, seconds] :
         {std::pair{1, 4s}, std::pair{200, 6s}, std::pair{2000, 8s}, std::pair{10000, 12s}}) {
        SCOPED_TRACE(std::to_string(cameras) + " invented cameras");
        counts.reset();
        FloodStation station;
        FloodStation::Options options;
        options.cameras = cameras;
        options.framesPerSecond = 80000;
        options.duration = seconds;
        ASSERT_EQ(station.start(lab, options), "");
        FloodStation::Figures sent;
        ASSERT_EQ(station.finish(sent), "");

        const auto delivered = counts.flood.load();
        std::printf("[ measure ] %5d invented cameras: %llu frames in %.1f s (%.0f/s), %d rounds, "
                    "%llu reported; real cameras reported %d/%d/%d times; resident %+ld kB\n",
                    cameras, static_cast<unsigned long long>(sent.frames), sent.seconds,
                    sent.rate(), sent.rounds, static_cast<unsigned long long>(delivered),
                    counts.real[0].load(), counts.real[1].load(), counts.real[2].load(),
                    statusKb("VmRSS:") - baselineKb);
        EXPECT_GE(sent.rate(), kLeastRate);
        EXPECT_GE(sent.rounds, 2);
        // Every invented camera reached the program, none more than once a round.
        EXPECT_GE(delivered, static_cast<std::uint64_t>(cameras));
        EXPECT_LE(delivered, static_cast<std::uint64_t>(sent.rounds) * cameras);
        for (int i = 0; i < kRealCameras; ++i)
            EXPECT_GE(counts.real[i].load(), sent.rounds - 1) << "real camera " << i + 1;
    }
    qvsp.UnInitQvsp();
    EXPECT_EQ(counts.other.load(), 0);
    const long growthKb = statusKb("VmHWM:") - baselineKb;
    std::printf("[ measure ] peak resident growth over all floods: %ld kB\n", growthKb);
    EXPECT_LE(growthKb, 50 * 1024);
}
