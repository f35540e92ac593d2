#pragma once
// What the live-video tests read back from the X server, the only place the
// drawn video exists, and the process figures that show a view's leftovers.

#include "ProcStatus.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>

inline QImage GrabWindow(WId window) {
    return QGuiApplication::primaryScreen()->grabWindow(window).toImage();
}

inline double MeanLuma(const QImage& image) {
    if (image.isNull()) {
        return -1;
    }
    double sum = 0;
    int n = 0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            sum += qGray(image.pixel(x, y));
            ++n;
        }
    }
    return n > 0 ? sum / n : -1;
}

// Distinct grey levels: a test picture has many, an empty window one.
inline int GreyLevels(const QImage& image) {
    bool seen[256] = {};
    int levels = 0;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) {
            const int g = qGray(image.pixel(x, y));
            levels += seen[g] ? 0 : 1;
            seen[g] = true;
        }
    }
    return levels;
}

// Waits with the event loop running until pred holds or the time is up.
template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QTest::qWait(50);
    }
    return true;
}
