#include "HandoverDlg.h"

#include "report/HandoverPdf.h"
#include "secrets/PasswordExport.h"
#include "ui/FileDialog.h"
#include "ui/LangText.h"

#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using orv::ui::LangText;

CHandoverDlg::CHandoverDlg(std::shared_ptr<orv::CSiteJournal> site, orv::jobs::CJobEngine& jobs,
                           Hooks hooks, QWidget* parent)
    : QDialog(parent), m_site(std::move(site)), m_jobs(jobs), m_hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("handoverDialog"));
    m_installer = new QLineEdit(QString::fromStdString(orv::OsUserFullName()), this);
    m_installer->setObjectName(QStringLiteral("handoverInstaller"));
    m_installer->setMaxLength(120);
    m_passwords = new QCheckBox(this);
    m_passwords->setObjectName(QStringLiteral("handoverPasswords"));
    m_passwords->setEnabled(m_hooks.vault() != nullptr);
    m_passwordsNote = new QLabel(this);
    m_passwordsNote->setWordWrap(true);
    m_passwordsNote->setTextFormat(Qt::PlainText);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("handoverStatus"));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
    m_export = new QPushButton(this);
    m_export->setObjectName(QStringLiteral("handoverExport"));
    m_export->setDefault(true);
    m_close = new QPushButton(this);
    m_close->setObjectName(QStringLiteral("handoverClose"));

    auto* form = new QFormLayout;
    form->addRow(LangText(L"98001", L"Installer:"), m_installer);
    form->addRow(QString(), m_passwords);
    form->addRow(QString(), m_passwordsNote);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_export);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_status);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(m_export, &QPushButton::clicked, this, &CHandoverDlg::ChooseAndExport);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_passwords, &QCheckBox::toggled, m_passwordsNote, &QLabel::setVisible);
    connect(&m_jobs, &orv::jobs::CJobEngine::progress, this,
            [this](orv::jobs::JobId job, int done, int total) {
                if (job == m_readJob) {
                    m_status->setText(
                        LangText(L"98009", L"%1 of %2 cameras read...").arg(done).arg(total));
                }
            });
    connect(&m_jobs, &orv::jobs::CJobEngine::finished, this, [this](orv::jobs::JobId job) {
        if (job == m_readJob) {
            m_readJob = 0;
            write(m_file);
        }
    });
    setLanguageText();
    m_passwordsNote->setVisible(false);
    updateButtons();
    resize(520, 220);
}

CHandoverDlg::~CHandoverDlg() {
    if (m_readJob != 0) {
        // Its workers fill readings this dialog shares; the engine keeps
        // the job's objects until they end.
        m_jobs.Cancel(m_readJob);
    }
}

void CHandoverDlg::setLanguageText() {
    setWindowTitle(LangText(L"98000", L"Handover report: %1")
                       .arg(m_site ? QString::fromStdString(m_site->Site()) : QString()));
    m_passwords->setText(LangText(L"98002", L"Include passwords"));
    m_passwordsNote->setText(
        LangText(L"98003", L"The report then holds every camera's login: keep it as you would keep "
                           L"the passwords themselves. The file is readable by you alone."));
    m_export->setText(LangText(L"98004", L"Export..."));
    m_close->setText(LangText(L"96036", L"Close"));
}

void CHandoverDlg::updateButtons() {
    m_export->setEnabled(m_site != nullptr && !Busy());
    m_installer->setEnabled(!Busy());
    m_passwords->setEnabled(!Busy() && m_hooks.vault() != nullptr);
}

void CHandoverDlg::ChooseAndExport() {
    if (!m_site || Busy()) {
        return;
    }
    const QString date = QDate::currentDate().toString(Qt::ISODate);
    const QString file = orv::ui::GetSaveFileName(
        this, QStringLiteral("PDF (*.pdf);;CSV (*.csv);;JSON (*.json)"),
        QString::fromStdString(orv::report::ReportBaseName(m_site->Site(), date.toStdString())) +
            QStringLiteral(".pdf"));
    if (!file.isEmpty()) {
        Export(file);
    }
}

void CHandoverDlg::Export(const QString& file) {
    if (!m_site || Busy()) {
        return;
    }
    m_file = file;
    m_readings = std::make_shared<orv::report::Readings>();
    const std::vector<orv::device::DeviceInfo> cameras = m_hooks.live();
    if (cameras.empty()) {
        write(file);
        return;
    }
    m_status->setText(LangText(L"98005", L"Reading %1 cameras...").arg(cameras.size()));
    m_readJob = m_jobs.Start(
        orv::report::ReadingJob(cameras, m_hooks.login(), m_readings, orv::report::JpegOf));
    updateButtons();
}

void CHandoverDlg::write(const QString& file) {
    m_writing = true;
    m_status->setText(LangText(L"98006", L"Writing the report..."));
    updateButtons();
    orv::report::ReportInputs in;
    in.site = m_site->Site();
    in.installer = m_installer->text().trimmed().toStdString();
    in.tool = "Orvantix " + orv::ToolVersion();
    in.now = QDateTime::currentDateTime();
    {
        const std::lock_guard hold(m_readings->lock);
        in.readings = std::move(m_readings->cameras);
    }
    in.defaultLogin = m_hooks.login();
    std::shared_ptr<orv::secrets::CPasswordVault> vault =
        m_passwords->isChecked() ? m_hooks.vault() : nullptr;
    auto error = std::make_shared<QString>();
    m_hooks.offWindow(
        [in = std::move(in), vault, site = m_site, file, error]() mutable {
            site->Flush(); // the cameras discovery heard, the jobs up to now
            orv::site::CSiteBook::Opened opened = orv::site::CSiteBook::Open(site->File());
            if (!opened.book) {
                *error = QString::fromStdString(opened.error ? opened.error->text : "");
            } else {
                in.inventory = opened.book->Inventory();
                in.jobs = opened.book->JobSummaries();
                opened.book.reset();
                int unreadable = 0;
                if (vault) {
                    in.passwords = orv::secrets::HandoverLogins(*vault, unreadable);
                }
                const orv::report::HandoverReport report = orv::report::BuildReport(in);
                *error =
                    QString::fromStdString(orv::report::WriteReport(report, file.toStdString()));
                if (error->isEmpty()) {
                    int read = 0;
                    for (const orv::report::CameraReading& r : in.readings) {
                        read += r.problem.empty() ? 1 : 0;
                    }
                    QString text = LangText(L"98007", L"Handover report written to %1: %2 "
                                                      L"cameras, %3 of them read now, %4 jobs "
                                                      L"today.")
                                       .arg(QDir::toNativeSeparators(file))
                                       .arg(report.cameras.size())
                                       .arg(read)
                                       .arg(report.jobs.size());
                    if (unreadable > 0) {
                        text += QLatin1Char(' ') +
                                LangText(L"98011", L"The own passwords of %1 cameras could not "
                                                   L"be read (give the site passphrase first): "
                                                   L"the report names the default login for "
                                                   L"them.")
                                    .arg(unreadable);
                    }
                    return text;
                }
            }
            return LangText(L"98008", L"The handover report could not be written: %1").arg(*error);
        },
        [self = QPointer<CHandoverDlg>(this), file, error] {
            if (self) {
                self->m_writing = false;
                self->m_status->setText(
                    error->isEmpty()
                        ? LangText(L"98010", L"Written to %1.").arg(QDir::toNativeSeparators(file))
                        : LangText(L"98008", L"The handover report could not be written: %1")
                              .arg(*error));
                self->updateButtons();
                emit self->exported(file, *error);
            }
        });
}
