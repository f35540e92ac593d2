#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the window thread, so the
// program ends through its normal close path. No-op where there are no such
// signals.

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace orv {

class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatcher(std::function<void()> onTerminate);
    ~TerminationWatcher() override;

private:
    std::function<void()> m_onTerminate;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace orv
