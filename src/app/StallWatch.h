#pragma once
// A diagnostics switch for the field: with ORVANTIX_STALL_MS=N in the
// environment, every stretch longer than N ms in which the window thread did
// not get to its events is written to the log as "Window thread stalled <ms>
// ms". A short timer notes how late it runs; the lateness is the stall.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <optional>

namespace orv {

class CStallWatch : public QObject {
    Q_OBJECT
public:
    // Reports stalls longer than `thresholdMs`.
    explicit CStallWatch(int thresholdMs, QObject* parent = nullptr);

    // The threshold the environment asks for, if any.
    static std::optional<int> ThresholdFromEnvironment();

    qint64 LongestStallMs() const { return m_longest; }

private:
    void tick();

    const int m_threshold;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
};

} // namespace orv
