#include "ComplianceDlg.h"

#include "ui/LangText.h"
#include "ui/MessageBox.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

using orv::ui::LangText;

namespace {

enum Column { Camera, Address, Mac, Firmware, Differs, ColumnCount };

} // namespace

CComplianceDlg::CComplianceDlg(std::shared_ptr<orv::CSiteJournal> site, orv::jobs::CJobEngine& jobs,
                               Hooks hooks, QWidget* parent)
    : QDialog(parent), m_site(std::move(site)), m_jobs(jobs), m_hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("complianceDialog"));
    m_profileLabel = new QLabel(this);
    m_profileLabel->setObjectName(QStringLiteral("complianceProfile"));
    m_profileLabel->setWordWrap(true);
    m_profileLabel->setTextFormat(Qt::PlainText);
    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("complianceTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(true);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("complianceStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_check = new QPushButton(this);
    m_check->setObjectName(QStringLiteral("complianceCheck"));
    m_apply = new QPushButton(this);
    m_apply->setObjectName(QStringLiteral("complianceApply"));
    m_close = new QPushButton(this);
    m_close->setObjectName(QStringLiteral("complianceClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_check);
    buttons->addWidget(m_apply);
    buttons->addStretch();
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_profileLabel);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);
    layout->addLayout(buttons);

    connect(m_check, &QPushButton::clicked, this, &CComplianceDlg::Reload);
    connect(m_apply, &QPushButton::clicked, this, &CComplianceDlg::ApplyProfile);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);
    connect(&m_jobs, &orv::jobs::CJobEngine::finished, this, [this](orv::jobs::JobId job) {
        if (job == m_checkJob) {
            m_checkJob = 0;
            showChecked();
        } else if (m_recheck && !m_jobs.AnyRunning()) {
            m_recheck = false;
            Check();
        }
        updateButtons();
    });
    setLanguageText();
    resize(900, 500);
    Reload();
}

CComplianceDlg::~CComplianceDlg() {
    if (m_loader.joinable()) {
        m_loader.join();
    }
    if (m_checkJob != 0) {
        // Its workers write into results this dialog shares; they only
        // need to end before the job's objects go, which the engine sees to.
        m_jobs.Cancel(m_checkJob);
    }
}

void CComplianceDlg::setLanguageText() {
    setWindowTitle(LangText(L"96065", L"Compliance: %1")
                       .arg(m_site ? QString::fromStdString(m_site->Site()) : QString()));
    m_table->setHorizontalHeaderLabels({LangText(L"96023", L"Camera"),
                                        LangText(L"96066", L"IP address"),
                                        LangText(L"96067", L"MAC"), LangText(L"96068", L"Firmware"),
                                        LangText(L"96069", L"Differs from the profile")});
    m_check->setText(LangText(L"96070", L"Check again"));
    m_apply->setText(LangText(L"96071", L"Apply profile to these"));
    m_close->setText(LangText(L"96036", L"Close"));
}

void CComplianceDlg::Reload() {
    if (!m_site || m_loading) {
        return;
    }
    if (m_loader.joinable()) {
        m_loader.join(); // it has handed over what it read
    }
    m_loading = true;
    m_status->setText(LangText(L"96037", L"Reading..."));
    updateButtons();
    m_loader = std::thread([this, file = m_site->File()] {
        orv::site::CSiteBook::Opened opened = orv::site::CSiteBook::Open(file);
        std::optional<orv::site::ProfileEntry> entry;
        QString problem;
        if (opened.book) {
            entry = opened.book->Profile();
            if (entry) {
                // The camera it was taken from, by the name the site knows
                // and its MAC.
                const std::string key = entry->source;
                if (key.starts_with("mac:")) {
                    entry->source = key.substr(4);
                }
                for (const orv::site::SiteCamera& c : opened.book->Inventory()) {
                    if (c.key == key && !c.name.empty()) {
                        entry->source = c.name + " (" + entry->source + ")";
                    }
                }
            }
        } else if (opened.error) {
            problem = QString::fromStdString(opened.error->text);
        }
        QMetaObject::invokeMethod(
            this,
            [this, entry = std::move(entry), problem] {
                m_loading = false;
                showProfile(entry, problem);
            },
            Qt::QueuedConnection);
    });
}

void CComplianceDlg::showProfile(std::optional<orv::site::ProfileEntry> entry, QString problem) {
    m_profile.reset();
    if (!problem.isEmpty()) {
        m_profileLabel->setText(problem);
    } else if (!entry) {
        m_profileLabel->setText(LangText(
            L"96073", L"This site has no profile yet: choose one camera on Network Settings, "
                      L"then Save as site profile... in the site menu."));
    } else if (const orv::profile::ReadResult read = orv::profile::ReadProfile(entry->text);
               read.error) {
        m_profileLabel->setText(
            QString::fromStdString(orv::profile::ErrorText("site profile", *read.error)));
    } else {
        m_profile = read.profile;
        QString text = LangText(L"96074", L"Profile taken from %1 on %2.")
                           .arg(QString::fromStdString(entry->source),
                                QDateTime::fromMSecsSinceEpoch(entry->savedMs)
                                    .toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        if (m_profile->firmware) {
            text += QLatin1Char(' ') + LangText(L"96075", L"Firmware target: %1.")
                                           .arg(QString::fromStdString(*m_profile->firmware));
        }
        m_profileLabel->setText(text);
    }
    m_status->clear();
    if (m_profile) {
        Check();
    } else {
        m_differing.clear();
        m_table->setRowCount(0);
        emit checked();
    }
    updateButtons();
}

void CComplianceDlg::Check() {
    if (!m_profile || m_checkJob != 0) {
        return;
    }
    const std::vector<orv::device::DeviceInfo> cameras = m_hooks.live();
    m_checkedCount = static_cast<int>(cameras.size());
    m_results = std::make_shared<orv::profile::ComplianceResults>();
    m_status->setText(LangText(L"96076", L"Checking %1 cameras...").arg(cameras.size()));
    m_checkJob = m_jobs.Start(orv::profile::ComplianceJob(
        *m_profile, orv::profile::BuildPerCamera(*m_profile, cameras, m_jobs.Drivers()),
        m_hooks.login(), m_results));
    updateButtons();
}

void CComplianceDlg::showChecked() {
    std::vector<orv::profile::CheckedCamera> all;
    {
        const std::lock_guard hold(m_results->lock);
        all = std::move(m_results->cameras);
    }
    m_differing = orv::profile::Differing(all);
    m_table->setRowCount(static_cast<int>(m_differing.size()));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const orv::profile::CheckedCamera& c = m_differing[static_cast<std::size_t>(row)];
        const QString cells[ColumnCount] = {c.device.name, orv::device::Ipv4Text(c.device.address),
                                            QString::fromStdString(c.device.MacText()),
                                            c.device.firmware,
                                            QString::fromStdString(orv::profile::WhatDiffers(c))};
        for (int column = 0; column < ColumnCount; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            m_table->setItem(row, column, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_status->setText(
        m_differing.empty()
            ? LangText(L"96078", L"All %1 cameras keep to the site's profile.").arg(all.size())
            : LangText(L"96077", L"%1 of %2 cameras differ from the site's profile.")
                  .arg(m_differing.size())
                  .arg(all.size()));
    emit checked();
}

void CComplianceDlg::ApplyProfile() {
    if (!m_profile || m_differing.empty() || m_jobs.AnyRunning()) {
        return;
    }
    std::string error;
    std::optional<orv::jobs::JobSpec> order =
        orv::profile::ApplyJob(*m_profile, m_differing, m_jobs.Drivers(), m_hooks.login(), error);
    if (!order) {
        orv::ui::ShowMessage(this, QString::fromStdString(error));
        return;
    }
    if (!orv::ui::AskYesNo(this, LangText(L"96079", L"Put the profile's settings on %1 cameras? "
                                                    L"Each gets only the settings it differs in; "
                                                    L"the site's history can undo it.")
                                     .arg(order->targets.size()))) {
        return;
    }
    m_recheck = m_hooks.apply(std::move(*order));
    updateButtons();
}

void CComplianceDlg::updateButtons() {
    const bool busy = Checking() || m_jobs.AnyRunning();
    m_check->setEnabled(!busy);
    m_apply->setEnabled(!busy && m_profile && !m_differing.empty());
}
