#pragma once
// Whose picture a frame shows: the simulator draws a band of each camera's
// own colour (camsim::rtsp::BandColour) over the bottom eighth of its
// picture; these read it back.

#include "camsim/rtsp/RtspServer.h"

#include <QImage>

#include <cstdlib>

// The colour of the bottom band of a picture, averaged over its middle.
inline QRgb BandOf(const QImage& picture) {
    const int band = picture.height() / camsim::rtsp::kBandDivisor;
    long sum[3] = {};
    long n = 0;
    for (int y = picture.height() - band + band / 4; y < picture.height() - band / 4; ++y) {
        for (int x = picture.width() / 4; x < picture.width() * 3 / 4; x += 2) {
            const QRgb p = picture.pixel(x, y);
            sum[0] += qRed(p);
            sum[1] += qGreen(p);
            sum[2] += qBlue(p);
            ++n;
        }
    }
    return n == 0 ? 0
                  : qRgb(static_cast<int>(sum[0] / n), static_cast<int>(sum[1] / n),
                         static_cast<int>(sum[2] / n));
}

// How far apart two colours are: the sum of their channels' differences.
inline int ColourDistance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}
