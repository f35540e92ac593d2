// The batch operations and the worker against virtual cameras on loopback:
// one login per camera per Save, each operation's outcome, checked runs past
// dead cameras, the reboot queue with one reboot per cycle and the pause
// after a restore, cycle by cycle.

#include "operations/batchset/BatchOperations.h"
#include "DeviceRecords.h"
#include "JobWait.h"
#include "RecordingDriver.h"
#include "TestCameras.h"
#include "camsim/httpapi/TlsIdentity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <mutex>

using namespace orv::batchset;
using namespace std::chrono_literals;
using orv::device::DdnsSettings;
using orv::device::PortSettings;
namespace dev = orv::device;

namespace {

tagQvIpcInfo device(const testcams::Lab& lab, int camera, unsigned char macByte = 0) {
    tagQvIpcInfo r{};
    const unsigned char mac[8] = {
        0x02, 0x4f, 0x56,
        0xab, 0xcd, macByte != 0 ? macByte : static_cast<unsigned char>(0xe0 + camera),
        0,    0};
    std::memcpy(r.Mac, mac, sizeof mac);
    std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", lab.ip(camera).c_str());
    r.HttpPort = lab.port();
    return r;
}

// A logged-in session with a lab camera, as a job hands it to the worker.
std::shared_ptr<orv::device::IDeviceSession> session(RecordingDriver& driver,
                                                     const testcams::Lab& lab, int camera) {
    auto opened = driver.Open(Found(device(lab, camera)),
                              {QStringLiteral("admin"), QString::fromLatin1(testcams::kPassword)});
    EXPECT_TRUE(opened.Ok());
    return opened.Ok() ? std::move(opened).Value() : nullptr;
}

class RecordingHost : public IBatchHost {
public:
    explicit RecordingHost(orv::jobs::CJobEngine& engine) : m_engine(engine) {}

    bool checked = false;
    std::vector<tagQvIpcInfo> checkedDevices;
    std::optional<tagQvIpcInfo> current;
    std::string password = testcams::kPassword;
    std::vector<std::wstring> messages;
    // What the last job reported, and whether it was a one-camera job.
    std::vector<orv::jobs::OperationResult> results;
    bool oneCamera = false;
    bool answerYes = true;
    bool answerPlain = true;
    bool answerClear = false;
    // Addresses of cameras that cannot seal a secret (as ONVIF cameras).
    std::vector<QString> unsealed;
    // Addresses of cameras met over TLS before.
    QStringList encrypted;

    bool CheckedMode() const override { return checked; }
    std::vector<orv::device::DeviceInfo> CheckedDevices() const override {
        std::vector<orv::device::DeviceInfo> devices;
        for (const tagQvIpcInfo& record : checkedDevices) {
            devices.push_back(Found(record));
            if (std::find(unsealed.begin(), unsealed.end(), devices.back().AddressText()) !=
                unsealed.end()) {
                devices.back().capabilities =
                    devices.back().capabilities.Without(orv::device::Capability::SealedSecrets);
            }
        }
        return devices;
    }
    std::optional<orv::device::DeviceInfo> CurrentDevice() const override {
        if (!current) {
            return std::nullopt;
        }
        return Found(*current);
    }
    orv::device::Credentials DefaultCredentials() const override {
        return {QStringLiteral("admin"), QString::fromStdString(password)};
    }
    void ShowMessage(const orv::Message& m) override {
        messages.push_back(std::wstring(m.id) + L" " + m.defaultText);
    }
    bool Ask(const orv::Message& m) override {
        messages.push_back(std::wstring(m.id) + L"?");
        return answerYes;
    }
    bool ConfirmChange(const std::wstring& what, int cameras) override {
        messages.push_back(what + L" on " + std::to_wstring(cameras) + L"?");
        return answerYes;
    }
    bool KnownEncrypted(const orv::device::DeviceInfo& d) const override {
        return std::find(encrypted.begin(), encrypted.end(), d.AddressText()) != encrypted.end();
    }
    bool ConfirmPlainSecret(const std::vector<orv::device::DeviceInfo>& cameras,
                            bool inClear) override {
        messages.push_back((inClear ? L"clear to " : L"plain to ") +
                           std::to_wstring(cameras.size()) + L"?");
        return inClear ? answerClear : answerPlain;
    }
    void RunOperations(orv::jobs::JobSpec order, bool one) override {
        oneCamera = one;
        results = RunJob(m_engine, std::move(order));
    }
    // "Modify Port Succeeded" per result, in order.
    std::vector<std::string> outcomes() const {
        std::vector<std::string> out;
        for (const auto& r : results) {
            out.push_back(r.operation +
                          (r.outcome == orv::jobs::Outcome::Succeeded ? " Succeeded" : " Failed"));
        }
        return out;
    }

private:
    orv::jobs::CJobEngine& m_engine;
};

using Steps = std::vector<Step>;

class BatchOperationsTest : public ::testing::Test {
protected:
    void SetUp() override { Qv_Sdk_SetTimeouts(2500, 5000); }

    testcams::Lab lab{4};
    RecordingDriver driver;
    orv::jobs::CJobEngine engine{driver.Set()};
    RecordingHost host{engine};
    // Slow enough that nothing leaves the queue while a test looks at it.
    orv::jobs::CRebootQueue worker{{std::chrono::milliseconds(200), 125}};
    CBatchOperations operations{host, worker};

    nlohmann::json config(int camera) { return lab.host.snapshot(lab.key(camera))->config; }
};

} // namespace

TEST_F(BatchOperationsTest, OneCameraLogsInOnceForTheWholeSaveAndReportsEachOperation) {
    host.current = device(lab, 1, 0xaf);
    const PortSettings ports{{lab.port(), 8000, 1554, 1555}, {}};
    const DdnsSettings ddns;
    EXPECT_EQ(operations.Apply("Network", {*CBatchOperations::SetPorts(&ports),
                                           *CBatchOperations::SetDdns(&ddns)}),
              1);
    EXPECT_TRUE(host.oneCamera);
    EXPECT_EQ(host.outcomes(),
              (std::vector<std::string>{"Modify Port Succeeded", "Modify DDNS Succeeded"}));
    EXPECT_EQ(config(1)["ports"]["rtsp1"], 1554);
    EXPECT_EQ(driver.Calls("Login").size(), 1u);

    lab.server.setFaults(lab.key(1), camsim::FaultPlan{.failCall = "ports.set"});
    operations.Apply("Network",
                     {*CBatchOperations::SetPorts(&ports), *CBatchOperations::SetDdns(&ddns)});
    EXPECT_EQ(host.outcomes(),
              (std::vector<std::string>{"Modify Port Failed", "Modify DDNS Succeeded"}))
        << "a failed port change does not stop the DDNS change";

    // A refused login fails the operations without a device call.
    lab.server.clearFaults(lab.key(1));
    host.password = "wrong";
    driver.Clear();
    operations.Apply("Network", {*CBatchOperations::SetDdns(&ddns)});
    EXPECT_EQ(host.outcomes(), std::vector<std::string>{"Modify DDNS Failed"});
    EXPECT_TRUE(driver.Calls("SetDdns").empty());
    EXPECT_FALSE(CBatchOperations::SetPorts(nullptr)) << "a missing record makes no step";
}

TEST_F(BatchOperationsTest, WithoutACameraEachOperationAsksForOne) {
    const PortSettings ports{{lab.port(), 8000, 1554, 1555}, {}};
    EXPECT_EQ(operations.Apply("Network", {*CBatchOperations::SetPorts(&ports)}), 0);
    EXPECT_EQ(operations.Restore(), 0);
    EXPECT_EQ(operations.Reboot(), 0);
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[0], L"90010 Please select one device.");
    EXPECT_EQ(host.messages[1], L"90010 Please select one device.") << "restore asks nothing";
    EXPECT_EQ(host.messages[2], L"90010 Please Select one device.") << "reboot's own default";
    EXPECT_TRUE(driver.Calls().empty());
}

TEST_F(BatchOperationsTest, CheckedRunsReachEveryCameraPastADeadOne) {
    host.checked = true;
    // 127.0.0.90 has no camera: its login is refused at once and the run
    // goes on.
    tagQvIpcInfo dead = device(lab, 0);
    std::snprintf(dead.IpAddr, sizeof dead.IpAddr, "127.0.0.90");
    host.checkedDevices = {device(lab, 2), dead, device(lab, 0), device(lab, 3)};
    const PortSettings ports{{lab.port(), 8001, 2554, 2555}, {}};
    DdnsSettings ddns;
    ddns.enabled = true;
    ddns.provider = "dynu.com";
    ddns.user = "u";
    ddns.password = "p";
    ddns.host = "cam.dynu.net";
    Steps steps{*CBatchOperations::SetPorts(&ports), *CBatchOperations::SetDdns(&ddns)};
    EXPECT_FALSE(operations.SetDeviceName("%41")) << "every checked camera keeps its name";
    EXPECT_EQ(operations.Apply("Network", steps), 1);
    EXPECT_FALSE(host.oneCamera);
    for (int camera : {0, 2, 3}) {
        EXPECT_EQ(config(camera)["ports"]["onvif"], 8001) << camera;
        EXPECT_EQ(config(camera)["ddns"]["host"], "cam.dynu.net") << camera;
    }
    EXPECT_EQ(config(1).count("ports"), 0u) << "an unchecked camera is left alone";
    ASSERT_EQ(host.results.size(), 8u);
    int failed = 0;
    for (const auto& r : host.results) {
        failed += r.outcome == orv::jobs::Outcome::Failed;
    }
    EXPECT_EQ(failed, 2) << "both operations of the dead camera";
    EXPECT_EQ(driver.Calls("Login").size(), 4u);
}

TEST_F(BatchOperationsTest, ImagingAndStreamsGoBackWithTheCamerasOwnBytes) {
    host.current = device(lab, 0);
    dev::ImageSettings image;
    image.powerLineHz = 60;
    image.localDisplay = dev::LocalDisplay::Pal;
    image.indoor = true;
    image.irCut = dev::IrCutMode::Night; // not this page's field
    image.exposureLevel = 9;             // nor this one
    dev::StreamSettings stream;
    stream.enabled = true;
    stream.codec = dev::VideoCodec::Mjpeg;
    stream.width = 320;
    stream.height = 240;
    stream.frameRate = 15;
    stream.bitRateKbps = 256;
    stream.rateControl = dev::RateControl::Constant;
    stream.iFrameInterval = 10;
    operations.Apply("Video/Image",
                     {*CBatchOperations::SetImaging(&image),
                      *CBatchOperations::SetVideoStream(dev::StreamKind::Secondary, &stream)});
    EXPECT_EQ(host.outcomes(),
              (std::vector<std::string>{"Modify Image Succeeded", "Modify Video Stream Succeeded"}))
        << "the camera refuses device bytes that are not its own";
    EXPECT_EQ(config(0)["imaging"]["powerLineFrequency"], 60);
    EXPECT_EQ(config(0)["imaging"]["localDisplay"], 2);
    EXPECT_EQ(config(0)["imaging"]["outdoorMode"], 1);
    EXPECT_EQ(config(0)["imaging"]["irCutMode"], 2) << "merged into the camera's settings";
    EXPECT_EQ(config(0)["imaging"]["exposureLevel"], 5);
    QvVideoConfig own{};
    own.stream = 0;
    ASSERT_EQ(Qv_Ipc_GetVideoConfig(lab.login(0), &own), 0);
    EXPECT_EQ(driver.lastVideo.deviceTag, own.deviceTag) << "the secondary stream's own tag";
    EXPECT_EQ(config(0)["streams"][0]["codec"], 2);
    EXPECT_EQ(config(0)["streams"][0]["frameSize"], 3) << "320*240 by the camera's own code";
    EXPECT_EQ(config(0)["streams"][0]["bitRateControl"], 0);
    const auto calls = driver.Calls();
    EXPECT_EQ(calls[calls.size() - 2].name, "GetVideoConfig") << "a Get right before the Set";
}

TEST_F(BatchOperationsTest, OnlyACameraThatTookTheNewPasswordIsRebootedWithIt) {
    host.checked = true;
    host.checkedDevices = {device(lab, 1), device(lab, 2)};
    lab.server.setFaults(lab.key(1), camsim::FaultPlan{.failCall = "password.set"});
    operations.Apply("System", operations.ModifyPasswordAndReboot("admin", "n3w"));
    EXPECT_EQ(lab.host.snapshot(lab.key(2))->identity.adminPassword, "n3w");
    EXPECT_EQ(worker.QueuedReboots(), 1u) << "no reboot for the camera that refused";
    const auto logins = driver.Calls("Login");
    ASSERT_EQ(logins.size(), 3u);
    // Cameras run side by side, so the reboot's login is found by its password.
    const auto withNew = std::count_if(logins.begin(), logins.end(),
                                       [](const auto& l) { return l.password == "n3w"; });
    EXPECT_EQ(withNew, 1) << "the reboot logs in with the new password";
    const auto reboot = std::find_if(logins.begin(), logins.end(),
                                     [](const auto& l) { return l.password == "n3w"; });
    ASSERT_NE(reboot, logins.end());
    EXPECT_EQ(reboot->ip, lab.ip(2));
    std::vector<std::string> outcomes = host.outcomes();
    std::sort(outcomes.begin(), outcomes.end());
    EXPECT_EQ(outcomes,
              (std::vector<std::string>{"Modify Password Failed", "Modify Password Succeeded",
                                        "Reboot Succeeded"}));
}

TEST_F(BatchOperationsTest, ANewPasswordGoesOverPlainHttpOnlyWithConsentAskedOnce) {
    // Camera 3 offers TLS; cameras 1 and 2 only plain HTTP.
    lab.host.withCamera(lab.key(3), [](camsim::CameraState& state) {
        camsim::tls::setPort(state.config, "02:00:5E:00:00:03", testcams::freePort());
        return true;
    });
    ASSERT_TRUE(lab.server.refreshTls());
    host.checked = true;
    host.checkedDevices = {device(lab, 1), device(lab, 2), device(lab, 3)};
    host.answerPlain = false;
    host.encrypted = {QString::fromStdString(lab.ip(3))};
    operations.Apply("System", operations.ModifyPasswordAndReboot("admin", "n3w"));
    EXPECT_EQ(std::count(host.messages.begin(), host.messages.end(), L"plain to 2?"), 1)
        << "asked once, for the cameras not known to offer TLS";
    EXPECT_EQ(lab.host.snapshot(lab.key(1))->identity.adminPassword, testcams::kPassword);
    EXPECT_EQ(lab.host.snapshot(lab.key(2))->identity.adminPassword, testcams::kPassword);
    EXPECT_EQ(lab.host.snapshot(lab.key(3))->identity.adminPassword, "n3w") << "over TLS";
    EXPECT_EQ(worker.QueuedReboots(), 1u);
    int refused = 0;
    for (const auto& r : host.results) {
        if (r.outcome == orv::jobs::Outcome::Failed) {
            EXPECT_EQ(orv::jobs::ReasonText(r),
                      "not sent: the camera offers no encrypted connection");
            ++refused;
        }
    }
    EXPECT_EQ(refused, 2);

    host.answerPlain = true;
    operations.Apply("System", operations.ModifyPasswordAndReboot("admin", "n3w"));
    EXPECT_EQ(lab.host.snapshot(lab.key(1))->identity.adminPassword, "n3w");
}

TEST_F(BatchOperationsTest, APasswordACameraCannotSealNeedsItsOwnConsent) {
    // Camera 2 cannot seal a secret (as an ONVIF camera): its question names
    // the clear text, and consent to sealed sending does not cover it.
    host.checked = true;
    host.checkedDevices = {device(lab, 1), device(lab, 2)};
    host.unsealed = {QString::fromStdString(lab.ip(2))};
    host.answerPlain = true;
    host.answerClear = false;
    operations.Apply("System", operations.ModifyPasswordAndReboot("admin", "n3w"));
    EXPECT_EQ(std::count(host.messages.begin(), host.messages.end(), L"plain to 1?"), 1);
    EXPECT_EQ(std::count(host.messages.begin(), host.messages.end(), L"clear to 1?"), 1);
    EXPECT_EQ(lab.host.snapshot(lab.key(1))->identity.adminPassword, "n3w");
    EXPECT_EQ(lab.host.snapshot(lab.key(2))->identity.adminPassword, testcams::kPassword);
}

TEST_F(BatchOperationsTest, RebootsAndRestoresAskOnceAndGoThroughTheQueue) {
    host.current = device(lab, 0);
    host.answerYes = false;
    EXPECT_EQ(operations.Reboot(), 0);
    EXPECT_EQ(worker.QueuedReboots(), 0u);
    EXPECT_TRUE(driver.Calls("Login").empty()) << "declined before any login";

    host.answerYes = true;
    EXPECT_EQ(operations.Reboot(), 1);
    EXPECT_EQ(host.outcomes(), std::vector<std::string>{"Reboot Succeeded"});
    host.password = "wrong";
    operations.Reboot();
    EXPECT_EQ(host.outcomes(), std::vector<std::string>{"Reboot Failed"});
    EXPECT_EQ(worker.QueuedReboots(), 1u) << "nothing queued for a failed login";

    host.checked = true;
    host.checkedDevices = {device(lab, 1), device(lab, 2), device(lab, 3)};
    host.password = testcams::kPassword;
    host.messages.clear();
    EXPECT_EQ(operations.Reboot(), 1);
    EXPECT_EQ(host.messages, std::vector<std::wstring>{L"90026?"});
    EXPECT_EQ(worker.QueuedReboots(), 4u);
    EXPECT_TRUE(driver.Calls("RebootSystem").empty()) << "the worker reboots, not the operation";

    host.checked = false;
    host.current = device(lab, 3);
    EXPECT_EQ(operations.Restore(), 1);
    EXPECT_EQ(host.outcomes(), std::vector<std::string>{"Restore Succeeded"});
    EXPECT_TRUE(worker.RestorePauseOn());
    EXPECT_EQ(worker.QueuedReboots(), 5u);
    EXPECT_EQ(lab.host.snapshot(lab.key(3))->identity.deviceName, "IPCamera");
}

TEST(BatchWorker, QueuedRebootsRunOnePerCycle) {
    testcams::Lab lab{3};
    RecordingDriver driver;
    const auto clock = orv::jobs::CCycleClock::Stepped();
    orv::jobs::CRebootQueue worker{{200ms, 125, clock}};
    for (int camera = 0; camera < 3; ++camera) {
        worker.QueueReboot(session(driver, lab, camera));
    }
    worker.Start();
    for (size_t made = 1; made <= 3; ++made) {
        ASSERT_TRUE(clock->Step(made == 1 ? 0 : 1));
        EXPECT_EQ(driver.Calls("RebootSystem").size(), made);
    }
    for (int camera = 0; camera < 3; ++camera) {
        EXPECT_EQ(lab.host.rebootCount(lab.key(camera)), 1) << camera;
    }
}

TEST(BatchWorker, RestorePauseHoldsRebootsForItsCycles) {
    testcams::Lab lab{1};
    RecordingDriver driver;
    const auto clock = orv::jobs::CCycleClock::Stepped();
    orv::jobs::CRebootQueue worker{{200ms, 125, clock}};
    worker.QueueReboot(session(driver, lab, 0));
    worker.StartRestorePause(true);
    worker.Start();
    ASSERT_TRUE(clock->Step(124));
    EXPECT_TRUE(worker.RestorePauseOn());
    EXPECT_TRUE(driver.Calls("RebootSystem").empty()) << "no reboot during the pause";
    ASSERT_TRUE(clock->Step());
    EXPECT_FALSE(worker.RestorePauseOn());
    EXPECT_EQ(driver.Calls("RebootSystem").size(), 1u);
}

TEST(BatchWorker, StoppingDropsRebootsNotYetMade) {
    testcams::Lab lab{1};
    RecordingDriver driver;
    // A cycle far longer than the test: stopping must not wait for it.
    orv::jobs::CRebootQueue worker{{std::chrono::hours(1), 125}};
    worker.StartRestorePause(true);
    worker.Start();
    worker.QueueReboot(session(driver, lab, 0));
    const auto start = std::chrono::steady_clock::now();
    worker.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "stop does not wait a cycle";
    EXPECT_EQ(worker.QueuedReboots(), 0u);
    EXPECT_TRUE(driver.Calls("RebootSystem").empty());
    EXPECT_EQ(lab.host.rebootCount(lab.key(0)), 0);
}
