#pragma once
// Two loopback cameras with their RTSP streams for the live-video tests,
// and what a test reads off a picture.

#include "FrameProbe.h"
#include "GuiTestBase.h"
#include "PreviewTestSupport.h"
#include "camsim/rtsp/RtspServer.h"

#include <cstdlib>

// The colour of the picture's bottom band, averaged over its middle.
inline QRgb BandOf(const QImage& picture) {
    const int band = picture.height() / camsim::rtsp::kBandDivisor;
    const int y0 = picture.height() - band + band / 4;
    const int y1 = picture.height() - band / 4;
    long r = 0;
    long g = 0;
    long b = 0;
    long n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = picture.width() / 4; x < picture.width() * 3 / 4; x += 2) {
            const QRgb p = picture.pixel(x, y);
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
            ++n;
        }
    }
    return n > 0 ? qRgb(static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n))
                 : 0;
}

inline int ColourDistance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}

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

