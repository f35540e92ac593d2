#include "JobPanel.h"

#include "file/RegularFile.h"
#include "jobs/JobEngine.h"
#include "ui/FileDialog.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimerEvent>
#include <QVBoxLayout>

using orv::ui::LangText;
namespace jobs = orv::jobs;

CJobPanel::CJobPanel(jobs::CJobEngine& engine, QWidget* parent)
    : QWidget(parent), m_engine(engine) {
    setObjectName(QStringLiteral("jobPanel"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 1, 0, 1);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("jobProgress"));
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("jobSummary"));
    m_cancel = new QPushButton(this);
    m_cancel->setObjectName(QStringLiteral("jobCancel"));
    m_show = new QPushButton(this);
    m_show->setObjectName(QStringLiteral("jobResults"));
    for (QPushButton* button : {m_cancel, m_show}) {
        button->setAutoDefault(false);
    }
    layout->addWidget(m_progress, 1);
    layout->addWidget(m_summary, 1);
    layout->addWidget(m_cancel);
    layout->addWidget(m_show);
    // A long summary (another language, a large font) takes a second line
    // rather than widening the list beside it.
    m_summary->setWordWrap(true);
    m_summary->hide();
    m_cancel->hide();
    SetLanguageText();
    hide();

    connect(m_cancel, &QPushButton::clicked, this, &CJobPanel::cancel);
    connect(m_show, &QPushButton::clicked, this, [this] {
        ResultsWindow()->show();
        ResultsWindow()->raise();
    });
    connect(&engine, &jobs::CJobEngine::operationDone, this, &CJobPanel::onResult);
    connect(&engine, &jobs::CJobEngine::progress, this, &CJobPanel::onProgress);
    connect(&engine, &jobs::CJobEngine::finished, this, &CJobPanel::onFinished);
}

CJobPanel::~CJobPanel() = default;

void CJobPanel::SetLanguageText() {
    m_cancel->setText(m_cancelling ? LangText(L"95049", L"Cancelling...")
                                   : LangText(L"95010", L"Cancel"));
    if (m_tally) {
        showSummary();
    } else if (m_running) {
        m_progress->setFormat(
            LangText(L"95013", L"%1 of %2 cameras").arg(m_progressDone).arg(m_progressTotal));
        showInFlight();
    }
    m_show->setText(LangText(L"95011", L"Results..."));
    if (m_window != nullptr) {
        m_window->setWindowTitle(LangText(L"95012", L"Results of the last job"));
        m_copy->setText(LangText(L"95007", L"Copy"));
        m_export->setText(LangText(L"95008", L"Export CSV..."));
        m_retry->setText(LangText(L"95009", L"Retry failed"));
        m_trustAgain->setText(LangText(L"95053", L"Trust again..."));
    }
}

void CJobPanel::Track(jobs::JobId job, const std::vector<orv::device::DeviceInfo>& order) {
    const int cameras = static_cast<int>(order.size());
    m_results.Begin(job);
    if (m_sorted != nullptr) {
        m_sorted->sort(-1); // the new job's rows in list order
    }
    m_order.clear();
    for (const orv::device::DeviceInfo& camera : order) {
        m_order.push_back(camera.id);
    }
    m_running = true;
    m_cancelling = false;
    m_tally.reset();
    m_progressTimer.stop(); // nothing of the last job's progress is shown
    m_progressDone = 0;
    m_progressTotal = cameras;
    m_progress->setRange(0, std::max(cameras, 1));
    m_progress->setValue(0);
    m_progress->setFormat(LangText(L"95013", L"%1 of %2 cameras").arg(0).arg(cameras));
    m_progress->show();
    m_summary->hide();
    m_cancel->setText(LangText(L"95010", L"Cancel"));
    m_cancel->show();
    m_cancel->setEnabled(true);
    show();
    updateRetry();
}

void CJobPanel::cancel() {
    if (!m_running || m_cancelling) {
        return;
    }
    // Taken at once and shown at once: the button says so, and the cameras
    // still in their calls are counted until the last one has reported.
    m_cancelling = true;
    m_cancel->setText(LangText(L"95049", L"Cancelling..."));
    m_cancel->setEnabled(false);
    m_engine.Cancel(Current());
    showInFlight();
}

void CJobPanel::showInFlight() {
    if (!m_cancelling) {
        return;
    }
    const int inFlight = m_engine.InFlight(Current());
    m_summary->setText(LangText(L"95050", L"%1 cameras still in flight").arg(inFlight));
    m_summary->show();
}

void CJobPanel::onResult(const jobs::OperationResult& result) {
    m_results.Add(result);
}

void CJobPanel::onProgress(jobs::JobId job, int done, int total) {
    if (job != Current()) {
        return;
    }
    // A progress bar repaints at once on every new value; a job's hundreds
    // of cameras move it at most every kProgressMs.
    m_progressDone = done;
    m_progressTotal = total;
    if (!m_progressTimer.isActive()) {
        m_progressTimer.start(kProgressMs, this);
    }
}

void CJobPanel::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_progressTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_progressTimer.stop();
    m_progress->setFormat(
        LangText(L"95013", L"%1 of %2 cameras").arg(m_progressDone).arg(m_progressTotal));
    m_progress->setValue(m_progressDone);
    showInFlight();
}

void CJobPanel::onFinished(jobs::JobId job) {
    if (job != Current()) {
        return;
    }
    m_running = false;
    m_cancelling = false;
    m_progressTimer.stop();
    // Shown and exported in the list's order, the same on every run.
    m_results.Order(m_order);
    m_tally = jobs::TallyCameras(m_results.Results());
    showSummary();
    m_progress->hide();
    m_summary->show();
    m_cancel->hide();
    updateRetry();
}

void CJobPanel::showSummary() {
    m_summary->setText(jobs::CameraTallyLine(*m_tally));
}

std::vector<jobs::OperationResult> CJobPanel::shownResults() const {
    if (m_sorted == nullptr) {
        return m_results.Results();
    }
    std::vector<jobs::OperationResult> shown;
    shown.reserve(m_results.Results().size());
    for (int row = 0; row < m_sorted->rowCount(); ++row) {
        const int source = m_sorted->mapToSource(m_sorted->index(row, 0)).row();
        shown.push_back(m_results.Results()[static_cast<std::size_t>(source)]);
    }
    return shown;
}

QDialog* CJobPanel::ResultsWindow() {
    if (m_window != nullptr) {
        return m_window;
    }
    m_window = new QDialog(window());
    m_window->setObjectName(QStringLiteral("jobResultsWindow"));
    m_window->resize(820, 360);
    auto* layout = new QVBoxLayout(m_window);
    auto* table = new QTableView(m_window);
    table->setObjectName(QStringLiteral("jobResultsTable"));
    m_sorted = new QSortFilterProxyModel(table);
    m_sorted->setSourceModel(&m_results);
    table->setModel(m_sorted);
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->horizontalHeader()->setStretchLastSection(true);
    // Reasons are sentences ("the camera's identity changed since ...").
    table->horizontalHeader()->resizeSection(jobs::kReason, 260);
    table->verticalHeader()->hide();
    layout->addWidget(table);
    auto* buttons = new QHBoxLayout;
    m_copy = new QPushButton(m_window);
    m_copy->setObjectName(QStringLiteral("copyResults"));
    m_export = new QPushButton(m_window);
    m_export->setObjectName(QStringLiteral("exportResults"));
    m_retry = new QPushButton(m_window);
    m_retry->setObjectName(QStringLiteral("retryFailed"));
    m_trustAgain = new QPushButton(m_window);
    m_trustAgain->setObjectName(QStringLiteral("trustAgain"));
    for (QPushButton* button : {m_copy, m_export, m_retry, m_trustAgain}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(m_copy, &QPushButton::clicked, this, &CJobPanel::copyResults);
    connect(m_export, &QPushButton::clicked, this, &CJobPanel::exportResults);
    connect(m_retry, &QPushButton::clicked, this,
            [this] { emit retryRequested(m_results.FailedDevices()); });
    connect(m_trustAgain, &QPushButton::clicked, this, [this] {
        emit trustAgainRequested(m_results.DevicesFailedFor(jobs::Reason::IdentityChanged));
    });
    SetLanguageText();
    updateRetry();
    return m_window;
}

void CJobPanel::updateRetry() {
    if (m_retry != nullptr) {
        m_retry->setEnabled(!m_running && !m_results.FailedDevices().empty());
        m_trustAgain->setEnabled(
            !m_running && !m_results.DevicesFailedFor(jobs::Reason::IdentityChanged).empty());
    }
}

void CJobPanel::copyResults() {
    QApplication::clipboard()->setText(jobs::ResultsText(shownResults()));
}

void CJobPanel::exportResults() {
    const QString path = orv::ui::GetSaveFileName(m_window, QStringLiteral("CSV (*.csv)"),
                                                  QStringLiteral("orvantix-results.csv"));
    if (path.isEmpty()) {
        return;
    }
    if (orv::WriteRegularFile(path.toStdWString(),
                              jobs::ResultsCsv(shownResults()).toStdString()) !=
        orv::FileError::None) {
        orv::ui::ShowMessage(m_window, LangText(L"95015", L"Cannot write the file %1.").arg(path));
    }
}
