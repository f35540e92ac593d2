#pragma once
// A page's view of its device jobs: while one runs, a progress bar (n of N
// cameras) and a Cancel button; afterwards a button that opens the last
// job's results: one row per camera and operation, sortable, with Copy,
// Export CSV..., Retry failed and Trust again... (for cameras refused for
// another key).

#include "jobs/JobResults.h"

#include <QBasicTimer>
#include <QWidget>

#include <optional>
#include <vector>

class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;

namespace orv::jobs {
class CJobEngine;
}

class CJobPanel : public QWidget {
    Q_OBJECT
public:
    explicit CJobPanel(orv::jobs::CJobEngine& engine, QWidget* parent = nullptr);
    ~CJobPanel() override;

    // Follows a new job: its results replace the last job's.
    // `order`: the cameras in the order the page listed them; the results
    // are shown and exported in that order until the person sorts them.
    void Track(orv::jobs::JobId job, const std::vector<orv::device::DeviceInfo>& order);
    orv::jobs::JobId Current() const { return m_results.Job(); }
    bool Running() const { return m_running; }
    const orv::jobs::CJobResultsModel& Results() const { return m_results; }
    void SetLanguageText();
    // The results window (created on first use).
    QDialog* ResultsWindow();

signals:
    // Retry failed: the cameras of the last job that did not succeed.
    void retryRequested(const std::vector<orv::device::DeviceInfo>& cameras);
    // Trust again: the cameras of the last job refused for another key.
    void trustAgainRequested(const std::vector<orv::device::DeviceInfo>& cameras);

private:
    void onResult(const orv::jobs::OperationResult& result);
    void onProgress(orv::jobs::JobId job, int done, int total);
    void onFinished(orv::jobs::JobId job);
    void timerEvent(QTimerEvent* event) override;
    void copyResults();
    void exportResults();
    void updateRetry();
    void cancel();
    void showSummary();
    void showInFlight();
    // The results in the order the results table shows them.
    std::vector<orv::jobs::OperationResult> shownResults() const;

    orv::jobs::CJobEngine& m_engine;
    orv::jobs::CJobResultsModel m_results;
    bool m_running = false;
    static constexpr int kProgressMs = 50;
    QBasicTimer m_progressTimer;
    int m_progressDone = 0;
    int m_progressTotal = 0;
    bool m_cancelling = false;
    std::vector<orv::device::DeviceId> m_order;
    std::optional<orv::jobs::CameraTally> m_tally;
    QProgressBar* m_progress = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_show = nullptr;
    QDialog* m_window = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_retry = nullptr;
    QPushButton* m_trustAgain = nullptr;
};
