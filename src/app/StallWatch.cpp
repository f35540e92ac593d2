#include "StallWatch.h"

#include "log/LogFile.h"

#include <QByteArray>

#include <algorithm>

namespace orv {
namespace {

constexpr int kTickMs = 10;

} // namespace

CStallWatch::CStallWatch(int thresholdMs, QObject* parent)
    : QObject(parent), m_threshold(std::max(thresholdMs, 0)) {
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CStallWatch::tick);
    m_sinceTick.start();
    m_timer.start(kTickMs);
}

std::optional<int> CStallWatch::ThresholdFromEnvironment() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("ORVANTIX_STALL_MS", &ok);
    return ok && ms >= 0 ? std::optional(ms) : std::nullopt;
}

void CStallWatch::tick() {
    const qint64 stall = m_sinceTick.restart() - kTickMs;
    m_longest = std::max(m_longest, stall);
    if (stall > m_threshold) {
        WriteLog(1, "Window thread stalled %lld ms", static_cast<long long>(stall));
    }
}

} // namespace orv
