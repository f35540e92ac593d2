// A hostile station floods the discovery library with answers from invented
// cameras, repeating each search's transaction id. The library reports each
// camera at most once per search round, in bounded memory, and still every
// real camera each round. Needs root; skipped otherwise.

#include "FloodStation.h"
#include "LabDiscovery.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <fstream>

using namespace std::chrono_literals;

namespace {

class TestQvsp : public CQvsp {
public:
    explicit TestQvsp(const QvspTiming& timing) : CQvsp(timing) {}
};

// Counts only, so that the test itself does not grow with the flood.
struct Counts {
    std::atomic<std::uint64_t> invented{0};
    std::array<std::atomic<int>, 4> real{}; // cameras 1..3 of the simulator; [0]: anything else
    static void callback(int type, tagMsgInfo* msg, void* user) {
        auto& c = *static_cast<Counts*>(user);
        const unsigned char* mac = msg->Info.Mac;
        if (type == CAP_SEARCH_RESP && FloodStation::IsInvented(mac))
            ++c.invented;
        else
            ++c.real[type == CAP_SEARCH_RESP && mac[5] <= 3 ? mac[5] : 0];
    }
};

long statusKb(const std::string& field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(field.size()));
    return -1;
}

} // namespace

TEST(DiscoveryFlood, EachCameraOncePerRoundInBoundedMemoryAndRealCamerasStillReported) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the lab needs root for namespaces and raw capture";
    LabNetwork lab;
    ASSERT_EQ(lab.create(1), "");
    ASSERT_EQ(lab.startSimulator({{"cameras", 3}}), "");
    Counts counts;
    TestQvsp qvsp(QvspTiming{1s});
    ASSERT_TRUE(StartLabDiscovery(qvsp, lab.adapter(0), &Counts::callback, &counts));
    const long baselineKb = statusKb("VmRSS:");
    // 26 s of flooding in all.
    for (const auto& [cameras, duration] :
         {std::pair{1, 3s}, {200, 5s}, {2000, 7s}, {10000, 11s}}) {
        SCOPED_TRACE(std::to_string(cameras) + " invented cameras");
        counts.invented = 0;
        for (auto& r : counts.real)
            r = 0;
        FloodStation station(lab, cameras, 80000, duration);
        FloodStation::Figures sent;
        ASSERT_EQ(station.finish(sent), "");
        const auto reported = counts.invented.load();
        std::printf("[ measure ] %5d invented cameras: %llu frames in %.1f s (%.0f/s), %d rounds, "
                    "%llu reported, real cameras %d/%d/%d; resident %+ld kB\n",
                    cameras, static_cast<unsigned long long>(sent.frames), sent.seconds,
                    sent.rate(), sent.rounds, static_cast<unsigned long long>(reported),
                    counts.real[1].load(), counts.real[2].load(), counts.real[3].load(),
                    statusKb("VmRSS:") - baselineKb);
        EXPECT_GE(sent.rate(), 20000) << "a flood far beyond any camera's answers";
        EXPECT_GE(reported, static_cast<std::uint64_t>(cameras));
        EXPECT_LE(reported, static_cast<std::uint64_t>(sent.rounds) * cameras);
        for (int i = 1; i <= 3; ++i)
            EXPECT_GE(counts.real[i].load(), sent.rounds - 1) << "real camera " << i;
        EXPECT_EQ(counts.real[0].load(), 0);
    }
    const long growthKb = statusKb("VmHWM:") - baselineKb;
    std::printf("[ measure ] peak resident growth over all floods: %ld kB\n", growthKb);
    EXPECT_LE(growthKb, 50 * 1024);
}
