// The device API over TLS as an outside client sees it: every camera its own
// certificate named by its MAC, the same routes and Digest as over plain
// HTTP, the identity kept through a restart and a factory restore and
// replaced on order. Clients: OpenSSL for the certificate, libcurl (pinned by
// the control channel's tlsPin) for the calls. On loopback, no root.

#include "FreePort.h"
#include "TlsClient.h"
#include "api/Control.h"
#include "api/StoreDeviceApiHost.h"
#include "camsim/httpapi/TlsIdentity.h"
#include "core/Config.h"

#include "qvipcsdk/QvIpcSdk.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <thread>

using namespace camsim;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr std::chrono::milliseconds kSilence{300};

class TlsApi : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/camsim-tls.XXXXXX";
        m_dir = ::mkdtemp(templ);
        SimConfig c;
        c.cameras = 3;
        c.firstIp = 0x7f000002; // 127.0.0.2
        c.lastIp = 0x7f000010;
        c.httpPort = static_cast<std::uint16_t>(freePort());
        c.tlsPort = static_cast<std::uint16_t>(freePort());
        c.password = "s3cret";
        c.names = {"Cam {n}"};
        c.models = {{"QVIP3651", ""}};
        c.versions = {"13.1.0.5"};
        m_port = c.httpPort;
        m_tlsPort = c.tlsPort;
        open(makeCameras(c));
    }

    void open(std::vector<Camera> cameras) {
        m_store.emplace(std::move(cameras), m_dir / "state.json");
        std::string error;
        ASSERT_TRUE(m_store->save(error)) << error;
        m_host.emplace(*m_store);
        DeviceApiOptions options;
        options.bindDevice = "lo";
        options.rebootSilence = kSilence;
        m_server.emplace(*m_host, options);
        ASSERT_TRUE(m_server->start());
        m_control.emplace(*m_store, *m_host, *m_server);
    }

    // A restart of the simulator from its state file, changed by `edit`.
    void restart(const std::function<void(std::vector<Camera>&)>& edit = {}) {
        m_control.reset();
        m_server.reset();
        m_host.reset();
        m_store.reset();
        auto loaded = CameraStore::load(m_dir / "state.json");
        ASSERT_TRUE(loaded.cameras) << loaded.error;
        if (edit)
            edit(*loaded.cameras);
        open(std::move(*loaded.cameras));
    }

    void TearDown() override {
        m_control.reset();
        m_server.reset();
        std::filesystem::remove_all(m_dir);
    }

    json control(const json& request) { return json::parse(m_control->handle(request.dump())); }

    json camera(int number) { return control({{"op", "get"}, {"camera", number}})["camera"]; }

    std::string pin(int number) { return camera(number)["tlsPin"].get<std::string>(); }

    std::string https(const std::string& ip, const std::string& path) const {
        return "https://" + ip + ":" + std::to_string(m_tlsPort) + path;
    }

    std::filesystem::path m_dir;
    int m_port = 0;
    int m_tlsPort = 0;
    std::optional<CameraStore> m_store;
    std::optional<StoreDeviceApiHost> m_host;
    std::optional<DeviceApiServer> m_server;
    std::optional<Control> m_control;
};

} // namespace

TEST_F(TlsApi, EveryCameraPresentsItsOwnCertificateAndServesTheApiWithDigest) {
    const std::string first = peerCertificate("127.0.0.2", m_tlsPort);
    const std::string second = peerCertificate("127.0.0.3", m_tlsPort);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_NE(tls::pinOf(first), tls::pinOf(second)) << "each camera has a key of its own";
    EXPECT_EQ(tls::commonNameOf(first), "02:4F:56:10:00:01");
    EXPECT_EQ(tls::commonNameOf(second), "02:4F:56:10:00:02");
    EXPECT_EQ(camera(1)["tlsPort"], m_tlsPort);
    EXPECT_EQ(pin(1), tls::pinOf(first));
    EXPECT_FALSE(camera(1)["deviceConfig"]["tls"].contains("key")) << "the key stays inside";
    EXPECT_TRUE(peerCertificate("127.0.0.2", m_tlsPort, TLS1_1_VERSION).empty())
        << "TLS 1.2 at least";

    // libcurl checks the pin in its own way: the pin form is its form.
    const Answer device = curlGet(https("127.0.0.2", "/api/v1/device"), pin(1), "s3cret");
    ASSERT_EQ(device.code, CURLE_OK) << curl_easy_strerror(device.code);
    EXPECT_EQ(device.status, 200);
    EXPECT_EQ(json::parse(device.body).value("model", ""), camera(1)["model"]);
    EXPECT_EQ(curlGet(https("127.0.0.2", "/api/v1/device"), pin(2), "s3cret").code,
              CURLE_SSL_PINNEDPUBKEYNOTMATCH);
    const Answer wrong = curlGet(https("127.0.0.3", "/api/v1/network/ports"), pin(2), "nope");
    EXPECT_EQ(wrong.code, CURLE_OK);
    EXPECT_EQ(wrong.status, 401);
    // A call that changes the camera, over TLS, shows over plain HTTP.
    const int handle = Qv_Ipc_Login("127.0.0.3", "", m_port, "admin", "s3cret", 0);
    ASSERT_GT(handle, 0);
    QvPortInfo ports{};
    ASSERT_EQ(Qv_Ipc_GetPortInfo(handle, &ports), 0);
    const Answer secure = curlGet(https("127.0.0.3", "/api/v1/network/ports"), pin(2), "s3cret");
    ASSERT_EQ(secure.status, 200);
    EXPECT_EQ(json::parse(secure.body).value("rtsp1", 0), ports.rtspPort1);

    // Faults hold on both listeners: a camera whose web service is down
    // takes no TLS connection either, the others do.
    ASSERT_EQ(control({{"op", "faults"}, {"camera", 2}, {"faults", {{"http_down", true}}}}),
              json({{"ok", true}}));
    EXPECT_TRUE(peerCertificate("127.0.0.3", m_tlsPort).empty());
    EXPECT_FALSE(peerCertificate("127.0.0.4", m_tlsPort).empty());
    struct stat status {};
    ASSERT_EQ(::stat((m_dir / "state.json").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "the state file holds the keys";
}

TEST_F(TlsApi, TheIdentityOutlivesRestartAndRestoreAndIsReplacedOnOrder) {
    const std::string before = tls::pinOf(peerCertificate("127.0.0.2", m_tlsPort));
    ASSERT_EQ(before, pin(1));
    restart();
    EXPECT_EQ(tls::pinOf(peerCertificate("127.0.0.2", m_tlsPort)), before);

    const int handle = Qv_Ipc_Login("127.0.0.2", "", m_port, "admin", "s3cret", 0);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(Qv_Ipc_RestoreSystem(handle), 0);
    EXPECT_TRUE(peerCertificate("127.0.0.2", m_tlsPort).empty()) << "silent while it restarts";
    std::this_thread::sleep_for(kSilence + 100ms);
    EXPECT_EQ(tls::pinOf(peerCertificate("127.0.0.2", m_tlsPort)), before);
    EXPECT_EQ(camera(1)["deviceConfig"]["tls"]["port"], m_tlsPort);

    const json renewed = control({{"op", "renew-identity"}, {"camera", 1}});
    ASSERT_EQ(renewed.value("ok", false), true) << renewed.dump();
    const std::string after = tls::pinOf(peerCertificate("127.0.0.2", m_tlsPort));
    EXPECT_NE(after, before);
    EXPECT_EQ(after, renewed["camera"]["tlsPin"]);
    EXPECT_EQ(tls::commonNameOf(peerCertificate("127.0.0.2", m_tlsPort)), "02:4F:56:10:00:01");
    EXPECT_EQ(camera(2)["tlsPin"], tls::pinOf(peerCertificate("127.0.0.3", m_tlsPort)))
        << "the other cameras keep theirs";
    restart();
    EXPECT_EQ(tls::pinOf(peerCertificate("127.0.0.2", m_tlsPort)), after);
}

TEST_F(TlsApi, TheTlsRouteAnswersWithoutLoginAndFollowsThePortOrders) {
    for (const std::string& url : {"http://127.0.0.2:" + std::to_string(m_port) + "/api/v1/tls",
                                   https("127.0.0.2", "/api/v1/tls")}) {
        const Answer answer = curlGet(url, pin(1));
        EXPECT_EQ(answer.status, 200) << url;
        EXPECT_EQ(answer.body, json({{"port", m_tlsPort}}).dump()) << url;
    }

    // An older firmware: no TLS at all, and the route says so.
    const json off = control({{"op", "tls-port"}, {"camera", 2}, {"port", 0}});
    ASSERT_EQ(off.value("ok", false), true) << off.dump();
    EXPECT_EQ(off["camera"]["tlsPort"], 0);
    const Answer none =
        curlGet("http://127.0.0.3:" + std::to_string(m_port) + "/api/v1/tls", std::string());
    EXPECT_EQ(none.status, 404);
    EXPECT_EQ(none.body, json({{"error", "not offered"}}).dump());
    EXPECT_TRUE(peerCertificate("127.0.0.3", m_tlsPort).empty());
    EXPECT_FALSE(peerCertificate("127.0.0.2", m_tlsPort).empty());

    // Another port: a listener opens for it, and the old one no longer
    // leads to the camera.
    const int moved = freePort();
    ASSERT_EQ(control({{"op", "tls-port"}, {"camera", 2}, {"port", moved}}).value("ok", false),
              true);
    const Answer there =
        curlGet("https://127.0.0.3:" + std::to_string(moved) + "/api/v1/device", pin(2), "s3cret");
    EXPECT_EQ(there.status, 200) << curl_easy_strerror(there.code);
    EXPECT_TRUE(peerCertificate("127.0.0.3", m_tlsPort).empty());
    EXPECT_EQ(curlGet("http://127.0.0.3:" + std::to_string(m_port) + "/api/v1/tls", "").body,
              json({{"port", moved}}).dump());

    EXPECT_TRUE(control({{"op", "tls-port"}, {"camera", 2}, {"port", 70000}}).contains("error"));
    EXPECT_TRUE(control({{"op", "tls-port"}, {"camera", 2}}).contains("error"));
    EXPECT_TRUE(control({{"op", "renew-identity"}}).contains("error"));
    // Only GET has the route.
    EXPECT_EQ(curlGet("http://127.0.0.2:" + std::to_string(m_port) + "/api/v1/tls/x", "").status,
              404);
}

TEST_F(TlsApi, AnIdentityMissingOrUnreadableInTheStateIsMadeAnew) {
    const std::string kept = pin(1);
    restart([this](std::vector<Camera>& cameras) {
        cameras[1].deviceConfig["tls"] = {{"port", m_tlsPort}};
        cameras[2].deviceConfig["tls"]["cert"] = "-----BEGIN CERTIFICATE-----\nbroken\n";
    });
    EXPECT_EQ(tls::pinOf(peerCertificate("127.0.0.2", m_tlsPort)), kept);
    for (const auto& [ip, number] : {std::pair{"127.0.0.3", 2}, {"127.0.0.4", 3}}) {
        const std::string cert = peerCertificate(ip, m_tlsPort);
        ASSERT_FALSE(cert.empty()) << ip;
        EXPECT_EQ(tls::commonNameOf(cert), "02:4F:56:10:00:0" + std::to_string(number));
        EXPECT_EQ(tls::pinOf(cert), pin(number)) << "and keeps it: " << ip;
        const json stored = m_store->viewCamera(static_cast<std::size_t>(number - 1),
                                                [](const Camera& c) { return c.deviceConfig; });
        EXPECT_TRUE(tls::usable(stored)) << "saved, key and certificate a pair: " << ip;
        EXPECT_EQ(stored["tls"]["cert"], cert);
    }
}
