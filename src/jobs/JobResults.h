#pragma once
// The results of a page's last job as a table: one row per camera and
// operation, with the camera's name, MAC, IP and model, the operation, its
// outcome and the reason in words. The same rows go to the clipboard, to a
// CSV file and to the command line's results file.

#include "JobTypes.h"

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <vector>

namespace orv::jobs {

enum ResultColumn { kName, kMac, kIp, kModel, kOperation, kOutcome, kReason, kSeconds, kColumns };

// The texts of one result's cells, in the current language.
QStringList ResultCells(const OperationResult& result);
QStringList ResultHeaders();
// RFC 4180 CSV: a header row, then one row per result; UTF-8 text.
QByteArray ResultsCsv(const std::vector<OperationResult>& results);
// One CSV row with its line end, cells quoted where they need it. A cell a
// spreadsheet would run as a formula (it starts with =, +, -, @, a tab or a
// carriage return: a camera may name itself so) gets a leading apostrophe
// and stays text; so does one that starts with apostrophes and then a
// formula ("'=x" is written "''=x"), so that the guard reads back alone.
QString CsvRow(const QStringList& cells);
// The same, with the cells from `verbatimFrom` on written as they are
// (quoted only where CSV needs it): a password must read back exactly, and
// it comes from the program or the installer, never from a camera.
QString CsvRow(const QStringList& cells, int verbatimFrom);
// A cell as written before that apostrophe, for readers of the tool's own
// files (an exported list read back as an address plan).
std::string WithoutFormulaGuard(const std::string& cell);
// Tab-separated, for the clipboard.
QString ResultsText(const std::vector<OperationResult>& results);
// The summary line of one operation of a job, in the current language:
// "Modify Port: 97 succeeded, 3 failed."
QString TallyLine(const OperationTally& tally);
// The job's line by cameras, in the current language:
// "96 cameras: 90 succeeded, 6 failed."
QString CameraTallyLine(const CameraTally& tally);

class CJobResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // A new job: the table empties.
    void Begin(JobId job);
    // Results of other jobs are dropped.
    void Add(const OperationResult& result);
    JobId Job() const { return m_job; }
    const std::vector<OperationResult>& Results() const { return m_results; }
    // Puts the results in the order of `cameras` (each camera's results in
    // the order it made them); results of other cameras go last.
    void Order(const std::vector<device::DeviceId>& cameras);
    // The cameras whose operations did not all succeed, each once.
    std::vector<device::DeviceInfo> FailedDevices() const;
    // The cameras with an operation that failed for `reason`, each once.
    std::vector<device::DeviceInfo> DevicesFailedFor(Reason reason) const;

private:
    std::vector<device::DeviceInfo>
    devicesWhere(const std::function<bool(const OperationResult&)>& test) const;

    JobId m_job = 0;
    std::vector<OperationResult> m_results;
};

} // namespace orv::jobs
