#pragma once
// The open site's history: its jobs, and the changes of the job chosen (or
// of every job), narrowed by a filter to one camera, one operation or one
// outcome; each change with its values before and after. The book is read
// on a thread of the dialog's own. "Undo job" asks the window to put the
// chosen job's changes back; "Export CSV…" writes what the filter shows.

#include "services/SiteJournal.h"
#include "site/SiteBook.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QSortFilterProxyModel>

#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;

// The changes as rows: job, time, camera, operation, change, outcome, reason.
class CHistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Job, Time, Camera, Operation, Change, Outcome, Reason, ColumnCount };

    void Reset(std::vector<orv::site::ChangeEntry> changes,
               std::map<std::string, std::string> names);
    const orv::site::ChangeEntry& At(int row) const {
        return m_changes[static_cast<std::size_t>(row)];
    }
    QString CameraText(const orv::site::ChangeEntry& change) const;
    // The changes `which` takes, oldest first.
    std::vector<orv::site::ChangeEntry>
    ChangesWhere(const std::function<bool(const orv::site::ChangeEntry&)>& which) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<orv::site::ChangeEntry> m_changes;
    std::map<std::string, std::string> m_names; // camera key -> name
};

class CHistoryFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit CHistoryFilter(CHistoryModel& model, QObject* parent = nullptr);
    // 0: every job.
    void SetJob(std::int64_t job);
    // Words that must each appear in some column of a row.
    void SetText(const QString& text);

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    CHistoryModel& m_model;
    std::int64_t m_job = 0;
    QStringList m_words;
};

class CHistoryDlg : public QDialog {
    Q_OBJECT
public:
    // `live` tells which cameras answer now (the targets a backup can be
    // given to).
    using LiveCameras = std::function<std::vector<orv::device::DeviceInfo>()>;
    CHistoryDlg(std::shared_ptr<orv::CSiteJournal> site, LiveCameras live = {},
                QWidget* parent = nullptr);
    ~CHistoryDlg() override;

    // Reads the book again (after a job), on the dialog's thread; asked
    // while it reads, it reads once more when done.
    void Reload();
    // The site whose history this is.
    const std::shared_ptr<orv::CSiteJournal>& Site() const { return m_site; }
    // While a job runs, no undo starts.
    void SetBusy(bool busy);
    // The job chosen, 0 for every job.
    std::int64_t ChosenJob() const;
    void ChooseJob(std::int64_t job);
    // Rows the filter shows.
    int ShownCount() const { return m_filter.rowCount(); }
    // What "Export CSV…" writes: the rows shown, values whole.
    std::string Csv() const;
    // Chooses a row of the changes shown (the camera Restore backup is of).
    void ChooseChange(int row);
    // Waits for a load in progress (tests).
    void WaitLoaded();

signals:
    void undoRequested(std::int64_t job, const std::vector<orv::site::ChangeEntry>& changes);
    // The settings the book knows of `camera` to be given to `target`.
    void restoreRequested(const std::vector<orv::site::ChangeEntry>& changes,
                          const orv::device::DeviceInfo& target);
    void loaded();

private:
    void setLanguageText();
    void showLoaded(std::vector<orv::site::JobSummary> jobs,
                    std::vector<orv::site::ChangeEntry> changes,
                    std::map<std::string, std::string> names, QString problem);
    void jobChosen();
    void exportCsv();
    void updateButtons();
    // The camera of the change chosen in the list, or empty.
    std::string chosenCamera() const;
    void restoreBackup();

    std::shared_ptr<orv::CSiteJournal> m_site;
    CHistoryModel m_model;
    CHistoryFilter m_filter;
    std::vector<orv::site::JobSummary> m_jobs;
    bool m_busy = false;
    // The chosen job changed something an undo can put back.
    bool m_undoable = false;
    std::thread m_loader;
    bool m_loading = false;
    bool m_reloadAsked = false;

    QTableWidget* m_jobTable = nullptr;
    QLineEdit* m_filterEdit = nullptr;
    QTableView* m_changes = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_undo = nullptr;
    QPushButton* m_restore = nullptr;
    LiveCameras m_live;
    // Where each camera of the site was last seen: a camera answering
    // there under another MAC replaced it.
    std::map<std::string, std::uint32_t> m_places;
    QPushButton* m_close = nullptr;
};
