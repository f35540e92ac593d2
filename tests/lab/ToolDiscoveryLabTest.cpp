// The program's side of discovery against the camera simulator: adapters
// found and started the way the main window does it, answers turned into
// the hub's signals, IP changes with the program's escaped texts. Runs inside
// namespaces the test creates; needs root, skipped otherwise.

#include "LabDiscovery.h"
#include "LabNetwork.h"

#include "discovery/DiscoveryHub.h"
#include "protocols/qv/DiscoveryInstances.h"
#include "protocols/qv/QvDriver.h"
#include "protocols/qv/QvRecords.h"
#include "text/TextConv.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

using namespace std::chrono_literals;

namespace {

// What the pages hear from the hub, on the window thread.
struct Pages {
    explicit Pages(orv::CDiscoveryHub& hub) {
        QObject::connect(&hub, &orv::CDiscoveryHub::devicesFound,
                         [this](const std::vector<orv::device::DeviceInfo>& batch) {
                             ++batches;
                             for (const tagQvIpcInfo& r : orv::qv::RecordsOf(batch)) {
                                 found[std::string(reinterpret_cast<const char*>(r.Mac), 8)] = r;
                             }
                         });
        QObject::connect(
            &hub, &orv::CDiscoveryHub::modifyDone,
            [this](const orv::device::DeviceInfo& d) { modified.push_back(orv::qv::RecordOf(d)); });
        QObject::connect(
            &hub, &orv::CDiscoveryHub::modifyFailed,
            [this](const orv::device::DeviceInfo& d) { failed.push_back(orv::qv::RecordOf(d)); });
    }
    std::map<std::string, tagQvIpcInfo> found; // by the 8-byte MAC
    std::vector<tagQvIpcInfo> modified;
    std::vector<tagQvIpcInfo> failed;
    int batches = 0;
};

template <class Pred>
bool pumpUntil(Pred pred, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (pred()) {
            return true;
        }
        ::usleep(5000);
    }
    return pred();
}

tagQvIpcInfo request(const tagQvIpcInfo& camera, const char* ip, const wchar_t* password) {
    tagQvIpcInfo r{};
    std::memcpy(r.Mac, camera.Mac, sizeof r.Mac);
    WideToMulti(orv::kCpAnsi, L"admin", r.UserName, sizeof r.UserName, true);
    WideToMulti(orv::kCpAnsi, password, r.Password, sizeof r.Password, true);
    WideToMulti(orv::kCpUtf8, L"Lager's Tor", r.DevName, sizeof r.DevName, true);
    std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", ip);
    r.HttpPort = 8080;
    std::snprintf(r.NetMask, sizeof r.NetMask, "255.255.255.0");
    std::snprintf(r.Gateway, sizeof r.Gateway, "192.0.2.1");
    std::snprintf(r.Dns, sizeof r.Dns, "192.0.2.1");
    return r;
}

class ToolLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "the lab needs root for namespaces and raw capture";
        }
        ASSERT_EQ(lab.create(1), "");
        ASSERT_EQ(lab.startSimulator({{"cameras", 3}, {"password", "a'b\\c"}}), "");
    }
    void TearDown() override {
        if (HasFailure() && lab.simulatorPid() > 0) {
            std::fprintf(stderr, "simulator log:\n%s\n", lab.simulatorLog().c_str());
        }
    }

    LabNetwork lab;
};

} // namespace

TEST_F(ToolLab, AnswersReachThePagesAndChangesComeBack) {
    orv::CDiscoveryHub hub;
    Pages pages(hub);
    orv::CDiscoveryInstances discovery([] { return std::make_unique<LabQvsp>(300ms); });
    ASSERT_EQ(
        discovery.Start(&orv::qv::ForwardCapture, static_cast<orv::device::IDiscoverySink*>(&hub)),
        1);
    ASSERT_TRUE(pumpUntil([&] { return pages.found.size() == 3; }, 5s));
    const tagQvIpcInfo camera = pages.found.begin()->second;

    // A wrong password: a failure, no change.
    tagQvIpcInfo wrong = request(camera, "192.0.2.211", L"a'b");
    ASSERT_EQ(discovery.ModifyAll(&wrong), 0);
    ASSERT_TRUE(pumpUntil([&] { return !pages.failed.empty(); }, 5s));
    EXPECT_STREQ(pages.failed.front().IpAddr, "192.0.2.211");
    EXPECT_TRUE(pages.modified.empty());

    // The right password, typed with an apostrophe and a backslash and
    // escaped as every text the program sends.
    tagQvIpcInfo right = request(camera, "192.0.2.210", L"a'b\\c");
    ASSERT_EQ(discovery.ModifyAll(&right), 0);
    ASSERT_TRUE(pumpUntil([&] { return !pages.modified.empty(); }, 5s));
    EXPECT_STREQ(pages.modified.front().IpAddr, "192.0.2.210");
    EXPECT_EQ(pages.failed.size(), 1u);

    // The camera answers with its new address and its plain new name.
    ASSERT_TRUE(pumpUntil(
        [&] {
            const auto& r = pages.found[std::string(reinterpret_cast<const char*>(camera.Mac), 8)];
            return std::string(r.IpAddr) == "192.0.2.210" &&
                   std::string(r.DevName) == "Lager's Tor";
        },
        5s));

    discovery.Stop();
    pumpUntil([] { return false; }, 100ms);
    const int atStop = pages.batches;
    pumpUntil([] { return false; }, 700ms);
    EXPECT_EQ(pages.batches, atStop) << "nothing arrives after discovery stopped";
}
