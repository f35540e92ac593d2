// The device SDK's live video drawn into a native window under a private X
// server, read back from it: the simulator's RTSP stream on loopback.

#include "PlaybackLab.h"

#include <cstdio>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A native window Qt never paints, for the SDK to draw into.
class NativeWindow : public QWidget {
public:
    NativeWindow() {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    QPaintEngine* paintEngine() const override { return nullptr; }
};

TEST_F(PlaybackTest, TheSdkDrawsDecodedFramesAndFollowsThePictureRecord) {
    NativeWindow window;
    window.resize(640, 360);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage empty = GrabWindow(window.winId());

    const int h = lab.login(0);
    ASSERT_GT(h, 0);
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
    // Nobody watches: the camera stops encoding.
    EXPECT_TRUE(WaitFor([&] { return rtsp.activeStreams() == 0; }, 3s));
}

TEST_F(PlaybackTest, AStreamThatStopsOrVanishesEndsWithoutHoldingTheCaller) {
    NativeWindow window;
    window.resize(320, 180);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
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

} // namespace
