// ONVIF over HTTPS as an outside client sees it: the camera's one TLS port
// answers SOAP under /onvif/ beside the device API, with the same key (libcurl
// pinned by the control channel's tlsPin), the same security and faults as
// the ONVIF port, XAddrs in the scheme the client asked with, and the HTTPS
// port reported and moved through ONVIF. Wired as the executable wires it,
// on loopback, no root.

#include "FreePort.h"
#include "SoapEnvelope.h"
#include "TlsClient.h"
#include "api/Control.h"
#include "api/StoreDeviceApiHost.h"
#include "camsim/httpapi/CameraConfig.h"
#include "camsim/httpapi/TlsIdentity.h"
#include "core/Config.h"
#include "onvif/OnvifServer.h"

#include <gtest/gtest.h>

#include <thread>

using namespace camsim;
using namespace camsim::onvif;
using namespace camsim::onvif::test;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr std::chrono::milliseconds kSilence{300};
constexpr const char* kPassword = "s3cret";

class OnvifTls : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/camsim-onvif-tls.XXXXXX";
        m_dir = ::mkdtemp(templ);
        // A free port can be taken by another test process before the
        // servers bind it: the whole set is tried again with new ports.
        for (int attempt = 0; attempt < 5 && !startOnce(); ++attempt) {
            stopServers();
            std::filesystem::remove(m_dir / "state.json");
        }
        ASSERT_TRUE(m_server && m_onvif) << "no free set of ports in five tries";
        m_control.emplace(*m_store, *m_host, *m_server);
    }

    bool startOnce() {
        SimConfig c;
        c.cameras = 2;
        c.firstIp = 0x7f000002; // 127.0.0.2
        c.lastIp = 0x7f000010;
        c.httpPort = static_cast<std::uint16_t>(freePort());
        c.tlsPort = static_cast<std::uint16_t>(freePort());
        c.password = kPassword;
        c.names = {"Cam {n}"};
        c.models = {{"QVIP3651", ""}};
        c.versions = {"13.1.0.5"};
        OnvifModel other;
        other.maker = "Lumora";
        other.model = "LX-40";
        other.macBase = {0x02, 0x6c, 0x75, 0, 0, 0};
        other.versions = {"2.1.4"};
        other.onvifPort = static_cast<std::uint16_t>(freePort());
        other.tlsPort = static_cast<std::uint16_t>(freePort());
        c.onvifModels = {other};
        m_http = c.httpPort;
        m_tls = c.tlsPort;
        m_otherOnvif = other.onvifPort;
        m_otherTls = other.tlsPort;
        // The maker's factory ONVIF port (8000) may be taken on this machine.
        m_onvifPort = freePort();
        auto cameras = makeCameras(c);
        for (int i = 0; i < c.cameras; ++i) {
            json& config = cameras[static_cast<std::size_t>(i)].deviceConfig;
            const json tlsSection = config["tls"];
            config = api::factoryConfig(m_http);
            config["ports"]["onvif"] = m_onvifPort;
            config["tls"] = tlsSection;
        }
        m_store.emplace(std::move(cameras), m_dir / "state.json");

        m_host.emplace(*m_store, [this](std::size_t camera, std::chrono::milliseconds) {
            m_service->startReboot(camera);
        });
        DeviceApiOptions api;
        api.bindDevice = "lo";
        api.rebootSilence = kSilence;
        m_server.emplace(*m_host, api);
        OnvifOptions options;
        options.rebootSilence = kSilence;
        options.down = [this](std::size_t camera) {
            return m_server->isSilent(m_host->keyOf(camera));
        };
        m_service.emplace(*m_store, options);
        OnvifServerHooks hooks;
        hooks.reboot = [this](std::size_t camera) { m_server->startReboot(m_host->keyOf(camera)); };
        hooks.changed = [this](std::size_t) { m_server->sync(); };
        hooks.tlsChanged = [this](std::size_t) { m_server->refreshTls(); };
        m_onvif.emplace(*m_service, "lo", hooks);
        m_server->setHttpsTenant(kOnvifMaxRequest, [this](const HttpsTenantRequest& request) {
            return m_onvif->serveTls(request);
        });
        return m_server->start() && m_onvif->start();
    }

    void stopServers() {
        // The TLS listeners' workers call into the ONVIF server: they go first.
        if (m_server) {
            m_server->stop();
        }
        m_onvif.reset();
        m_server.reset();
        m_service.reset();
        m_host.reset();
        m_store.reset();
    }

    void TearDown() override {
        m_control.reset();
        stopServers();
        std::filesystem::remove_all(m_dir);
    }

    json control(const json& request) { return json::parse(m_control->handle(request.dump())); }
    json camera(int number) { return control({{"op", "get"}, {"camera", number}})["camera"]; }
    std::string pin(int number) { return camera(number)["tlsPin"].get<std::string>(); }

    // A SOAP call of camera `number` at url, with a fresh UsernameToken made
    // against the camera's clock unless `token` is false.
    Answer soapCall(int number, const std::string& url, const std::string& pinned,
                    const std::string& body, bool token = true,
                    const std::string& password = kPassword) {
        Token t;
        t.password = password;
        t.nonce = "nonce-" + std::to_string(++m_nonces);
        const auto now = m_service->cameraNow(static_cast<std::size_t>(number - 1));
        return curlPost(url, pinned,
                        soap(body, token ? std::optional<Token>(t) : std::nullopt, now));
    }

    static std::string https(const std::string& ip, int port, const std::string& path) {
        return "https://" + ip + ":" + std::to_string(port) + path;
    }
    static std::string http(const std::string& ip, int port, const std::string& path) {
        return "http://" + ip + ":" + std::to_string(port) + path;
    }
    // What GetNetworkProtocols says of one protocol: "true 443", "false 443".
    static std::string protocol(const std::string& xml, const std::string& name) {
        std::smatch m;
        const std::regex re("<tt:Name>" + name +
                            "</tt:Name><tt:Enabled>([a-z]+)</tt:Enabled>((?:<tt:Port>[0-9]+</"
                            "tt:Port>)*)");
        if (!std::regex_search(xml, m, re))
            return "<none>";
        std::string out = m[1].str();
        const std::string ports = m[2].str();
        const std::regex port("<tt:Port>([0-9]+)</tt:Port>");
        for (auto it = std::sregex_iterator(ports.begin(), ports.end(), port);
             it != std::sregex_iterator(); ++it)
            out += " " + (*it)[1].str();
        return out;
    }

    std::filesystem::path m_dir;
    int m_http = 0;
    int m_tls = 0;
    int m_onvifPort = 0;
    int m_otherOnvif = 0;
    int m_otherTls = 0;
    int m_nonces = 0;
    std::optional<CameraStore> m_store;
    std::optional<StoreDeviceApiHost> m_host;
    std::optional<DeviceApiServer> m_server;
    std::optional<OnvifService> m_service;
    std::optional<OnvifServer> m_onvif;
    std::optional<Control> m_control;
};

} // namespace

TEST_F(OnvifTls, TheTlsPortAnswersOnvifWithTheDeviceApisKeyAndSecurity) {
    const std::string key = pin(1);
    ASSERT_EQ(tls::pinOf(peerCertificate("127.0.0.2", m_tls)), key);
    const std::string device = https("127.0.0.2", m_tls, "/onvif/device_service");

    const Answer info = soapCall(1, device, key, "<tds:GetDeviceInformation/>");
    ASSERT_EQ(info.code, CURLE_OK) << curl_easy_strerror(info.code);
    EXPECT_EQ(info.status, 200) << info.body;
    EXPECT_EQ(field(info.body, "SerialNumber"), "024F56100001");
    EXPECT_EQ(field(info.body, "Model"), "QVIP3651");
    // One key for the whole web server: the device API on the same port.
    EXPECT_EQ(curlGet(https("127.0.0.2", m_tls, "/api/v1/device"), key, kPassword).status, 200);
    EXPECT_EQ(curlPost(device, pin(2), soap("<tds:GetDeviceInformation/>", {}, {})).code,
              CURLE_SSL_PINNEDPUBKEYNOTMATCH)
        << "each camera its own key";

    // Security as on the ONVIF port: no credentials 401 with Digest
    // challenges, a wrong password's token 400 NotAuthorized, Digest works.
    const Answer none = soapCall(1, device, key, "<tds:GetDeviceInformation/>", false);
    EXPECT_EQ(none.status, 401);
    EXPECT_NE(none.body.find("ter:NotAuthorized"), std::string::npos);
    const Answer wrong = soapCall(1, device, key, "<tds:GetDeviceInformation/>", true, "guess");
    EXPECT_EQ(wrong.status, 400);
    EXPECT_NE(wrong.body.find("ter:NotAuthorized"), std::string::npos);
    const Answer digest =
        curlPost(device, key, soap("<tds:GetUsers/>", {}, {}), kPassword, "application/soap+xml");
    EXPECT_EQ(digest.status, 200) << digest.body;
    EXPECT_EQ(field(digest.body, "Username"), "admin");

    // Both faces report HTTPS on the TLS port; XAddrs follow the asking scheme.
    const std::string plain = http("127.0.0.2", m_onvifPort, "/onvif/device_service");
    for (const std::string& url : {device, plain}) {
        const std::string pinned = url == device ? key : "";
        const Answer protocols = soapCall(1, url, pinned, "<tds:GetNetworkProtocols/>");
        EXPECT_EQ(protocol(protocols.body, "HTTPS"), "true " + std::to_string(m_tls)) << url;
        EXPECT_EQ(protocol(protocols.body, "HTTP"),
                  "true " + std::to_string(m_onvifPort) + " " + std::to_string(m_http))
            << url;
    }
    EXPECT_EQ(field(soapCall(1, device, key, "<tds:GetServices/>", false).body, "XAddr"),
              https("127.0.0.2", m_tls, "/onvif/device_service"));
    EXPECT_EQ(field(soapCall(1, device, key, "<tds:GetCapabilities/>", false).body, "XAddr"),
              https("127.0.0.2", m_tls, "/onvif/device_service"));
    EXPECT_EQ(field(soapCall(1, plain, "", "<tds:GetServices/>", false).body, "XAddr"), plain);
    EXPECT_NE(
        soapCall(1, plain, "", "<tds:GetServiceCapabilities/>", false).body.find("TLS1.2=\"true\""),
        std::string::npos);
    // As on the ONVIF port any path takes SOAP (clients post to paths of
    // their own), except the device API's; a GET is no SOAP call.
    EXPECT_EQ(soapCall(1, https("127.0.0.2", m_tls, "/deviceIO"), key, "<tds:GetHostname/>").status,
              200);
    EXPECT_EQ(
        soapCall(1, https("127.0.0.2", m_tls, "/api/v1/device"), key, "<tds:GetHostname/>").status,
        405);
    EXPECT_EQ(curlGet(device, key).status, 404);
}

TEST_F(OnvifTls, RenewedKeyAndMovedHttpsPortShowOnBothFaces) {
    const std::string before = pin(1);
    const std::string renewed =
        control({{"op", "renew-identity"}, {"camera", 1}})["camera"]["tlsPin"].get<std::string>();
    ASSERT_NE(renewed, before);
    const std::string device = https("127.0.0.2", m_tls, "/onvif/device_service");
    EXPECT_EQ(soapCall(1, device, before, "<tds:GetDeviceInformation/>").code,
              CURLE_SSL_PINNEDPUBKEYNOTMATCH);
    EXPECT_EQ(soapCall(1, device, renewed, "<tds:GetDeviceInformation/>").status, 200);

    std::string at = device; // where the camera answers HTTPS
    const auto setProtocols = [&](const std::string& https) {
        return soapCall(1, at, renewed,
                        "<tds:SetNetworkProtocols><tds:NetworkProtocols><tt:Name>HTTP</"
                        "tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>" +
                            std::to_string(m_onvifPort) + "</tt:Port><tt:Port>" +
                            std::to_string(m_http) +
                            "</tt:Port></tds:NetworkProtocols><tds:NetworkProtocols>" + https +
                            "</tds:NetworkProtocols></tds:SetNetworkProtocols>");
    };
    // Refused, and nothing changes: the HTTPS port on an HTTP port, two of them.
    for (const std::string& bad :
         {"<tt:Name>HTTPS</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>" +
              std::to_string(m_http) + "</tt:Port>",
          std::string("<tt:Name>HTTPS</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>4431</"
                      "tt:Port><tt:Port>4432</tt:Port>")}) {
        const Answer refused = setProtocols(bad);
        EXPECT_EQ(refused.status, 400) << bad;
        EXPECT_NE(refused.body.find("ter:InvalidArgVal"), std::string::npos) << refused.body;
    }
    EXPECT_EQ(camera(1)["tlsPort"], m_tls);

    // Moved over HTTPS itself: the answer leaves on the old port, the
    // camera's web server (ONVIF and device API) is then at the new one only.
    const int moved = freePort();
    const Answer move = setProtocols("<tt:Name>HTTPS</tt:Name><tt:Enabled>true</"
                                     "tt:Enabled><tt:Port>" +
                                     std::to_string(moved) + "</tt:Port>");
    ASSERT_EQ(move.status, 200) << move.body;
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(camera(1)["tlsPort"], moved);
    EXPECT_EQ(curlGet(http("127.0.0.2", m_http, "/api/v1/tls"), "").body,
              json({{"port", moved}}).dump());
    at = https("127.0.0.2", moved, "/onvif/device_service");
    EXPECT_EQ(soapCall(1, at, renewed, "<tds:GetDeviceInformation/>").status, 200);
    EXPECT_EQ(curlGet(https("127.0.0.2", moved, "/api/v1/device"), renewed, kPassword).status, 200);
    EXPECT_TRUE(peerCertificate("127.0.0.2", m_tls).empty());
    EXPECT_FALSE(peerCertificate("127.0.0.3", m_tls).empty()) << "the other camera stays";

    // Switched off: an older firmware's camera, on both faces.
    ASSERT_EQ(setProtocols("<tt:Name>HTTPS</tt:Name><tt:Enabled>false</tt:Enabled>").status, 200);
    std::this_thread::sleep_for(300ms);
    const std::string plain = http("127.0.0.2", m_onvifPort, "/onvif/device_service");
    EXPECT_EQ(protocol(soapCall(1, plain, "", "<tds:GetNetworkProtocols/>").body, "HTTPS"),
              "false 443");
    EXPECT_EQ(curlGet(http("127.0.0.2", m_http, "/api/v1/tls"), "").status, 404);
    EXPECT_TRUE(peerCertificate("127.0.0.2", moved).empty());
}

TEST_F(OnvifTls, AnotherMakersCameraServesOnlyOnvifOnItsOwnTlsPort) {
    const std::string cert = peerCertificate("127.0.0.4", m_otherTls);
    ASSERT_FALSE(cert.empty());
    EXPECT_EQ(tls::commonNameOf(cert), "02:6C:75:00:00:01");
    EXPECT_EQ(tls::pinOf(cert), pin(3));
    EXPECT_TRUE(peerCertificate("127.0.0.4", m_tls).empty()) << "the maker's TLS port is not its";

    const std::string device = https("127.0.0.4", m_otherTls, "/onvif/device_service");
    const Answer info = soapCall(3, device, pin(3), "<tds:GetDeviceInformation/>");
    EXPECT_EQ(info.status, 200) << curl_easy_strerror(info.code);
    EXPECT_EQ(field(info.body, "Manufacturer"), "Lumora");
    EXPECT_EQ(field(soapCall(3, device, pin(3), "<tds:GetCapabilities/>", false).body, "XAddr"),
              device);
    const Answer protocols = soapCall(3, device, pin(3), "<tds:GetNetworkProtocols/>");
    EXPECT_EQ(protocol(protocols.body, "HTTPS"), "true " + std::to_string(m_otherTls));
    EXPECT_EQ(protocol(protocols.body, "HTTP"), "true " + std::to_string(m_otherOnvif));
    // Its web server has no device API.
    for (const char* path : {"/api/v1/device", "/api/v1/tls"})
        EXPECT_EQ(curlGet(https("127.0.0.4", m_otherTls, path), pin(3), kPassword).status, 404)
            << path;
}

TEST_F(OnvifTls, FirmwareRebootAndFaultsFollowTheCameraOverHttps) {
    const std::string key = pin(2);
    const std::string device = https("127.0.0.3", m_tls, "/onvif/device_service");
    const std::string plain = http("127.0.0.3", m_onvifPort, "/onvif/device_service");

    // The device API's http_down takes the whole web server down, TLS too.
    ASSERT_EQ(control({{"op", "faults"}, {"camera", 2}, {"faults", {{"http_down", true}}}}),
              json({{"ok", true}}));
    EXPECT_NE(soapCall(2, device, key, "<tds:GetDeviceInformation/>").code, CURLE_OK);
    control({{"op", "faults"}, {"camera", 2}, {"faults", json::object()}});
    EXPECT_EQ(soapCall(2, device, key, "<tds:GetDeviceInformation/>").status, 200);
    // The device API's delay is not ONVIF's.
    control({{"op", "faults"}, {"camera", 2}, {"faults", {{"delay_ms", 3000}}}});
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(soapCall(2, device, key, "<tds:GetDeviceInformation/>").status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    control({{"op", "faults"}, {"camera", 2}, {"faults", json::object()}});

    // Asked over HTTPS, the upload address is on the TLS port.
    const Answer start = soapCall(2, device, key, "<tds:StartFirmwareUpgrade/>");
    const std::string uri = field(start.body, "UploadUri");
    ASSERT_EQ(uri.rfind(https("127.0.0.3", m_tls, "/onvif/firmware/"), 0), 0u) << start.body;
    EXPECT_EQ(curlPost(uri, key, "FW QVIP9999 13.1.0.9\nimage", nullptr, "application/octet-stream")
                  .status,
              409)
        << "another model's image";
    const std::string again =
        field(soapCall(2, device, key, "<tds:StartFirmwareUpgrade/>").body, "UploadUri");
    const Answer taken = curlPost(again, key, "FW QVIP3651 13.1.0.9\n" + std::string(200000, 'x'),
                                  nullptr, "application/octet-stream");
    ASSERT_EQ(taken.status, 200) << taken.body;
    // Rebooting: silent on both faces and at the handshake.
    EXPECT_TRUE(peerCertificate("127.0.0.3", m_tls).empty());
    EXPECT_NE(soapCall(2, plain, "", "<tds:GetSystemDateAndTime/>", false).code, CURLE_OK);
    std::this_thread::sleep_for(kSilence + 150ms);
    const Answer back = soapCall(2, device, key, "<tds:GetDeviceInformation/>");
    EXPECT_EQ(field(back.body, "FirmwareVersion"), "13.1.0.9") << curl_easy_strerror(back.code);
    EXPECT_EQ(camera(2)["version"], "13.1.0.9");
}
