// Live video end to end under a private X server: the simulator's RTSP
// stream on loopback, the SDK's GStreamer pipeline drawing into a native
// child window, and the Video Previews page around it. Frames are read
// back from the X server, the only place the drawn video exists.

#include "FrameProbe.h"
#include "GuiTestBase.h"
#include "PreviewTestSupport.h"
#include "camsim/rtsp/RtspServer.h"
#include "pages/preview/VideoWnd.h"

#include <QPushButton>
#include <QSlider>

#include <cstdio>
#include <string>

#include <malloc.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
#define ORVANTIX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVANTIX_ASAN 1
#endif
#endif

namespace {

class PlaybackTest : public GuiTestBase {
protected:
    testcams::Lab lab{2};
    camsim::rtsp::RtspServer rtsp{lab.host};

    void SetUp() override {
        GuiTestBase::SetUp();
        Qv_Sdk_SetTimeouts(2500, 5000);
        // Each camera streams on a port of its own, so nothing else on the
        // machine can be in the way.
        for (int i = 0; i < 2; ++i) {
            const int port = testcams::freePort();
            EditCamera(lab, i, [port](nlohmann::json& c) { c["ports"]["rtsp1"] = port; });
        }
        ASSERT_TRUE(rtsp.start());
    }
    void TearDown() override {
        rtsp.stop();
        GuiTestBase::TearDown();
    }

    void setBrightness(int camera, int value) {
        EditCamera(lab, camera, [value](nlohmann::json& c) { c["picture"]["brightness"] = value; });
    }
};

TEST_F(PlaybackTest, TheSdkDrawsDecodedFramesAndFollowsThePictureRecord) {
    CVideoWnd window;
    window.resize(640, 360);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage empty = GrabWindow(window.winId());

    const int h = lab.login(0);
    ASSERT_GT(h, 0);
    window.SetLive(true);
    QvPlayInfo play = orv::qv::PlayRecordOf(window.winId());
    const auto started = Clock::now();
    ASSERT_EQ(Qv_IpcClient_LivePlay(h, &play, 0, 0), 0) << Qv_Sdk_GetLastError();
    const auto firstFrameMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    std::printf("[measure] Play to first frame (SDK): %lld ms\n",
                static_cast<long long>(firstFrameMs));
    EXPECT_LT(firstFrameMs, 2000);
    EXPECT_EQ(rtsp.activeStreams(), 1);

    QTest::qWait(500);
    const QImage normal = GrabWindow(window.winId());
    EXPECT_GT(GreyLevels(normal), 20) << "the window shows no picture";
    EXPECT_GT(GreyLevels(normal), GreyLevels(empty));

    setBrightness(0, 240);
    QImage bright;
    EXPECT_TRUE(WaitFor(
        [&] {
            bright = GrabWindow(window.winId());
            return MeanLuma(bright) > MeanLuma(normal) + 40;
        },
        3s))
        << MeanLuma(normal) << " -> " << MeanLuma(bright);
    setBrightness(0, 20);
    QImage dark;
    EXPECT_TRUE(WaitFor(
        [&] {
            dark = GrabWindow(window.winId());
            return MeanLuma(dark) < MeanLuma(normal) - 40;
        },
        3s))
        << MeanLuma(normal) << " -> " << MeanLuma(dark);

    EXPECT_EQ(Qv_IpcClient_StopLivePlay(h), 0);
    window.SetLive(false);
    // Nobody watches: the camera stops encoding.
    EXPECT_TRUE(WaitFor([&] { return rtsp.activeStreams() == 0; }, 3s));
}

TEST_F(PlaybackTest, AStreamThatStopsOrVanishesEndsWithoutHoldingTheCaller) {
    CVideoWnd window;
    window.resize(320, 180);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.SetLive(true);
    QvPlayInfo play = orv::qv::PlayRecordOf(window.winId());
    const int h = lab.login(1);

    // Frozen: the connection stays, the frames stop.
    ASSERT_EQ(Qv_IpcClient_LivePlay(h, &play, 0, 0), 0) << Qv_Sdk_GetLastError();
    rtsp.setFrozen(lab.key(1), true);
    QTest::qWait(3500);
    auto before = Clock::now();
    EXPECT_EQ(Qv_IpcClient_StopLivePlay(h), 0);
    EXPECT_LT(Clock::now() - before, 1s);
    rtsp.setFrozen(lab.key(1), false);
    // GStreamer keeps a few threads of its own once used; counted from here.
    const long threadsBefore = StatusValue("Threads:");

    // Gone: the camera's server ends every connection.
    ASSERT_EQ(Qv_IpcClient_LivePlay(h, &play, 0, 0), 0) << Qv_Sdk_GetLastError();
    rtsp.stop();
    QTest::qWait(1000);
    before = Clock::now();
    EXPECT_EQ(Qv_IpcClient_StopLivePlay(h), 0);
    EXPECT_LT(Clock::now() - before, 1s);

    // Nobody serves now: a start fails within its bound.
    before = Clock::now();
    EXPECT_NE(Qv_IpcClient_LivePlay(h, &play, 0, 0), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_NETWORK);
    EXPECT_LT(Clock::now() - before, 6s);
    EXPECT_TRUE(WaitFor([&] { return StatusValue("Threads:") <= threadsBefore + 1; }, 3s))
        << threadsBefore << " -> " << StatusValue("Threads:");
}

TEST_F(PlaybackTest, ThePagePlaysStopsAndRestartsTheLiveView) {
    PreviewPage p;
    p.Make({1400, 860});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(p.page.get()));
    p.Deliver(lab, 0);
    p.Deliver(lab, 1);
    const int row0 = p.RowOf(lab, 0);
    const int row1 = p.RowOf(lab, 1);
    p.ClickRow(row0);
    WaitForJobs(p.jobs);
    ASSERT_TRUE(p.page->LoggedIn());

    auto* play = p.page->findChild<QPushButton*>(QStringLiteral("play"));
    const auto started = Clock::now();
    QTest::mouseClick(play, Qt::LeftButton);
    WaitForJobs(p.jobs);
    const auto firstFrameMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
    ASSERT_TRUE(p.page->IsPlaying());
    std::printf("[measure] Play button to first frame (page): %lld ms\n",
                static_cast<long long>(firstFrameMs));
    EXPECT_EQ(play->text(), "Stop");

    QTest::qWait(500);
    const QImage normal = GrabWindow(p.page->VideoArea()->winId());
    EXPECT_GT(GreyLevels(normal), 20);
    const QString shot = QStringLiteral(ORVANTIX_SCREENSHOT_DIR "/video_previews_playing.png");
    QDir().mkpath(QStringLiteral(ORVANTIX_SCREENSHOT_DIR));
    GrabWindow(p.page->winId()).save(shot);

    // The brightness slider reaches the picture.
    auto* brightness = p.page->findChild<QSlider*>(QStringLiteral("brightness"));
    brightness->setValue(95);
    EXPECT_TRUE(WaitFor(
        [&] { return MeanLuma(GrabWindow(p.page->VideoArea()->winId())) > MeanLuma(normal) + 40; },
        3s));

    // Double-click toggles; a resize restarts the view in the new area.
    p.DoubleClickRow(row0);
    WaitForJobs(p.jobs);
    EXPECT_FALSE(p.page->IsPlaying());
    EXPECT_EQ(play->text(), "Play");
    p.DoubleClickRow(row0);
    WaitForJobs(p.jobs);
    EXPECT_TRUE(p.page->IsPlaying());
    const auto plays = p.driver.Calls("LivePlay").size();
    p.page->resize(1300, 800);
    WaitForJobs(p.jobs);
    EXPECT_TRUE(p.page->IsPlaying());
    EXPECT_EQ(p.driver.Calls("LivePlay").size(), plays + 1);
    EXPECT_EQ(p.driver.Calls("LivePlay").back().result, 0);

    // Another camera: the view stops before the new login.
    p.ClickRow(row1);
    WaitForJobs(p.jobs);
    EXPECT_FALSE(p.page->IsPlaying());
    const auto stops = p.driver.Calls("StopLivePlay");
    const auto logins = p.driver.Calls("Login");
    ASSERT_FALSE(stops.empty());
    ASSERT_GE(logins.size(), 2u);
    EXPECT_LT(stops.back().at, logins.back().at);
    EXPECT_TRUE(WaitFor([&] { return rtsp.activeStreams() == 0; }, 3s));
}

TEST_F(PlaybackTest, FourPreviewsInARowLeaveNoThreadsOrMemoryBehind) {
    PreviewPage p;
    p.Make({1400, 860});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(p.page.get()));
    p.Deliver(lab, 0);
    p.ClickRow(p.RowOf(lab, 0));
    WaitForJobs(p.jobs);
    auto* play = p.page->findChild<QPushButton*>(QStringLiteral("play"));
    long threads[4] = {};
    long rss[4] = {};
    for (int i = 0; i < 4; ++i) {
        QTest::mouseClick(play, Qt::LeftButton);
        WaitForJobs(p.jobs);
        ASSERT_TRUE(p.page->IsPlaying()) << i;
        QTest::qWait(700);
        QTest::mouseClick(play, Qt::LeftButton);
        WaitForJobs(p.jobs);
        ASSERT_FALSE(p.page->IsPlaying());
        WaitFor([&] { return rtsp.activeStreams() == 0; }, 3s);
        QTest::qWait(300);
        // Freed memory goes back to the system first: what stays is held.
        ::malloc_trim(0);
        threads[i] = StatusValue("Threads:");
        rss[i] = StatusValue("VmRSS:");
    }
    std::printf("[measure] after previews 1..4: threads %ld %ld %ld %ld, RSS kB %ld %ld %ld %ld\n",
                threads[0], threads[1], threads[2], threads[3], rss[0], rss[1], rss[2], rss[3]);
    EXPECT_LE(threads[3], threads[0] + 1);
#if !defined(ORVANTIX_ASAN)
    // Under AddressSanitizer freed memory waits in quarantine and the
    // resident size only grows; its leak check at exit takes this place.
    // The first two previews warm up the decoder's and allocator's caches
    // (about 7 MB here); from then on a leak would keep growing.
    EXPECT_LT(rss[3] - rss[1], 8 * 1024);
#endif
}

} // namespace
