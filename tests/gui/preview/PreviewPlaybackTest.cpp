// The Video Previews page with no display at all: it draws the pictures of
// the camera's stream itself, so what a test grabs is the camera's picture.

#include "PlaybackLab.h"
#include "pages/preview/VideoViewDlg.h"
#include "ui/controls/FrameView.h"

#include <QPushButton>
#include <QSlider>

#include <cstdio>

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

TEST_F(PlaybackTest, ThePageDrawsTheCamerasPictureStopsAndRestartsIt) {
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
    // The page draws the pictures itself: what it shows is the camera's
    // picture, with the camera's own band.
    const QImage normal = p.page->VideoArea()->Picture();
    EXPECT_GT(GreyLevels(normal), 20);
    const QRgb band =
        camsim::rtsp::BandColour(lab.host.snapshot(lab.key(0))->identity.id) | 0xFF000000u;
    EXPECT_LT(ColourDistance(BandOf(normal), band), 60)
        << std::hex << BandOf(normal) << " for " << band;
    const QImage shown = p.page->grab().toImage();
    EXPECT_GT(GreyLevels(shown.copy(p.page->VideoArea()->geometry())), 20) << "drawn";
    const QString shot = QStringLiteral(ORVANTIX_SCREENSHOT_DIR "/video_previews_playing.png");
    QDir().mkpath(QStringLiteral(ORVANTIX_SCREENSHOT_DIR));
    shown.save(shot);

    // The brightness slider reaches the picture.
    auto* brightness = p.page->findChild<QSlider*>(QStringLiteral("brightness"));
    brightness->setValue(95);
    EXPECT_TRUE(WaitFor(
        [&] { return MeanLuma(p.page->VideoArea()->Picture()) > MeanLuma(normal) + 40; }, 3s));

    // Double-click toggles; a resize keeps the stream, drawn to the new size.
    p.DoubleClickRow(row0);
    WaitForJobs(p.jobs);
    EXPECT_FALSE(p.page->IsPlaying());
    EXPECT_EQ(play->text(), "Play");
    p.DoubleClickRow(row0);
    WaitForJobs(p.jobs);
    EXPECT_TRUE(p.page->IsPlaying());
    const auto plays = p.driver.Calls("LivePlay").size();
    EXPECT_EQ(p.driver.Calls("LivePlay").back().result, 0);
    p.page->resize(1300, 800);
    WaitForJobs(p.jobs);
    EXPECT_TRUE(p.page->IsPlaying());
    EXPECT_EQ(p.driver.Calls("LivePlay").size(), plays);

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
