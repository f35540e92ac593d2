// Cameras trusted by their TLS key: the SDK's trusted login against
// simulated cameras on loopback (one offering TLS, one plain), and the
// maker's driver keeping and checking keys in a pin file.

#include "TestCameras.h"
#include "camsim/httpapi/TlsIdentity.h"
#include "jobs/JobTypes.h"
#include "protocols/qv/QvDriver.h"
#include "services/PinFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace orv::device;
namespace fs = std::filesystem;

namespace {

constexpr const char* kMac = "02:00:5E:00:00:01";

class Trust : public ::testing::Test {
protected:
    void SetUp() override {
        Qv_Sdk_Init();
        // Another test process may take a free port between the look and
        // the listen: another port then.
        bool listening = false;
        for (int attempt = 0; attempt < 5 && !listening; ++attempt) {
            m_tlsPort = testcams::freePort();
            editConfig(
                [this](nlohmann::json& config) { camsim::tls::setPort(config, kMac, m_tlsPort); });
            listening = m_lab.server.refreshTls();
        }
        ASSERT_TRUE(listening);
    }
    void TearDown() override { Qv_Sdk_Destroy(); }

    void editConfig(const std::function<void(nlohmann::json&)>& edit) {
        m_lab.host.withCamera(m_lab.key(0), [&](camsim::CameraState& state) {
            edit(state.config);
            return true;
        });
        m_lab.server.refreshTls();
    }
    std::string cameraPin() {
        const auto camera = m_lab.host.snapshot(m_lab.key(0));
        return camsim::tls::pinOf(camera->config["tls"]["cert"].get<std::string>());
    }
    int login(int camera, QvTrust& trust, const char* password = testcams::kPassword) {
        return Qv_Ipc_LoginTrusted(m_lab.ip(camera).c_str(), m_lab.port(), "admin", password,
                                   &trust);
    }
    static QvTrust pinned(const std::string& pin, int port) {
        QvTrust trust{};
        std::strncpy(trust.pin, pin.c_str(), sizeof trust.pin - 1);
        trust.tlsPort = port;
        return trust;
    }

    testcams::Lab m_lab{2};
    int m_tlsPort = 0;
};

TEST_F(Trust, AFirstContactMovesToTlsAndLaterLoginsAreHeldToTheKey) {
    QvTrust first{};
    const int handle = login(0, first);
    ASSERT_GT(handle, 0) << Qv_Sdk_GetLastError();
    EXPECT_EQ(first.tlsPort, m_tlsPort);
    EXPECT_EQ(std::string(first.pin), cameraPin());
    QvPortInfo ports{};
    EXPECT_EQ(Qv_Ipc_GetPortInfo(handle, &ports), 0) << "calls go on over TLS";
    EXPECT_EQ(ports.httpPort, m_lab.port());

    QvTrust plain{};
    ASSERT_GT(login(1, plain), 0) << "a camera without TLS is met over plain HTTP";
    EXPECT_EQ(plain.tlsPort, 0);
    EXPECT_STREQ(plain.pin, "");

    QvTrust again = pinned(cameraPin(), m_tlsPort);
    EXPECT_GT(login(0, again), 0);
    QvTrust wrongPassword = pinned(cameraPin(), m_tlsPort);
    EXPECT_LT(login(0, wrongPassword, "nope"), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_AUTH);

    // Another key at the camera's address: refused as such even with a
    // wrong password, so the refusal came before any login was answered.
    const std::string old = cameraPin();
    editConfig([](nlohmann::json& config) { camsim::tls::renewIdentity(config, kMac); });
    QvTrust changed = pinned(old, m_tlsPort);
    EXPECT_LT(login(0, changed, "nope"), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_IDENTITY);
    EXPECT_EQ(std::string(changed.pin), old) << "untouched on failure";

    // The pinned camera that offers no TLS any more is not met over plain HTTP.
    editConfig([](nlohmann::json& config) { camsim::tls::setPort(config, kMac, 0); });
    QvTrust downgraded = pinned(old, m_tlsPort);
    EXPECT_LT(login(0, downgraded), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_IDENTITY);
    QvTrust plainPinned = pinned(old, m_tlsPort);
    EXPECT_LT(login(1, plainPinned), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_IDENTITY);
}

TEST_F(Trust, APinnedCameraThatMovedItsTlsPortIsFollowedWithTheSameKey) {
    const std::string pin = cameraPin();
    int moved = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        moved = testcams::freePort();
        editConfig([moved](nlohmann::json& config) { camsim::tls::setPort(config, kMac, moved); });
        if (m_lab.server.refreshTls()) {
            break;
        }
    }
    QvTrust trust = pinned(pin, m_tlsPort);
    ASSERT_GT(login(0, trust), 0) << Qv_Sdk_GetLastError();
    EXPECT_EQ(trust.tlsPort, moved);
    EXPECT_EQ(std::string(trust.pin), pin);

    // A camera still booting is no other camera: its TLS port cuts the
    // handshake off before it shows a key, and its web server cannot say
    // where TLS is yet (or does not answer at all). No answer, no login.
    m_lab.server.setFaults(m_lab.key(0), camsim::FaultPlan{.failCall = "tls"});
    QvTrust booting = pinned(pin, testcams::freePort());
    EXPECT_LT(login(0, booting), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_NETWORK);
    m_lab.server.setFaults(m_lab.key(0), camsim::FaultPlan{.silent = true});
    QvTrust silent = pinned(pin, moved);
    EXPECT_LT(login(0, silent), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_NETWORK);
    m_lab.server.setFaults(m_lab.key(0), camsim::FaultPlan{});

    QvTrust bad = pinned("sha256/AAAA", 0);
    EXPECT_LT(login(0, bad), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_BAD_ARGUMENT);
}

TEST_F(Trust, TheDriverKeepsAFirstKeyRefusesAnotherAndTrustsAgainOnlyWhenForgotten) {
    const fs::path dir = fs::temp_directory_path() / ("orv-pins-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const fs::path file = dir / "pins.json";
    DeviceInfo device;
    device.mac = ReadMac(kMac);
    device.address = *ParseIpv4(m_lab.ip(0));
    device.ports.http = m_lab.port();
    const Credentials login{QStringLiteral("admin"), QString::fromLatin1(testcams::kPassword)};
    {
        orv::CPinFile pins(file);
        Failure failure;
        auto session = orv::qv::OpenQvSession(device, login, failure, &pins);
        ASSERT_TRUE(session);
        EXPECT_TRUE(session->Encrypted());
        ASSERT_TRUE(pins.Find(*device.mac));
        EXPECT_EQ(pins.Find(*device.mac)->pin, cameraPin());
    }
    // Another process (the command line) reads what the window kept.
    orv::CPinFile pins(file);
    const auto kept = pins.Find(*device.mac);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->tlsPort, m_tlsPort);

    editConfig([](nlohmann::json& config) { camsim::tls::renewIdentity(config, kMac); });
    Failure failure;
    EXPECT_FALSE(orv::qv::OpenQvSession(device, login, failure, &pins));
    EXPECT_EQ(failure.fault, Fault::IdentityChanged);
    const std::string reason =
        orv::jobs::ReasonText(orv::jobs::ReasonOf(failure.fault), 0, failure.detail);
    EXPECT_EQ(reason.substr(0, 40),
              "the camera's identity changed since " + failure.detail.substr(0, 4));
    EXPECT_EQ(failure.detail.size(), 10u) << failure.detail;
    EXPECT_EQ(pins.Find(*device.mac), kept) << "a refusal keeps the old key";

    ASSERT_TRUE(pins.Forget(*device.mac));
    auto session = orv::qv::OpenQvSession(device, login, failure, &pins);
    ASSERT_TRUE(session) << "trusted again";
    EXPECT_EQ(pins.Find(*device.mac)->pin, cameraPin());
    EXPECT_NE(pins.Find(*device.mac)->pin, kept->pin);
    fs::remove_all(dir);
}

TEST(PinText, EntriesThatCannotBeUsedAreSkippedAndTheRestReadsBack) {
    const std::string pin = "sha256//" + std::string(43, 'A') + "=";
    const std::string text = R"({"pins": [
        {"mac": "02:00:5E:00:00:01", "pin": ")" +
                             pin + R"(", "tlsPort": 443, "since": "2026-12-01T10:00:00Z"},
        {"mac": "02:00:5E:00:00:02", "pin": "sha256//short=", "tlsPort": 443, "since": "2026-12-01T10:00:00Z"},
        {"mac": "bad", "pin": ")" +
                             pin + R"(", "tlsPort": 443, "since": "2026-12-01T10:00:00Z"},
        {"mac": "02:00:5E:00:00:03", "pin": ")" +
                             pin + R"(", "tlsPort": 70000, "since": "2026-12-01T10:00:00Z"},
        {"mac": "02:00:5E:00:00:04", "pin": ")" +
                             pin + R"(", "tlsPort": 443.5, "since": "2026-12-01T10:00:00Z"},
        {"mac": "02:00:5E:00:00:05", "pin": ")" +
                             pin + R"(", "tlsPort": 443, "since": "yesterday"},
        {"mac": "02:00:5E:00:00:06", "pin": ")" +
                             pin + R"(", "tlsPort": 443, "since": "9999-12-31T00:00:00Z"},
        7]})";
    const orv::PinText read = orv::ReadPins(text);
    ASSERT_TRUE(read.readable);
    EXPECT_EQ(read.skipped, 7) << "a date past the clock's range is no date";
    ASSERT_EQ(read.pins.size(), 1u);
    const orv::PinText again = orv::ReadPins(orv::WritePins(read.pins));
    EXPECT_EQ(again.pins, read.pins);
    EXPECT_EQ(again.skipped, 0);
    EXPECT_FALSE(orv::ReadPins("[]").readable);
    EXPECT_FALSE(orv::ReadPins("{\"pins\": 1}").readable);
}

TEST(PinFileTest, AnUnreadableFileIsSetAsideNotOverwrittenAndTwoWritersKeepEachOthersPins) {
    const fs::path dir = fs::temp_directory_path() / ("orv-pinfile-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "pins.json";
    std::ofstream(file) << "{ not json";
    const TrustedKey key{
        "sha256//" + std::string(43, 'B') + "=", 443,
        std::chrono::system_clock::time_point(std::chrono::seconds(1'800'000'000))};
    orv::CPinFile window(file);
    EXPECT_TRUE(fs::exists(dir / "pins.json.unreadable"));
    orv::CPinFile cli(file);
    window.Keep(*ReadMac("02:00:5E:00:00:0A"), key);
    cli.Keep(*ReadMac("02:00:5E:00:00:0B"), key);
    EXPECT_TRUE(window.Forget(*ReadMac("02:00:5E:00:00:0A")));
    EXPECT_FALSE(window.Forget(*ReadMac("02:00:5E:00:00:0A")));
    const orv::CPinFile later(file);
    EXPECT_FALSE(later.Find(*ReadMac("02:00:5E:00:00:0A")));
    EXPECT_EQ(later.Find(*ReadMac("02:00:5E:00:00:0B")), key);
    fs::remove_all(dir);
}

} // namespace
