#include "HistoryDlg.h"

#include "device/SettingsRecord.h"
#include "file/RegularFile.h"
#include "jobs/JobResults.h"
#include "operations/history/Undo.h"
#include "text/TextConv.h"
#include "ui/FileDialog.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/PopupMenu.h"

#include <QCursor>
#include <QDateTime>

#include <algorithm>
#include <iterator>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>
#include <utility>

using orv::ui::LangText;

namespace {

QString timeText(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString macOf(const std::string& key) {
    return QString::fromStdString(key.starts_with("mac:") ? key.substr(4) : key);
}

} // namespace

void CHistoryModel::Reset(std::vector<orv::site::ChangeEntry> changes,
                          std::map<std::string, std::string> names) {
    beginResetModel();
    m_changes = std::move(changes);
    m_names = std::move(names);
    endResetModel();
}

QString CHistoryModel::CameraText(const orv::site::ChangeEntry& change) const {
    const auto name = m_names.find(change.camera);
    const QString mac = macOf(change.camera);
    return name == m_names.end() || name->second.empty()
               ? mac
               : QString::fromStdString(name->second) + QStringLiteral(" (") + mac +
                     QLatin1Char(')');
}

std::vector<orv::site::ChangeEntry>
CHistoryModel::ChangesWhere(const std::function<bool(const orv::site::ChangeEntry&)>& which) const {
    std::vector<orv::site::ChangeEntry> out;
    std::copy_if(m_changes.begin(), m_changes.end(), std::back_inserter(out), which);
    return out;
}

int CHistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_changes.size());
}

int CHistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CHistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const orv::site::ChangeEntry& c = At(index.row());
    if (role == Qt::ToolTipRole && index.column() == Change) {
        return QString::fromStdString(c.before.value_or("?") + "\n\u2192 " + c.after.value_or("?"));
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case Job:
        return QString::number(c.job);
    case Time:
        return timeText(c.atMs);
    case Camera:
        return CameraText(c);
    case Operation:
        return QString::fromStdString(c.operation);
    case Change:
        return c.setting.empty()
                   ? QString()
                   : QString::fromStdString(orv::device::ChangeSummary(c.before, c.after));
    case Outcome:
        return QString::fromStdString(c.outcome);
    case Reason:
        return QString::fromStdString(c.reason);
    default:
        return {};
    }
}

QVariant CHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    // In the order of Column.
    static constexpr std::array<std::pair<const wchar_t*, const wchar_t*>, ColumnCount> kTitles = {{
        {L"96021", L"Job"},
        {L"96022", L"Time"},
        {L"96023", L"Camera"},
        {L"96024", L"Operation"},
        {L"96025", L"Change"},
        {L"96026", L"Outcome"},
        {L"96027", L"Reason"},
    }};
    if (section < 0 || section >= ColumnCount) {
        return {};
    }
    const auto& [id, english] = kTitles[static_cast<std::size_t>(section)];
    return LangText(id, english);
}

CHistoryFilter::CHistoryFilter(CHistoryModel& model, QObject* parent)
    : QSortFilterProxyModel(parent), m_model(model) {
    setSourceModel(&model);
}

void CHistoryFilter::SetJob(std::int64_t job) {
    m_job = job;
    invalidateRowsFilter();
}

void CHistoryFilter::SetText(const QString& text) {
    m_words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    invalidateRowsFilter();
}

bool CHistoryFilter::filterAcceptsRow(int row, const QModelIndex&) const {
    const orv::site::ChangeEntry& c = m_model.At(row);
    if (m_job != 0 && c.job != m_job) {
        return false;
    }
    for (const QString& word : m_words) {
        bool found = false;
        for (int column = 0; column < CHistoryModel::ColumnCount && !found; ++column) {
            found = m_model.data(m_model.index(row, column), Qt::DisplayRole)
                        .toString()
                        .contains(word, Qt::CaseInsensitive);
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

CHistoryDlg::CHistoryDlg(std::shared_ptr<orv::CSiteJournal> site, LiveCameras live, QWidget* parent)
    : QDialog(parent), m_site(std::move(site)), m_filter(m_model), m_live(std::move(live)) {
    setObjectName(QStringLiteral("historyDialog"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    m_jobTable = new QTableWidget(0, 6, this);
    m_jobTable->setObjectName(QStringLiteral("historyJobs"));
    m_jobTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_jobTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_jobTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_jobTable->verticalHeader()->hide();
    m_jobTable->horizontalHeader()->setStretchLastSection(true);
    m_filterEdit = new QLineEdit(this);
    m_filterEdit->setObjectName(QStringLiteral("historyFilter"));
    m_filterEdit->setClearButtonEnabled(true);
    m_changes = new QTableView(this);
    m_changes->setObjectName(QStringLiteral("historyChanges"));
    m_changes->setModel(&m_filter);
    m_changes->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_changes->verticalHeader()->hide();
    m_changes->horizontalHeader()->setStretchLastSection(true);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("historyStatus"));
    m_export = new QPushButton(this);
    m_export->setObjectName(QStringLiteral("historyExport"));
    m_undo = new QPushButton(this);
    m_undo->setObjectName(QStringLiteral("historyUndo"));
    m_restore = new QPushButton(this);
    m_restore->setObjectName(QStringLiteral("historyRestore"));
    m_close = new QPushButton(this);
    m_close->setObjectName(QStringLiteral("historyClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_export);
    buttons->addWidget(m_undo);
    buttons->addWidget(m_restore);
    buttons->addStretch();
    buttons->addWidget(m_status);
    buttons->addStretch();
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_jobTable, 2);
    layout->addWidget(m_filterEdit);
    layout->addWidget(m_changes, 3);
    layout->addLayout(buttons);

    connect(m_jobTable, &QTableWidget::itemSelectionChanged, this, &CHistoryDlg::jobChosen);
    connect(m_filterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_filter.SetText(text);
        updateButtons();
    });
    connect(m_export, &QPushButton::clicked, this, &CHistoryDlg::exportCsv);
    connect(m_undo, &QPushButton::clicked, this, [this] {
        const std::int64_t job = ChosenJob();
        emit undoRequested(job, m_model.ChangesWhere([job](const orv::site::ChangeEntry& c) {
            return c.job == job;
        }));
    });
    connect(m_restore, &QPushButton::clicked, this, &CHistoryDlg::restoreBackup);
    connect(m_changes->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CHistoryDlg::updateButtons);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);
    setLanguageText();
    resize(900, 600);
    Reload();
}

CHistoryDlg::~CHistoryDlg() {
    WaitLoaded();
}

void CHistoryDlg::WaitLoaded() {
    if (m_loader.joinable()) {
        m_loader.join();
    }
}

void CHistoryDlg::setLanguageText() {
    setWindowTitle(LangText(L"96020", L"Site history: %1")
                       .arg(m_site ? QString::fromStdString(m_site->Site()) : QString()));
    m_jobTable->setHorizontalHeaderLabels(
        {LangText(L"96021", L"Job"), LangText(L"96028", L"Started"), LangText(L"96029", L"Name"),
         LangText(L"96030", L"User"), LangText(L"96031", L"Cameras"),
         LangText(L"96032", L"Failed")});
    m_filterEdit->setPlaceholderText(
        LangText(L"96033", L"Filter: camera, MAC, operation, change, outcome, reason"));
    m_export->setText(LangText(L"96034", L"Export CSV..."));
    m_undo->setText(LangText(L"96035", L"Undo job"));
    m_restore->setText(LangText(L"96041", L"Restore backup..."));
    m_close->setText(LangText(L"96036", L"Close"));
}

void CHistoryDlg::Reload() {
    if (!m_site) {
        return;
    }
    if (m_loading) {
        // The window never waits for a reader.
        m_reloadAsked = true;
        return;
    }
    WaitLoaded(); // a reader that has handed over its rows: ended, or about to
    m_loading = true;
    m_status->setText(LangText(L"96037", L"Reading..."));
    m_loader = std::thread([this, site = m_site] {
        // What the window's jobs handed to the book is in it first.
        site->Flush();
        orv::site::CSiteBook::Opened opened = orv::site::CSiteBook::Open(site->File());
        std::vector<orv::site::JobSummary> jobs;
        std::vector<orv::site::ChangeEntry> changes;
        std::map<std::string, std::string> names;
        std::map<std::string, std::uint32_t> places;
        QString problem;
        if (opened.book) {
            jobs = opened.book->JobSummaries();
            changes = opened.book->AllChanges();
            for (const orv::site::SiteCamera& c : opened.book->Inventory()) {
                names.emplace(c.key, c.name);
                if (const auto address = orv::device::ParseIpv4(c.address)) {
                    places.emplace(c.key, *address);
                }
            }
        } else if (opened.error) {
            problem = QString::fromStdString(opened.error->text);
        }
        QMetaObject::invokeMethod(
            this,
            [this, jobs = std::move(jobs), changes = std::move(changes), names = std::move(names),
             places = std::move(places), problem]() mutable {
                m_places = std::move(places);
                m_loading = false;
                showLoaded(std::move(jobs), std::move(changes), std::move(names), problem);
                if (std::exchange(m_reloadAsked, false)) {
                    Reload();
                }
            },
            Qt::QueuedConnection);
    });
}

void CHistoryDlg::showLoaded(std::vector<orv::site::JobSummary> jobs,
                             std::vector<orv::site::ChangeEntry> changes,
                             std::map<std::string, std::string> names, QString problem) {
    const std::int64_t chosen = ChosenJob();
    m_jobs = std::move(jobs);
    m_model.Reset(std::move(changes), std::move(names));
    m_jobTable->setRowCount(static_cast<int>(m_jobs.size()) + 1);
    const auto cell = [this](int row, int column, const QString& text) {
        m_jobTable->setItem(row, column, new QTableWidgetItem(text));
    };
    cell(0, 0, QString());
    cell(0, 2, LangText(L"96038", L"Every job"));
    for (int column : {1, 3, 4, 5}) {
        cell(0, column, QString());
    }
    // The newest job first, under "Every job".
    for (std::size_t i = 0; i < m_jobs.size(); ++i) {
        const orv::site::JobSummary& s = m_jobs[m_jobs.size() - 1 - i];
        const int row = static_cast<int>(i) + 1;
        cell(row, 0, QString::number(s.job.id));
        cell(row, 1, timeText(s.job.startedMs));
        QString name = QString::fromStdString(s.job.name);
        cell(row, 2, name);
        cell(row, 3, QString::fromStdString(s.job.osUser));
        cell(row, 4, QString::number(s.cameras));
        cell(row, 5, QString::number(s.failed));
    }
    m_jobTable->resizeColumnsToContents();
    ChooseJob(chosen);
    m_changes->resizeColumnsToContents();
    m_status->setText(problem);
    updateButtons();
    emit loaded();
}

std::int64_t CHistoryDlg::ChosenJob() const {
    const QList<QTableWidgetItem*> chosen = m_jobTable->selectedItems();
    if (chosen.isEmpty() || chosen.front()->row() == 0) {
        return 0;
    }
    return m_jobTable->item(chosen.front()->row(), 0)->text().toLongLong();
}

void CHistoryDlg::ChooseJob(std::int64_t job) {
    for (int row = 0; row < m_jobTable->rowCount(); ++row) {
        const QTableWidgetItem* item = m_jobTable->item(row, 0);
        if ((job == 0 && row == 0) ||
            (item != nullptr && item->text().toLongLong() == job && row > 0)) {
            m_jobTable->selectRow(row);
            return;
        }
    }
    m_jobTable->selectRow(0);
}

void CHistoryDlg::jobChosen() {
    const std::int64_t job = ChosenJob();
    m_filter.SetJob(job);
    // The undo's own rule of what it puts back decides.
    m_undoable = job != 0 && !orv::history::PlanUndo(m_model.ChangesWhere([job](const auto& c) {
                                  return c.job == job;
                              })).cameras.empty();
    updateButtons();
}

void CHistoryDlg::SetBusy(bool busy) {
    m_busy = busy;
    updateButtons();
}

void CHistoryDlg::updateButtons() {
    m_undo->setEnabled(m_undoable && !m_busy);
    m_restore->setEnabled(!chosenCamera().empty() && !m_busy && m_live != nullptr);
    m_export->setEnabled(m_filter.rowCount() > 0);
}

std::string CHistoryDlg::chosenCamera() const {
    const QModelIndexList rows = m_changes->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return {};
    }
    return m_model.At(m_filter.mapToSource(rows.front()).row()).camera;
}

void CHistoryDlg::ChooseChange(int row) {
    m_changes->selectRow(row);
}

void CHistoryDlg::restoreBackup() {
    const std::string camera = chosenCamera();
    if (camera.empty() || !m_live) {
        return;
    }
    // The camera itself, or one with another MAC where it was: the camera
    // that replaced it.
    const std::vector<orv::site::ChangeEntry> changes = m_model.ChangesWhere(
        [&camera](const orv::site::ChangeEntry& c) { return c.camera == camera; });
    const orv::device::DeviceId id = orv::device::DeviceId::FromText(camera);
    const auto place = m_places.find(camera);
    // 0 where the book has no address of it: no camera is its replacement.
    const std::uint32_t where = place == m_places.end() ? 0 : place->second;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("restoreTargets"));
    std::vector<std::pair<QAction*, orv::device::DeviceInfo>> targets;
    for (const orv::device::DeviceInfo& d : m_live()) {
        const bool same = d.id == id;
        const bool replacement = !same && where != 0 && d.address == where;
        if (same || replacement) {
            const QString text =
                (same ? LangText(L"96042", L"This camera: %1")
                      : LangText(L"96043", L"Its replacement: %1"))
                    .arg(QString::fromStdString(d.MacText()) + QStringLiteral(" ") +
                         d.AddressText() + QStringLiteral(" ") + d.name);
            targets.emplace_back(menu.addAction(text), d);
        }
    }
    if (targets.empty()) {
        orv::ui::ShowMessage(this, LangText(L"96044", L"Neither the camera nor a camera at its "
                                                      L"address answers now."));
        return;
    }
    QAction* chosen = orv::ui::ExecPopupMenu(menu, QCursor::pos());
    for (const auto& [action, device] : targets) {
        if (action == chosen) {
            emit restoreRequested(changes, device);
        }
    }
}

std::string CHistoryDlg::Csv() const {
    QString csv = orv::jobs::CsvRow({QStringLiteral("job"), QStringLiteral("time"),
                                     QStringLiteral("camera"), QStringLiteral("mac"),
                                     QStringLiteral("operation"), QStringLiteral("setting"),
                                     QStringLiteral("before"), QStringLiteral("after"),
                                     QStringLiteral("outcome"), QStringLiteral("reason")});
    for (int row = 0; row < m_filter.rowCount(); ++row) {
        const int source = m_filter.mapToSource(m_filter.index(row, 0)).row();
        const orv::site::ChangeEntry& c = m_model.At(source);
        csv += orv::jobs::CsvRow(
            {QString::number(c.job), timeText(c.atMs), m_model.CameraText(c), macOf(c.camera),
             QString::fromStdString(c.operation), QString::fromStdString(c.setting),
             QString::fromStdString(c.before.value_or("")),
             QString::fromStdString(c.after.value_or("")), QString::fromStdString(c.outcome),
             QString::fromStdString(c.reason)});
    }
    return csv.toStdString();
}

void CHistoryDlg::exportCsv() {
    const QString path =
        orv::ui::GetSaveFileName(this, LangText(L"96039", L"CSV files (*.csv);;All files (*)"),
                                 QStringLiteral("history.csv"));
    if (path.isEmpty()) {
        return;
    }
    if (orv::WriteRegularFile(path.toStdWString(), Csv()) != orv::FileError::None) {
        orv::ui::ShowMessage(this, LangText(L"95015", L"Cannot write the file %1.").arg(path));
    }
}
