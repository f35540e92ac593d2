#pragma once
// A measure of the window thread for lab tests.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <fstream>

// The window thread's longest stall of its own making: how late a 10 ms
// timer ran, less the time the thread sat runnable waiting for a CPU (the
// machine's other load, not the window's work or a wait on the network).
class OwnStall {
public:
    OwnStall() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 waited = runQueueMs();
            const qint64 late = m_since.restart() - 10 - (waited - m_waited);
            m_waited = waited;
            m_longest = std::max(m_longest, late);
        });
        m_waited = runQueueMs();
        m_since.start();
        m_timer.start(10);
    }
    qint64 LongestMs() const { return m_longest; }

private:
    static qint64 runQueueMs() {
        std::ifstream in("/proc/thread-self/schedstat");
        long long running = 0;
        long long waiting = 0;
        in >> running >> waiting;
        return waiting / 1000000;
    }
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_waited = 0;
    qint64 m_longest = 0;
};
