// The program's side of discovery against the camera simulator: adapters
// found and started the way the main window does it, answers turned into
// page events, IP changes with the program's escaped texts. Runs inside
// namespaces the test creates; needs root, skipped otherwise.

#include "LabNetwork.h"

#include "discovery/CaptureCallback.h"
#include "discovery/DiscoveryInstances.h"
#include "discovery/PageEvents.h"
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

class FastQvsp : public CQvsp {
public:
    FastQvsp() : CQvsp(timing()) {}

private:
    static QvspTiming timing() {
        QvspTiming t;
        t.searchInterval = 300ms;
        t.answerTimeout = 300ms;
        return t;
    }
};

class Page : public QObject {
public:
    std::map<std::string, tagQvIpcInfo> found; // by the 8-byte MAC
    std::vector<tagQvIpcInfo> modified;

    bool event(QEvent* e) override {
        if (e->type() == orv::kDeviceFoundEvent) {
            const auto& r = static_cast<orv::CDeviceEvent*>(e)->Record();
            found[std::string(reinterpret_cast<const char*>(r.Mac), 8)] = r;
            return true;
        }
        if (e->type() == orv::kModifyDoneEvent) {
            modified.push_back(static_cast<orv::CDeviceEvent*>(e)->Record());
            return true;
        }
        return QObject::event(e);
    }
};

class Window : public orv::IDiscoverySink {
public:
    Window() {
        for (auto& p : pages) {
            pointers.push_back(&p);
        }
    }
    const std::vector<QObject*>& DevicePages() const override {
        ++callbacks;
        return pointers;
    }
    void AddOperatingInfo(const wchar_t* text) override {
        std::lock_guard lock(m);
        lines.emplace_back(text);
    }
    std::vector<std::wstring> Lines() {
        std::lock_guard lock(m);
        return lines;
    }

    Page pages[4];
    std::vector<QObject*> pointers;
    mutable std::atomic<int> callbacks{0};
    std::mutex m;
    std::vector<std::wstring> lines;
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

TEST_F(ToolLab, AnswersBecomePageEventsAndChangesComeBack) {
    Window window;
    orv::CDiscoveryInstances discovery([] { return std::make_unique<FastQvsp>(); });
    ASSERT_EQ(discovery.Start(&orv::CaptureCallback, static_cast<orv::IDiscoverySink*>(&window)),
              1);
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (const auto& p : window.pages) {
                if (p.found.size() != 3) {
                    return false;
                }
            }
            return true;
        },
        5s));
    const tagQvIpcInfo camera = window.pages[0].found.begin()->second;
    EXPECT_EQ(std::memcmp(&camera, &window.pages[3].found.begin()->second, sizeof camera), 0);

    // A wrong password: one failure line, no page hears of it.
    tagQvIpcInfo wrong = request(camera, "192.0.2.211", L"a'b");
    ASSERT_EQ(discovery.ModifyAll(&wrong), 0);
    ASSERT_TRUE(pumpUntil([&] { return !window.Lines().empty(); }, 5s));
    char mac[32];
    std::snprintf(mac, sizeof mac, "[%.2X:%.2X:%.2X:%.2X:%.2X:%.2X]", camera.Mac[0], camera.Mac[1],
                  camera.Mac[2], camera.Mac[3], camera.Mac[4], camera.Mac[5]);
    EXPECT_EQ(window.Lines().front(),
              orv::FromUtf8(std::string(mac) +
                            " Modify IP,Port,Netmask to 192.0.2.211, 8080, 255.255.255.0 Failed."));
    EXPECT_TRUE(window.pages[0].modified.empty());

    // The right password, typed with an apostrophe and a backslash and
    // escaped as every text the program sends.
    tagQvIpcInfo right = request(camera, "192.0.2.210", L"a'b\\c");
    ASSERT_EQ(discovery.ModifyAll(&right), 0);
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (const auto& p : window.pages) {
                if (p.modified.empty()) {
                    return false;
                }
            }
            return true;
        },
        5s));
    EXPECT_STREQ(window.pages[2].modified.front().IpAddr, "192.0.2.210");
    EXPECT_EQ(window.Lines().size(), 1u);

    // The camera answers with its new address and its plain new name.
    ASSERT_TRUE(pumpUntil(
        [&] {
            const auto& r =
                window.pages[1].found[std::string(reinterpret_cast<const char*>(camera.Mac), 8)];
            return std::string(r.IpAddr) == "192.0.2.210" &&
                   std::string(r.DevName) == "Lager's Tor";
        },
        5s));

    discovery.Stop();
    const int atStop = window.callbacks.load();
    pumpUntil([] { return false; }, 700ms);
    EXPECT_EQ(window.callbacks.load(), atStop) << "no callback after discovery stopped";
}
