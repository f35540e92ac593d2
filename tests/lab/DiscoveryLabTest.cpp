// The discovery library against the camera simulator, over real veth links
// inside namespaces this test creates. Needs root; skipped otherwise.

#include "LabDiscovery.h"
#include "LabNetwork.h"

#include "qvsp/Qvsp.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string macKey(const tagQvIpcInfo& info) {
    return std::string(info.Mac, info.Mac + 8);
}

std::size_t distinctCameras(const std::vector<LabEvent>& events, int type = CAP_SEARCH_RESP) {
    std::set<std::string> macs;
    for (const auto& e : events)
        if (e.type == type)
            macs.insert(macKey(e.info));
    return macs.size();
}

tagQvIpcInfo modifyRequest(const tagQvIpcInfo& found, const char* ip, const char* password) {
    tagQvIpcInfo r{};
    std::memcpy(r.Mac, found.Mac, sizeof r.Mac);
    std::snprintf(r.UserName, sizeof r.UserName, "admin");
    std::snprintf(r.Password, sizeof r.Password, "%s", password);
    std::snprintf(r.DevName, sizeof r.DevName, "Hof Nord");
    std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", ip);
    r.HttpPort = 8080;
    std::snprintf(r.NetMask, sizeof r.NetMask, "255.255.255.0");
    std::snprintf(r.Gateway, sizeof r.Gateway, "192.0.2.1");
    std::snprintf(r.Dns, sizeof r.Dns, "192.0.2.1");
    return r;
}

class Lab : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the lab needs root for namespaces and raw capture";
    }

    void build(int adapters, const nlohmann::json& config) {
        const auto e = m_lab.create(adapters);
        ASSERT_EQ(e, "");
        const auto s = m_lab.startSimulator(config);
        ASSERT_EQ(s, "");
    }

    void TearDown() override {
        if (HasFailure() && m_lab.simulatorPid() > 0)
            std::fprintf(stderr, "simulator log:\n%s\n", m_lab.simulatorLog().c_str());
    }

    bool start(CQvsp& qvsp, int adapter = 0, bool discover = true) {
        return StartLabDiscovery(qvsp, m_lab.adapter(adapter), &LabEvents::callback,
                                 m_events.user(adapter), discover);
    }

    // Declared first so that it is destroyed last, after every instance.
    LabNetwork m_lab;
    LabEvents m_events;
};

} // namespace

TEST_F(Lab, SearchAdapterListsTheLabAdapterOnly) {
    build(1, {{"cameras", 1}});
    QvAdapter* list = nullptr;
    int count = 0;
    CQvsp::SearchAdapter(&list, &count);
    ASSERT_EQ(count, 1); // loopback has no MAC and is left out
    EXPECT_EQ(std::string(list[0].Name), m_lab.adapter(0));
    EXPECT_EQ(std::string(list[0].Description), m_lab.adapter(0) + " 192.0.2.1");
    const std::uint8_t mac[6] = {0x02, 0x4f, 0x56, 0x00, 0x00, 0x01};
    EXPECT_EQ(std::memcmp(list[0].Mac, mac, 6), 0);
    CQvsp::FreeSearchAdapter(list);
}

TEST_F(Lab, FindsThreeCamerasWithEveryField) {
    build(1, {{"cameras", 3}});
    LabQvsp qvsp;
    ASSERT_TRUE(start(qvsp));
    ASSERT_TRUE(m_events.waitUntil([](auto& ev) { return distinctCameras(ev) == 3; }, 3s));
    qvsp.UnInitQvsp();

    std::map<std::string, tagQvIpcInfo> byMac;
    for (const auto& e : m_events.events()) {
        char mac[18];
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", e.info.Mac[0],
                      e.info.Mac[1], e.info.Mac[2], e.info.Mac[3], e.info.Mac[4], e.info.Mac[5]);
        byMac[mac] = e.info;
    }
    const auto state = m_lab.state();
    for (const auto& cam : state["cameras"]) {
        SCOPED_TRACE(cam.dump());
        const auto it = byMac.find(cam["mac"].get<std::string>());
        ASSERT_NE(it, byMac.end());
        const tagQvIpcInfo& r = it->second;
        EXPECT_EQ(std::string(r.DevName), cam["name"]);
        EXPECT_EQ(std::string(r.IpAddr), cam["ip"]);
        EXPECT_EQ(std::string(r.NetMask), cam["netmask"]);
        EXPECT_EQ(std::string(r.Gateway), cam["gateway"]);
        EXPECT_EQ(std::string(r.Dns), cam["dns"]);
        EXPECT_EQ(r.HttpPort, cam["http_port"]);
        EXPECT_EQ(std::string(r.Model), cam["model"]);
        EXPECT_EQ(std::string(r.Version), cam["version"]);
        EXPECT_EQ(std::string(r.DisplayModel), cam["display_model"]);
        EXPECT_EQ(r.Password[0], 0);
    }
}

TEST_F(Lab, ChangesTheAddressWithTheRightPassword) {
    build(1, {{"cameras", 3}, {"password", "s3cret"}});
    LabQvsp qvsp(300ms);
    ASSERT_TRUE(start(qvsp));
    ASSERT_TRUE(m_events.waitUntil([](auto& ev) { return distinctCameras(ev) == 3; }, 3s));
    const tagQvIpcInfo target = m_events.events().at(1).info;
    const std::string oldIp = target.IpAddr;
    ASSERT_TRUE(LabNetwork::addressLive(oldIp, 1s));

    tagQvIpcInfo request = modifyRequest(target, "192.0.2.200", "s3cret");
    qvsp.ModifyIpcInfo(&request);
    ASSERT_TRUE(m_events.waitUntil(
        [](auto& ev) {
            return std::any_of(ev.begin(), ev.end(),
                               [](auto& e) { return e.type == CAP_MODIFY_RESULT; });
        },
        3s));
    const auto events = m_events.events();
    const auto result = std::find_if(events.begin(), events.end(),
                                     [](auto& e) { return e.type == CAP_MODIFY_RESULT; });
    EXPECT_EQ(result->result, 0);
    EXPECT_STREQ(result->info.IpAddr, "192.0.2.200");
    EXPECT_EQ(result->info.Password[0], 0) << "credentials are not handed back";

    // Later answers carry the new values, and the address really moved.
    const auto after = result->at;
    ASSERT_TRUE(m_events.waitUntil(
        [&](auto& ev) {
            return std::any_of(ev.begin(), ev.end(), [&](auto& e) {
                return e.type == CAP_SEARCH_RESP && e.at > after &&
                       std::memcmp(e.info.Mac, target.Mac, 8) == 0 &&
                       std::string(e.info.IpAddr) == "192.0.2.200" &&
                       std::string(e.info.DevName) == "Hof Nord" && e.info.HttpPort == 8080;
            });
        },
        3s));
    EXPECT_TRUE(LabNetwork::addressLive("192.0.2.200", 1s));
    EXPECT_FALSE(LabNetwork::addressLive(oldIp, 500ms));
    qvsp.UnInitQvsp();

    // A restart of the simulator keeps the change.
    m_lab.stopSimulator();
    ASSERT_EQ(m_lab.startSimulator({{"cameras", 3}, {"password", "s3cret"}}), "");
    EXPECT_TRUE(LabNetwork::addressLive("192.0.2.200", 1s));
    int found = 0;
    const auto state = m_lab.state();
    for (const auto& cam : state["cameras"])
        found += cam["ip"] == "192.0.2.200" && cam["name"] == "Hof Nord";
    EXPECT_EQ(found, 1);
}

TEST_F(Lab, RefusesAWrongPassword) {
    build(1, {{"cameras", 2}, {"password", "s3cret"}});
    LabQvsp qvsp(300ms);
    ASSERT_TRUE(start(qvsp));
    ASSERT_TRUE(m_events.waitUntil([](auto& ev) { return distinctCameras(ev) == 2; }, 3s));
    const tagQvIpcInfo target = m_events.events().at(0).info;

    tagQvIpcInfo request = modifyRequest(target, "192.0.2.201", "guess");
    qvsp.ModifyIpcInfo(&request);
    ASSERT_TRUE(m_events.waitUntil(
        [](auto& ev) { return distinctCameras(ev, CAP_MODIFY_RESULT) == 1; }, 3s));
    const auto events = m_events.events();
    const auto result = std::find_if(events.begin(), events.end(),
                                     [](auto& e) { return e.type == CAP_MODIFY_RESULT; });
    EXPECT_EQ(result->result, QVSP_RESULT_BAD_PROOF);
    const auto after = result->at;
    ASSERT_TRUE(m_events.waitUntil(
        [&](auto& ev) {
            return std::any_of(ev.begin(), ev.end(), [&](auto& e) {
                return e.type == CAP_SEARCH_RESP && e.at > after &&
                       std::memcmp(e.info.Mac, target.Mac, 8) == 0;
            });
        },
        3s));
    for (const auto& e : m_events.events()) {
        if (e.type == CAP_SEARCH_RESP && std::memcmp(e.info.Mac, target.Mac, 8) == 0) {
            EXPECT_STREQ(e.info.IpAddr, target.IpAddr);
        }
    }
    EXPECT_TRUE(LabNetwork::addressLive(target.IpAddr, 1s));
    EXPECT_FALSE(LabNetwork::addressLive("192.0.2.201", 500ms));
}

TEST_F(Lab, AnUnansweredChangeIsReportedOnlyWhereTheCameraWasSeen) {
    // Camera 2 answers for half a second and then falls silent.
    build(1, {{"cameras", 2}, {"cameras_override", {{"2", {{"silent_after_ms", 500}}}}}});
    LabQvsp qvsp(100ms);
    ASSERT_TRUE(start(qvsp));
    ASSERT_TRUE(m_events.waitUntil([](auto& ev) { return distinctCameras(ev) == 2; }, 3s));
    std::this_thread::sleep_for(700ms);
    const auto events = m_events.events();
    const auto last = events.back().info;
    tagQvIpcInfo silentCamera{};
    for (const auto& e : events)
        if (std::memcmp(e.info.Mac, last.Mac, 8) != 0)
            silentCamera = e.info;
    ASSERT_NE(silentCamera.Mac[5], 0);

    // A camera this adapter never saw: silence, since another adapter may
    // have it.
    tagQvIpcInfo stranger = modifyRequest(silentCamera, "192.0.2.202", "admin");
    stranger.Mac[5] ^= 0x40;
    qvsp.ModifyIpcInfo(&stranger);
    tagQvIpcInfo request = modifyRequest(silentCamera, "192.0.2.203", "admin");
    qvsp.ModifyIpcInfo(&request);
    ASSERT_TRUE(m_events.waitUntil(
        [](auto& ev) { return distinctCameras(ev, CAP_MODIFY_RESULT) >= 1; }, 3s));
    std::this_thread::sleep_for(800ms); // both exchanges have timed out by now
    qvsp.UnInitQvsp();
    std::vector<LabEvent> results;
    for (const auto& e : m_events.events())
        if (e.type == CAP_MODIFY_RESULT)
            results.push_back(e);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(std::memcmp(results[0].info.Mac, silentCamera.Mac, 8), 0);
    EXPECT_EQ(results[0].result, QVSP_RESULT_NO_ANSWER);
}

TEST_F(Lab, UnInitReturnsPromptlyAndNoCallbackFollows) {
    build(1, {{"cameras", 100}});
    {
        // Answers flowing without pause.
        LabQvsp qvsp(30ms);
        ASSERT_TRUE(start(qvsp));
        ASSERT_TRUE(m_events.waitUntil([](auto& ev) { return ev.size() >= 500; }, 5s));
        const auto start = Clock::now();
        qvsp.UnInitQvsp();
        m_events.closed = true;
        const auto took = Clock::now() - start;
        EXPECT_LT(took, 200ms);
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(m_events.late.load(), 0);
    }
    {
        // A quiet adapter: nothing to read, nothing to send.
        LabQvsp idle;
        ASSERT_TRUE(start(idle, 0, false));
        std::this_thread::sleep_for(100ms);
        const auto start = Clock::now();
        idle.UnInitQvsp();
        EXPECT_LT(Clock::now() - start, 100ms);
    }
}

TEST_F(Lab, ACameraOnTwoAdaptersArrivesTwice) {
    build(2, {{"cameras", 1}});
    LabQvsp a;
    LabQvsp b;
    ASSERT_TRUE(start(a));
    ASSERT_TRUE(start(b, 1));
    ASSERT_TRUE(m_events.waitUntil([](auto& ev) { return ev.size() >= 2; }, 3s));
    std::this_thread::sleep_for(300ms);
    a.UnInitQvsp();
    b.UnInitQvsp();
    const auto events = m_events.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_NE(events[0].adapter, events[1].adapter);
    EXPECT_EQ(std::memcmp(events[0].info.Mac, events[1].info.Mac, 8), 0);
}

TEST_F(Lab, IdleCaptureThreadUsesNoMeasurableCpu) {
    build(1, {{"cameras", 3}});
    CQvsp qvsp;
    ASSERT_TRUE(start(qvsp));
    ASSERT_TRUE(m_events.waitUntil([](auto& ev) { return distinctCameras(ev) == 3; }, 3s));
    const auto cpu = [] {
        rusage u{};
        ::getrusage(RUSAGE_SELF, &u);
        return u.ru_utime.tv_sec * 1e6 + u.ru_utime.tv_usec + u.ru_stime.tv_sec * 1e6 +
               u.ru_stime.tv_usec;
    };
    const double before = cpu();
    std::this_thread::sleep_for(3s);
    const double used = cpu() - before;
    qvsp.UnInitQvsp();
    std::printf("[ measure ] idle capture: %.0f us CPU in 3 s (%.4f %%)\n", used, used / 3e6 * 100);
    EXPECT_LT(used, 30'000); // 1 % of a core
}

TEST_F(Lab, CaptureFailuresAreErrorValues) {
    build(1, {{"cameras", 1}});
    // Without capture rights: leaving root drops every capability.
    const pid_t child = ::fork();
    if (child == 0) {
        int result = 0;
        if (::setresgid(65534, 65534, 65534) == 0 && ::setresuid(65534, 65534, 65534) == 0)
            StartLabDiscovery(*std::make_unique<CQvsp>(), m_lab.adapter(0), &LabEvents::callback,
                              m_events.user(), true, &result);
        ::_exit(-result);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), -QVSP_ERROR_NO_PERMISSION);

    // An adapter taken down and up again resumes; one that disappears ends
    // capture with one message that names it.
    LabQvsp qvsp(100ms);
    ASSERT_TRUE(start(qvsp));
    ASSERT_EQ(m_lab.setAdapterUp(0, false), "");
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(m_lab.setAdapterUp(0, true), "");
    const std::size_t before = m_events.events().size();
    EXPECT_TRUE(m_events.waitUntil([&](auto& ev) { return ev.size() > before; }, 3s));
    const std::string name = m_lab.adapter(0);
    ASSERT_EQ(m_lab.removeAdapter(0), "");
    ASSERT_TRUE(m_events.waitUntil(
        [](auto& ev) { return !ev.empty() && ev.back().type != CAP_SEARCH_RESP; }, 3s));
    std::this_thread::sleep_for(300ms);
    qvsp.UnInitQvsp();
    const auto events = m_events.events();
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](auto& e) { return e.type != CAP_SEARCH_RESP; }),
              1);
    EXPECT_EQ(events.back().type, CAP_CAPTURE_STOPPED);
    EXPECT_EQ(events.back().result, QVSP_ERROR_ADAPTER_GONE);
    EXPECT_EQ(events.back().info.DevName, name);
    EXPECT_EQ(events.back().info.Mac[5], 0x01);
}
