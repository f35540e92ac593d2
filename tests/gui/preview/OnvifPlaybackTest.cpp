// Live video of another maker's ONVIF-only camera under a private X server:
// the simulator's ONVIF face and RTSP video on loopback, the ONVIF driver's
// session asking for the main profile's stream and playing it into a native
// window, and the Video Previews page reaching the camera only through the
// program's drivers. The simulator's store judges what reached the camera.

#include "FrameProbe.h"
#include "GuiTestBase.h"
#include "RecordingServices.h"
#include "TempDir.h"
#include "TestCameras.h"
#include "api/StoreDeviceApiHost.h"
#include "camsim/rtsp/RtspServer.h"
#include "core/CameraStore.h"
#include "core/Config.h"
#include "device/DriverSet.h"
#include "onvif/OnvifServer.h"
#include "onvif/OnvifService.h"
#include "onvifc/Device.h"
#include "pages/preview/VideoViewDlg.h"
#include "pages/common/LiveTarget.h"
#include "ui/controls/FrameView.h"
#include "protocols/onvif/OnvifDriver.h"
#include "protocols/onvif/OnvifSession.h"

#include <QPushButton>
#include <QSlider>

#include <cstdio>
#include <optional>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using orv::device::Fault;

namespace {

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class OnvifPlaybackTest : public GuiTestBase {
protected:
    TempDir state;
    std::optional<camsim::CameraStore> store;
    std::optional<camsim::onvif::OnvifService> onvif;
    std::optional<camsim::onvif::OnvifServer> onvifServer;
    std::optional<camsim::StoreDeviceApiHost> videoHost;
    std::optional<camsim::rtsp::RtspServer> rtsp;
    int onvifPort = 0;

    // One camera of another maker at 127.0.0.2: ONVIF with Imaging, no
    // device API; its stream on a port of its own.
    void SetUp() override {
        GuiTestBase::SetUp();
        onvifPort = testcams::freePort();
        camsim::SimConfig c;
        c.cameras = 0;
        c.firstIp = 0x7f000002;
        c.lastIp = 0x7f000010;
        c.tlsPort = 0;
        c.password = "s3cret";
        camsim::OnvifModel model;
        model.maker = "Lumora";
        model.model = "LX-60";
        model.macBase = {0x02, 0x6c, 0x75, 0, 0, 0};
        model.versions = {"3.0.1"};
        model.onvifPort = static_cast<std::uint16_t>(onvifPort);
        c.onvifModels = {model};
        auto cameras = camsim::makeCameras(c);
        ASSERT_EQ(cameras.size(), 1u);
        cameras[0].deviceConfig["ports"]["rtsp1"] = testcams::freePort();
        store.emplace(std::move(cameras), state.path() / "state.json");
        onvif.emplace(*store, camsim::onvif::OnvifOptions{});
        onvifServer.emplace(*onvif, "lo");
        ASSERT_TRUE(onvifServer->start());
        videoHost.emplace(*store, camsim::StoreDeviceApiHost::RebootHook{}, true);
        rtsp.emplace(*videoHost);
        ASSERT_TRUE(rtsp->start());
    }
    void TearDown() override {
        rtsp.reset();
        onvifServer.reset();
        GuiTestBase::TearDown();
    }

    std::string deviceUrl() const {
        return "http://127.0.0.2:" + std::to_string(onvifPort) + "/onvif/device_service";
    }

    // The camera as the ONVIF driver lists it once its details are known,
    // with what its services let the program do.
    orv::device::DeviceInfo listed() const {
        onvifc::CDevice camera(deviceUrl(), {}, {});
        const auto services = camera.Connect();
        EXPECT_TRUE(services.Ok()) << services.detail;
        orv::device::DeviceInfo d;
        d.address = 0x7f000002;
        d.mac = orv::device::MacAddress{0x02, 0x6c, 0x75, 0, 0, 1};
        d.id = orv::device::DeviceId::OfMac(*d.mac);
        d.name = "LX-60-1";
        d.model = "LX-60";
        d.manufacturer = "Lumora";
        d.ports.onvif = onvifPort;
        d.ports.http = onvifPort;
        d.services = {{orv::device::Protocol::Onvif, QString::fromStdString(deviceUrl()), {}}};
        d.capabilities = orv::onvif::CapabilitiesOf(services.value);
        d.lastAnswer = Clock::now();
        return d;
    }

    std::unique_ptr<orv::device::IDeviceSession> open(const QString& user,
                                                      const QString& password) {
        orv::device::Failure failure;
        auto session = orv::onvif::OpenOnvifSession(listed(), user, password, failure);
        EXPECT_TRUE(session) << failure.detail;
        return session;
    }

    int storedBrightness() const {
        return store->viewCamera(0, [](const camsim::Camera& c) {
            return c.deviceConfig["picture"].value("brightness", -1);
        });
    }
};

TEST_F(OnvifPlaybackTest, ASessionPlaysTheMainProfilesStreamUntilStoppedOrClosed) {
    orv::ui::CFrameView window;
    window.resize(640, 360);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    auto session = open("admin", "s3cret");
    ASSERT_TRUE(session);
    const auto started = Clock::now();
    const auto play = session->StartLiveVideo(orv::LiveTarget(window.Begin()));
    ASSERT_TRUE(play) << play.Error().detail;
    const long long firstFrameMs = MsSince(started);
    std::printf("[measure] ONVIF start to first frame (session): %lld ms\n", firstFrameMs);
    EXPECT_LT(firstFrameMs, 2500);
    EXPECT_EQ(rtsp->activeStreams(), 1);

    QTest::qWait(500);
    const QImage shown = window.Picture();
    EXPECT_GT(GreyLevels(shown), 20) << "the window shows no picture";
    EXPECT_GT(window.FramesPerSecond(), 10);

    // Stopped: the camera stops encoding; a second stop is no failure.
    EXPECT_TRUE(session->StopLiveVideo());
    EXPECT_TRUE(WaitFor([&] { return rtsp->activeStreams() == 0; }, 3s));
    EXPECT_TRUE(session->StopLiveVideo());

    // A session that ends takes its view with it.
    ASSERT_TRUE(session->StartLiveVideo(orv::LiveTarget(window.Begin())));
    EXPECT_EQ(rtsp->activeStreams(), 1);
    session.reset();
    EXPECT_TRUE(WaitFor([&] { return rtsp->activeStreams() == 0; }, 3s));

    // A camera whose video goes away while it plays: the view says so by
    // itself within the stall time, and shows no frozen picture.
    auto again = open("admin", "s3cret");
    ASSERT_TRUE(again);
    ASSERT_TRUE(again->StartLiveVideo(orv::LiveTarget(window.Begin())));
    EXPECT_TRUE(WaitFor([&] { return window.Playing(); }, 3s));
    const auto gone = Clock::now();
    rtsp->stop();
    EXPECT_TRUE(WaitFor([&] { return window.Text().startsWith("no video: "); }, 5s))
        << window.Text().toStdString();
    std::printf("[measure] ONVIF stream gone to \"no video\": %lld ms\n", MsSince(gone));
    EXPECT_FALSE(window.Playing());
}

TEST_F(OnvifPlaybackTest, AStartThatFailsNamesTheFaultAndLeavesNothingRunning) {
    orv::ui::CFrameView window;
    window.resize(320, 180);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // A warm-up view, so GStreamer's own lasting threads are counted in.
    auto admin = open("admin", "s3cret");
    ASSERT_TRUE(admin);
    ASSERT_TRUE(admin->StartLiveVideo(orv::LiveTarget(window.Begin())));
    admin.reset();
    ASSERT_TRUE(WaitFor([&] { return rtsp->activeStreams() == 0; }, 3s));
    const long threadsBefore = StatusValue("Threads:");

    // An ONVIF user the camera's RTSP server does not know: the session
    // opens, the stream refuses its login.
    store->withCamera(0, [](camsim::Camera& c) {
        c.onvif["users"] = nlohmann::json::array(
            {{{"name", "viewer"}, {"password", "v1ewer"}, {"level", "User"}}});
    });
    auto viewer = open("viewer", "v1ewer");
    ASSERT_TRUE(viewer);
    auto before = Clock::now();
    const auto refused = viewer->StartLiveVideo(orv::LiveTarget(window.Begin()));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().fault, Fault::WrongCredentials) << refused.Error().detail;
    EXPECT_LT(Clock::now() - before, 5s);
    EXPECT_EQ(rtsp->activeStreams(), 0);

    // The admin password changed since the session logged in: the stream's
    // address is refused before any video is asked for.
    auto stale = open("admin", "s3cret");
    ASSERT_TRUE(stale);
    store->withCamera(0, [](camsim::Camera& c) { c.password = "n3w-pass"; });
    EXPECT_EQ(stale->StartLiveVideo(orv::LiveTarget(window.Begin())).FaultOf(), Fault::WrongCredentials);

    // The camera's video is gone while its ONVIF face answers.
    auto current = open("admin", "n3w-pass");
    ASSERT_TRUE(current);
    rtsp->stop();
    before = Clock::now();
    const auto gone = current->StartLiveVideo(orv::LiveTarget(window.Begin()));
    ASSERT_FALSE(gone);
    EXPECT_EQ(gone.Error().fault, Fault::Unreachable) << gone.Error().detail;
    EXPECT_LT(Clock::now() - before, 6s);

    EXPECT_TRUE(WaitFor([&] { return StatusValue("Threads:") <= threadsBefore + 1; }, 3s))
        << threadsBefore << " -> " << StatusValue("Threads:");
}

TEST_F(OnvifPlaybackTest, ThePreviewPagePlaysTheCameraAndItsBrightnessReachesIt) {
    orv::onvif::COnvifDriver driver; // sessions only: its discovery never starts
    orv::device::CDriverSet drivers;
    drivers.Add(driver);
    orv::jobs::CJobEngine jobs{drivers};
    RecordingServices services;
    services.password = "s3cret";
    CVideoViewDlg page(services, jobs);
    page.resize(1400, 860);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));

    const orv::device::DeviceInfo camera = listed();
    ASSERT_TRUE(camera.capabilities.Has(orv::device::Capability::LiveVideo));
    page.OnDevicesFound({camera});
    auto* list = page.DeviceListCtrl();
    const QModelIndex cell = list->model()->index(page.Devices().RowOf(camera.id), 2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(cell).center());
    WaitForJobs(jobs);
    ASSERT_TRUE(page.LoggedIn()) << services.lines.join('\n').toStdString();

    auto* play = page.findChild<QPushButton*>(QStringLiteral("play"));
    ASSERT_TRUE(play->isEnabled());
    const auto started = Clock::now();
    QTest::mouseClick(play, Qt::LeftButton);
    WaitForJobs(jobs);
    ASSERT_TRUE(page.IsPlaying());
    std::printf("[measure] ONVIF Play button to first frame (page): %lld ms\n", MsSince(started));
    EXPECT_EQ(play->text(), "Stop");

    QTest::qWait(500);
    const QImage normal = page.VideoArea()->Picture();
    EXPECT_GT(GreyLevels(normal), 20) << "the video area shows no picture";
    QDir().mkpath(QStringLiteral(ORVANTIX_SCREENSHOT_DIR));
    page.grab().save(QStringLiteral(ORVANTIX_SCREENSHOT_DIR "/video_previews_onvif.png"));

    // Slider position 95 is 242 of the camera's 0-255, which the camera
    // stores and its picture shows.
    page.findChild<QSlider*>(QStringLiteral("brightness"))->setValue(95);
    EXPECT_TRUE(WaitFor([&] { return storedBrightness() == 242; }, 5s)) << storedBrightness();
    EXPECT_TRUE(WaitFor(
        [&] { return MeanLuma(page.VideoArea()->Picture()) > MeanLuma(normal) + 40; }, 3s));

    QTest::mouseClick(play, Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_FALSE(page.IsPlaying());
    EXPECT_TRUE(WaitFor([&] { return rtsp->activeStreams() == 0; }, 3s));
}

} // namespace
