// The device API served from the simulator's camera store: what the API
// changes is what the discovery answers and the state file show, cameras
// moved by a raw-Ethernet modify are found at their new place, and the
// control channel reads cameras and orders faults. On loopback, no root.

#include "FreePort.h"
#include "SimControl.h"
#include "api/Control.h"
#include "api/StoreDeviceApiHost.h"
#include "core/Config.h"
#include "core/Responder.h"

#include "qvipcsdk/QvIpcSdk.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

using namespace camsim;
using namespace qvsp::wire;
using namespace std::chrono_literals;

namespace {

constexpr MacAddress kTool{0x02, 0x4f, 0x56, 0, 0, 1};
constexpr std::chrono::milliseconds kSilence{600};

// How the System page hands a device name to the SDK.
std::string percentEncoded(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        char piece[4];
        std::snprintf(piece, sizeof piece, "%%%02X", c);
        out += piece;
    }
    return out;
}

std::string controlRequest(const std::string& path, const std::string& line) {
    return SimControlRequest(path, line);
}

class StoreApi : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/camsim-api.XXXXXX";
        m_dir = ::mkdtemp(templ);
        SimConfig c;
        c.cameras = 3;
        c.firstIp = 0x7f000002; // 127.0.0.2
        c.lastIp = 0x7f000010;
        c.httpPort = static_cast<std::uint16_t>(freePort());
        c.tlsPort = static_cast<std::uint16_t>(freePort());
        c.password = "s3cret";
        c.names = {"Cam {n}"};
        c.models = {{"QVIP3651", ""}}; // takes images named QVFImage_21...
        c.versions = {"13.1.0.5"};
        m_port = c.httpPort;
        m_store.emplace(makeCameras(c), m_dir / "state.json");
        m_responder.emplace(*m_store, std::vector<Behaviour>{}, 0ms, 0.0, 1, Clock::now());
        m_host.emplace(*m_store, [this](std::size_t camera, std::chrono::milliseconds ms) {
            m_rebooted.push_back(camera);
            m_responder->silenceUntil(camera, Clock::now() + ms);
        });
        DeviceApiOptions options;
        options.bindDevice = "lo";
        options.rebootSilence = kSilence;
        m_server.emplace(*m_host, options);
        ASSERT_TRUE(m_server->start());
        Qv_Sdk_SetTimeouts(2000, 3000);
    }

    void TearDown() override {
        m_server.reset();
        std::filesystem::remove_all(m_dir);
    }

    int login(const std::string& ip, int port, const char* password = "s3cret") {
        return Qv_Ipc_Login(ip.c_str(), "", port, "admin", password, 0);
    }

    // The search answers of every camera that is not silent at `at`.
    std::map<std::size_t, SearchAnswer> search(Clock::time_point at) {
        Frame f;
        f.dst = kBroadcast;
        f.src = kTool;
        f.xid = 7;
        f.body = SearchRequest{};
        std::vector<Outgoing> out;
        m_responder->handle(f, at, out);
        std::map<std::size_t, SearchAnswer> answers;
        for (const auto& o : out) {
            Frame a;
            EXPECT_EQ(decode(o.bytes, a), DecodeError::None);
            const auto& s = std::get<SearchAnswer>(a.body);
            MacAddress mac{};
            std::copy_n(s.device.begin(), mac.size(), mac.begin());
            answers[*m_store->indexOf(mac)] = s;
        }
        return answers;
    }

    std::filesystem::path m_dir;
    int m_port = 0;
    std::optional<CameraStore> m_store;
    std::optional<Responder> m_responder;
    std::optional<StoreDeviceApiHost> m_host;
    std::optional<DeviceApiServer> m_server;
    std::vector<std::size_t> m_rebooted;
};

} // namespace

TEST_F(StoreApi, ChangesThroughTheApiShowInDiscoveryAndSurviveARestart) {
    const int handle = login("127.0.0.3", m_port);
    ASSERT_GT(handle, 0) << Qv_Sdk_GetLastError();
    const std::string name = "Hof Süd 摄像机";
    ASSERT_EQ(Qv_Ipc_SetDeviceName(handle, percentEncoded(name).c_str()), 0);
    ASSERT_EQ(Qv_Ipc_ModifyPassword(handle, "admin", "n3u"), 0);
    QvPortInfo ports{};
    ASSERT_EQ(Qv_Ipc_GetPortInfo(handle, &ports), 0);
    const int newPort = freePort();
    ports.httpPort = newPort;
    ports.rtspPort1 = 1554;
    ASSERT_EQ(Qv_Ipc_SetPortInfo(handle, &ports), 0);

    const auto answers = search(Clock::now());
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers.at(1).name, name);
    EXPECT_EQ(answers.at(1).net.httpPort, newPort);
    EXPECT_EQ(answers.at(1).net.ip, 0x7f000003u) << "the API never moves the address";
    EXPECT_EQ(answers.at(0).name, "Cam 01");
    EXPECT_EQ(answers.at(0).net.httpPort, m_port);

    // The camera answers at its new port with its new password only.
    EXPECT_EQ(login("127.0.0.3", m_port, "n3u"), -1);
    EXPECT_EQ(login("127.0.0.3", newPort, "s3cret"), -1);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_AUTH);
    EXPECT_GT(login("127.0.0.3", newPort, "n3u"), 0);

    std::string error;
    ASSERT_TRUE(m_store->sync(error)) << error;
    const auto saved = CameraStore::load(m_dir / "state.json");
    ASSERT_TRUE(saved.cameras) << saved.error;
    const Camera& c = saved.cameras->at(1);
    EXPECT_EQ(c.name, name);
    EXPECT_EQ(c.password, "n3u");
    EXPECT_EQ(c.net.httpPort, newPort);
    EXPECT_EQ(c.deviceConfig["ports"]["rtsp1"], 1554);
    nlohmann::json untouched = saved.cameras->at(0).deviceConfig;
    untouched.erase("tls");
    EXPECT_EQ(untouched, nlohmann::json::object())
        << "a camera nobody configured keeps an API state of its TLS identity alone";
}

TEST_F(StoreApi, AnUpgradeRebootsTheCameraSilentOnTheWireAndBackWithItsNewVersion) {
    const int handle = login("127.0.0.4", m_port);
    ASSERT_GT(handle, 0);
    const auto image = m_dir / "QVFImage_21.bin";
    std::ofstream(image) << "QVFW:13.9.0.1\n" << std::string(4096, 'x');
    const auto before = Clock::now();
    ASSERT_EQ(Qv_Ipc_UpdateFirmware(handle, image.c_str()), 0) << Qv_Sdk_GetLastError();
    ASSERT_EQ(m_rebooted, std::vector<std::size_t>{2});
    const auto during = search(Clock::now());
    EXPECT_EQ(during.size(), 2u);
    EXPECT_EQ(during.count(2), 0u);
    EXPECT_EQ(search(before + kSilence - 50ms).count(2), 0u);
    const auto after = search(Clock::now() + kSilence + 50ms);
    ASSERT_EQ(after.count(2), 1u);
    EXPECT_EQ(after.at(2).version, "13.9.0.1");
    EXPECT_EQ(after.at(0).version, "13.1.0.5");
}

TEST_F(StoreApi, FindsACameraMovedByARawEthernetModifyAndItsFaultsGoAlong) {
    ASSERT_GT(login("127.0.0.2", m_port), 0);
    m_server->setFaults({"127.0.0.2", m_port}, FaultPlan{.refuseCall = "picture.set"});
    const int newPort = freePort();
    m_store->withCamera(0, [&](Camera& c) {
        c.net.ip = 0x7f000009; // 127.0.0.9
        c.net.httpPort = static_cast<std::uint16_t>(newPort);
    });
    EXPECT_FALSE(m_host->withCamera({"127.0.0.2", m_port}, [](CameraState&) { return false; }));
    EXPECT_EQ(m_host->indexOf({"127.0.0.9", newPort}), 0u);
    ASSERT_TRUE(m_server->sync());
    const int moved = login("127.0.0.9", newPort);
    EXPECT_GT(moved, 0) << Qv_Sdk_GetLastError();
    QvImagingSettings picture{1, 2, 3};
    EXPECT_NE(Qv_Ipc_SetImagingSettings(moved, &picture), 0) << "the fault is the camera's";
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_REJECTED);
    EXPECT_EQ(login("127.0.0.2", m_port), -1);
    // The other cameras are where they were.
    EXPECT_GT(login("127.0.0.3", m_port), 0);
}

TEST_F(StoreApi, CamerasSharingAnAddressAreReachedThroughTheFirst) {
    m_store->withCamera(2, [](Camera& c) { c.net.ip = 0x7f000003; });
    EXPECT_EQ(m_host->indexOf({"127.0.0.3", m_port}), 1u);
    std::string seen;
    EXPECT_TRUE(m_host->withCamera({"127.0.0.3", m_port}, [&](CameraState& s) {
        seen = s.identity.deviceName;
        return false;
    }));
    EXPECT_EQ(seen, "Cam 02");
    EXPECT_FALSE(m_host->withCamera({"127.0.0.3", 0}, [](CameraState&) { return false; }));
    EXPECT_FALSE(
        m_host->withCamera({"not an address", m_port}, [](CameraState&) { return false; }));
}

TEST_F(StoreApi, ControlChannelReadsCamerasAndOrdersFaults) {
    const auto path = (m_dir / "control.sock").string();
    Control control(*m_store, *m_host, *m_server);
    ControlServer channel;
    std::string error;
    ASSERT_TRUE(channel.start(
        path, [&control](const std::string& r) { return control.handle(r); }, error))
        << error;

    auto answer = nlohmann::json::parse(controlRequest(path, R"({"op":"get","camera":2})"));
    EXPECT_EQ(answer["camera"]["name"], "Cam 02");
    EXPECT_EQ(answer["camera"]["ip"], "127.0.0.3");
    EXPECT_EQ(answer["camera"]["rebooting"], false);
    answer = nlohmann::json::parse(controlRequest(path, R"({"op":"get"})"));
    EXPECT_EQ(answer["cameras"].size(), 3u);

    answer = nlohmann::json::parse(
        controlRequest(path, R"({"op":"faults","camera":1,"faults":{"refuse_credentials":true}})"));
    EXPECT_EQ(answer["ok"], true);
    EXPECT_EQ(login("127.0.0.2", m_port), -1);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_AUTH);
    EXPECT_GT(login("127.0.0.3", m_port), 0) << "faults belong to one camera";
    controlRequest(path, R"({"op":"faults","camera":1,"faults":{}})");
    EXPECT_GT(login("127.0.0.2", m_port), 0);

    // What the camera received, as the control channel reads it.
    const int handle = login("127.0.0.2", m_port);
    QvImagingSettings picture{1, 2, 3};
    ASSERT_EQ(Qv_Ipc_SetImagingSettings(handle, &picture), 0);
    answer = nlohmann::json::parse(controlRequest(path, R"({"op":"get","camera":1})"));
    EXPECT_EQ(answer["camera"]["deviceConfig"]["picture"],
              (nlohmann::json{{"brightness", 1}, {"contrast", 2}, {"saturation", 3}}));

    // Idle clients hold nobody up; an oversized request gets an answer.
    std::vector<UniqueFd> idle;
    for (int i = 0; i < 12; ++i) {
        idle.emplace_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        ASSERT_EQ(
            ::connect(idle.back().get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    const auto asked = std::chrono::steady_clock::now();
    answer = nlohmann::json::parse(controlRequest(path, R"({"op":"get","camera":3})"));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms);
    EXPECT_EQ(answer["camera"]["number"], 3);
    answer =
        nlohmann::json::parse(controlRequest(path, std::string(70 * 1024, ' ')), nullptr, false);
    EXPECT_NE(answer.value("error", "").find("longer than"), std::string::npos) << answer.dump();

    for (const char* bad : {"", "[]", R"({"op":"get","camera":4})", R"({"op":"get","camera":0})",
                            R"({"op":"faults"})", R"({"op":"reboot","camera":1})",
                            R"({"op":"faults","camera":1,"faults":{"stall":true}})"}) {
        SCOPED_TRACE(bad);
        answer = nlohmann::json::parse(controlRequest(path, bad), nullptr, false);
        EXPECT_TRUE(answer.contains("error")) << answer.dump();
    }
    channel.stop();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(FaultPlanFromJson, EveryFaultAndItsLimits) {
    std::string error;
    const auto plan = faultPlanFromJson({{"refuse_credentials", true},
                                         {"delay_ms", 5},
                                         {"trickle_ms", 7},
                                         {"stall_ms", 9},
                                         {"close_midway", true},
                                         {"malformed_json", true},
                                         {"huge_answer", true},
                                         {"fail_call", "ports.get"},
                                         {"refuse_call", "ddns.set"},
                                         {"http_down", true},
                                         {"silent", true},
                                         {"upload_rate", 4096}},
                                        error);
    ASSERT_TRUE(plan) << error;
    EXPECT_TRUE(plan->refuseCredentials);
    EXPECT_EQ(plan->delay, 5ms);
    EXPECT_TRUE(plan->trickle);
    EXPECT_EQ(plan->trickleInterval, 7ms);
    EXPECT_TRUE(plan->stallAfterHeaders);
    EXPECT_EQ(plan->stallLimit, 9ms);
    EXPECT_TRUE(plan->closeMidway);
    EXPECT_TRUE(plan->malformedJson);
    EXPECT_TRUE(plan->hugeAnswer);
    EXPECT_EQ(plan->failCall, "ports.get");
    EXPECT_EQ(plan->refuseCall, "ddns.set");
    EXPECT_TRUE(plan->httpDown && plan->silent);
    EXPECT_EQ(plan->uploadBytesPerSecond, 4096u);

    const auto none = faultPlanFromJson(nlohmann::json::object(), error);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->trickle || none->stallAfterHeaders || none->refuseCredentials);

    for (const auto& bad : {nlohmann::json{{"delay_ms", 0}}, nlohmann::json{{"delay_ms", 600001}},
                            nlohmann::json{{"delay_ms", "5"}}, nlohmann::json{{"trickle", true}},
                            nlohmann::json{{"close_midway", 1}}, nlohmann::json{{"fail_call", 3}},
                            nlohmann::json{{"upload_rate", 0}}, nlohmann::json{{"silent", "yes"}},
                            nlohmann::json::array()}) {
        error.clear();
        EXPECT_FALSE(faultPlanFromJson(bad, error)) << bad.dump();
        EXPECT_FALSE(error.empty());
    }
}
