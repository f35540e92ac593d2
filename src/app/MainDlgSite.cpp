// The main window's site: opening and switching sites, the site menu and
// what it starts (history, undo and backups, the site's profile and its
// compliance, the cameras' own passwords), and the work on the site's files
// that runs off the window thread.

#include "MainDlg.h"
#include "file/RegularFile.h"
#include "operations/common/ResultLines.h"
#include "operations/history/Backup.h"
#include "operations/history/Undo.h"
#include "operations/profile/SiteProfile.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/compliance/ComplianceDlg.h"
#include "pages/handover/HandoverDlg.h"
#include "pages/history/HistoryDlg.h"
#include "pages/network/SearchDlg.h"
#include "secrets/PasswordExport.h"
#include "ui/FileDialog.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/PopupMenu.h"
#include "ui/TextInput.h"
#include "ui/controls/LinkLabel.h"
#include "ui/controls/PageContainer.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QMenu>

using orv::ui::LangText;

void CMainDlg::OpenSites(const std::filesystem::path& folder) {
    m_sites = std::make_unique<CSiteSwitch>(folder);
    connect(m_sites.get(), &CSiteSwitch::opened, this, &CMainDlg::siteOpened);
    connect(m_sites.get(), &CSiteSwitch::refused, this, [this](const QString& text) {
        m_services->AddOperatingInfo(text);
        orv::ui::ShowMessage(this, text);
    });
    m_sites->OpenLast();
}

void CMainDlg::siteOpened(const QString& name, std::shared_ptr<orv::CSiteJournal> journal,
                          const std::vector<CSiteSwitch::Remembered>& cameras,
                          std::shared_ptr<orv::secrets::CPasswordVault> vault) {
    if (m_shutDown) {
        return;
    }
    // The cameras that answered before the site was open are its cameras too.
    if (!m_devicePages.empty()) {
        journal->NoteSeen(m_devicePages.front()->Devices().Devices());
    }
    m_devices.OpenSite(std::move(journal));
    if (vault && vault->KeepsIn().empty()) {
        m_services->AddOperatingInfo(LangText(L"96062",
                                              L"No keyring answers here: the cameras' own "
                                              L"passwords of the site \"%1\" need its passphrase "
                                              L"(site menu, Site passphrase...).")
                                         .arg(name));
    }
    m_devices.OpenVault(std::move(vault));
    m_siteName = name;
    auto rows = std::make_shared<std::vector<orv::DeviceRow>>();
    rows->reserve(cameras.size());
    for (const CSiteSwitch::Remembered& c : cameras) {
        rows->push_back({c.device, c.lastSeen, true});
    }
    for (CDeviceListPage* page : m_devicePages) {
        orv::CDeviceList& list = page->Devices();
        // Another site's cameras that do not answer are not this site's.
        list.RemoveOffline();
        list.SetKeepsSilent(true);
        // One page per turn of the event loop: thousands of rows on every
        // page at once would hold the window for tens of milliseconds.
        QMetaObject::invokeMethod(
            page, [&list, rows] { list.AddOffline(*rows); }, Qt::QueuedConnection);
    }
    m_siteLabel->show();
    m_siteLabel->setText(LangText(L"96000", L"Site: %1").arg(m_siteName));
    m_services->AddOperatingInfo(
        LangText(L"96008", L"Site \"%1\" opened: %2 cameras known.").arg(name).arg(cameras.size()));
}

void CMainDlg::ShowSiteMenu() {
    if (m_sites) {
        m_sites->ListSites([this](const QStringList& names) { showSiteMenu(names); });
    }
}

void CMainDlg::showSiteMenu(const QStringList& names) {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("siteMenu"));
    for (const QString& name : names) {
        QAction* site = menu.addAction(name);
        site->setCheckable(true);
        site->setChecked(name == m_siteName);
    }
    menu.addSeparator();
    QAction* create = menu.addAction(LangText(L"96001", L"New site..."));
    QAction* rename = menu.addAction(LangText(L"96002", L"Rename site..."));
    menu.addSeparator();
    QAction* history = menu.addAction(LangText(L"96003", L"Site history..."));
    history->setEnabled(m_devices.Site() != nullptr);
    // The checked cameras of Network Settings, or its current one.
    QAction* backup = menu.addAction(LangText(L"96045", L"Back up settings"));
    // From the one camera Network Settings has picked.
    QAction* saveProfile = menu.addAction(LangText(L"96063", L"Save as site profile..."));
    QAction* compliance = menu.addAction(LangText(L"96064", L"Compliance..."));
    // Batch Set's checked cameras, or its current one.
    QAction* rotate = menu.addAction(LangText(L"96084", L"Rotate passwords..."));
    QAction* exportPasswords = menu.addAction(LangText(L"96054", L"Export passwords..."));
    QAction* handover = menu.addAction(LangText(L"96087", L"Export handover report..."));
    QAction* passphrase = menu.addAction(LangText(L"96061", L"Site passphrase..."));
    // A site's book cannot change its name under a running job.
    const bool busy = m_devices.Jobs().AnyRunning();
    backup->setEnabled(m_devices.Site() != nullptr && !busy && !m_searchPage->Targets().empty());
    rename->setEnabled(!busy && m_devices.Site() != nullptr);
    saveProfile->setEnabled(m_devices.Site() != nullptr && !busy && !m_secretsBusy &&
                            m_searchPage->Targets().size() == 1);
    compliance->setEnabled(m_devices.Site() != nullptr);
    handover->setEnabled(m_devices.Site() != nullptr && !m_secretsBusy);
    exportPasswords->setEnabled(m_devices.Vault() != nullptr && !m_secretsBusy);
    rotate->setEnabled(m_devices.Vault() != nullptr && !m_secretsBusy && !busy &&
                       !m_batchSetPage->Operations().Targets().empty());
    // Only where the passwords are sealed and the key is not made yet.
    passphrase->setEnabled(m_devices.Vault() != nullptr && !m_secretsBusy &&
                           m_devices.Vault()->KeepsIn() != orv::secrets::CPasswordVault::kKeyring &&
                           !m_devices.Vault()->Unlocked());
    QAction* chosen = orv::ui::ExecPopupMenu(menu, QCursor::pos());
    if (chosen == nullptr) {
        return;
    }
    if (chosen == history) {
        ShowHistory();
    } else if (chosen == backup) {
        BackUpSettings();
    } else if (chosen == saveProfile) {
        SaveSiteProfile();
    } else if (chosen == compliance) {
        ShowCompliance();
    } else if (chosen == rotate) {
        RotatePasswords();
    } else if (chosen == exportPasswords) {
        ExportPasswords();
    } else if (chosen == handover) {
        ShowHandover();
    } else if (chosen == passphrase) {
        AskSitePassphrase();
    } else if (chosen == create) {
        if (const std::optional<QString> name =
                orv::ui::AskText(this, LangText(L"96004", L"New site"),
                                 LangText(L"96005", L"Name of the new site:"))) {
            m_sites->Create(name->trimmed());
        }
    } else if (chosen == rename) {
        const std::optional<QString> name = orv::ui::AskText(
            this, LangText(L"96006", L"Rename site"),
            LangText(L"96007", L"New name of the site \"%1\":").arg(m_siteName), m_siteName);
        if (name && name->trimmed() != m_siteName && !m_devices.Jobs().AnyRunning()) {
            // Its history and compliance windows read the book too: they
            // close first.
            delete m_history;
            delete m_compliance;
            delete m_handover;
            std::shared_ptr<orv::CSiteJournal> open = m_devices.Site();
            m_devices.OpenSite(nullptr);
            m_devices.OpenVault(nullptr);
            m_sites->RenameOpen(std::move(open), name->trimmed());
        }
    } else if (chosen->text() != m_siteName) {
        m_sites->Open(chosen->text());
    }
}

CHistoryDlg* CMainDlg::ShowHistory() {
    if (m_devices.Site() == nullptr) {
        return nullptr;
    }
    if (m_history && m_history->Site() == m_devices.Site()) {
        m_history->Reload();
    } else {
        delete m_history;
        m_history = new CHistoryDlg(
            m_devices.Site(), [this] { return m_searchPage->Devices().Devices(); }, this);
        m_history->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_history, &CHistoryDlg::undoRequested, this, &CMainDlg::UndoJob);
        connect(m_history, &CHistoryDlg::restoreRequested, this, &CMainDlg::RestoreBackup);
        connect(&m_devices.Jobs(), &orv::jobs::CJobEngine::finished, m_history, [this] {
            if (!m_devices.Jobs().AnyRunning()) {
                m_history->SetBusy(false);
                m_history->Reload();
            }
        });
    }
    m_history->show();
    m_history->raise();
    return m_history;
}

bool CMainDlg::UndoJob(std::int64_t job, const std::vector<orv::site::ChangeEntry>& changes) {
    if (m_devices.Jobs().AnyRunning()) {
        orv::ui::ShowMessage(this,
                             LangText(L"96012", L"A job is running; undo when it has ended."));
        return false;
    }
    const orv::history::UndoPlan plan = orv::history::PlanUndo(changes);
    // Every answering camera is on the Network Settings list, whose page
    // shows the undo's progress and results.
    const std::vector<orv::device::DeviceInfo> present = m_searchPage->Devices().Devices();
    std::vector<std::string> missing;
    orv::jobs::JobSpec settings =
        orv::history::UndoJob(job, plan, present, m_devices.DefaultCredentials(), missing);
    std::vector<orv::network::ModifyRequest> addresses;
    for (const orv::history::UndoCamera& camera : plan.cameras) {
        const orv::device::DeviceId id = orv::device::DeviceId::FromText(camera.camera);
        const orv::DeviceRow* row = m_searchPage->Devices().Find(id);
        if (!camera.address || row == nullptr || row->offline) {
            continue;
        }
        orv::device::AddressChange back = *camera.address;
        if (back.name.isEmpty()) {
            back.name = row->info.name; // a change recorded without its name
        }
        addresses.push_back({row->info, back, m_devices.DefaultCredentials()});
    }
    const int cameras = static_cast<int>(settings.targets.size() + addresses.size());
    if (cameras == 0) {
        orv::ui::ShowMessage(this, LangText(L"96013", L"No camera that job %1 changed answers "
                                                      L"now: nothing can be put back.")
                                       .arg(job));
        return false;
    }
    if (!orv::ui::AskYesNo(this,
                           LangText(L"96040", L"Put back the changes of job %1 on %2 cameras?")
                               .arg(job)
                               .arg(cameras))) {
        return false;
    }
    if (!missing.empty()) {
        std::vector<orv::DeviceRow> rows;
        for (const std::string& key : missing) {
            orv::DeviceRow row;
            row.info.id = orv::device::DeviceId::FromText(key);
            if (const orv::DeviceRow* known = m_searchPage->Devices().Find(row.info.id)) {
                row = *known;
            } else {
                row.info.name = QString::fromStdString(key);
            }
            rows.push_back(row);
        }
        m_services->AddOperatingInfo(orv::NotAnsweringLine(rows));
    }
    if (m_history) {
        m_history->SetBusy(true);
    }
    m_pageContainer->setCurrentWidget(m_searchPage);
    m_searchPage->RunSiteJob(std::move(settings), std::move(addresses));
    return true;
}

bool CMainDlg::RestoreBackup(const std::vector<orv::site::ChangeEntry>& changes,
                             const orv::device::DeviceInfo& target) {
    if (changes.empty() || m_devices.Jobs().AnyRunning()) {
        if (!changes.empty()) {
            orv::ui::ShowMessage(this,
                                 LangText(L"96012", L"A job is running; undo when it has ended."));
        }
        return false;
    }
    const orv::history::UndoCamera known =
        orv::history::KnownSettings(changes.front().camera, changes);
    if (known.settings.empty()) {
        return false;
    }
    if (m_history) {
        m_history->SetBusy(true);
    }
    m_pageContainer->setCurrentWidget(m_searchPage);
    m_searchPage->RunSiteJob(
        orv::history::RestoreJob(known, target, m_devices.DefaultCredentials()));
    return true;
}

void CMainDlg::BackUpSettings() {
    const std::vector<orv::device::DeviceInfo> cameras = m_searchPage->Targets();
    if (cameras.empty() || m_devices.Jobs().AnyRunning() || m_devices.Site() == nullptr) {
        return;
    }
    m_pageContainer->setCurrentWidget(m_searchPage);
    m_searchPage->RunSiteJob(orv::history::BackupJob(cameras, m_devices.DefaultCredentials()));
}

void CMainDlg::SaveSiteProfile() {
    const std::vector<orv::device::DeviceInfo> picked = m_searchPage->Targets();
    if (m_devices.Site() == nullptr || m_secretsBusy || m_devices.Jobs().AnyRunning()) {
        return;
    }
    if (picked.size() != 1) {
        orv::ui::ShowMessage(this, LangText(L"96082", L"Choose one camera on Network Settings "
                                                      L"whose settings the site's cameras are "
                                                      L"to share."));
        return;
    }
    const QString file = orv::ui::GetSaveFileName(this, QStringLiteral("JSON (*.json)"),
                                                  m_siteName + QStringLiteral("-profile.json"));
    if (file.isEmpty()) {
        return;
    }
    auto settings = std::make_shared<orv::batchset::DeviceSettings>();
    const orv::jobs::JobId read = m_devices.Jobs().Start(orv::batchset::CBatchOperations::ReadJob(
        picked[0], m_devices.DefaultCredentials(), orv::batchset::ReadScope::Everything, settings));
    m_devices.Jobs().WhenFinished(read, this, [this, settings, file, site = m_devices.Site()] {
        const QString camera = settings->device.name.isEmpty()
                                   ? QString::fromStdString(settings->device.MacText())
                                   : settings->device.name;
        if (!settings->loggedIn || m_shutDown) {
            m_services->AddOperatingInfo(LangText(L"96083", L"The settings of %1 could not be "
                                                            L"read: no site profile was saved.")
                                             .arg(camera));
            return;
        }
        const orv::profile::TakenProfile taken = orv::profile::ProfileOf(*settings);
        runOffWindow([taken, site, file, camera, key = orv::CSiteJournal::KeyOf(settings->device)] {
            const std::string text = orv::profile::ProfileText(taken.profile);
            if (const orv::FileError error =
                    orv::WriteRegularFile(std::filesystem::path(file.toStdU16String()), text);
                error != orv::FileError::None) {
                return LangText(L"96081", L"The site profile could not be saved: %1")
                    .arg(QString::fromStdString(std::string(orv::Describe(error))));
            }
            orv::site::CSiteBook::Opened opened = orv::site::CSiteBook::Open(site->File());
            if (!opened.book) {
                return LangText(L"96081", L"The site profile could not be saved: %1")
                    .arg(QString::fromStdString(opened.error ? opened.error->text : ""));
            }
            opened.book->PutProfile({text, key, QDateTime::currentMSecsSinceEpoch()});
            QStringList leftOut;
            for (const std::string& what : taken.leftOut) {
                leftOut << QString::fromStdString(what);
            }
            return LangText(L"96080", L"Site profile saved to %1 and kept in the site's book, "
                                      L"taken from %2. Left out: %3.")
                .arg(QDir::toNativeSeparators(file), camera, leftOut.join(QStringLiteral("; ")));
        });
    });
}

CComplianceDlg* CMainDlg::ShowCompliance() {
    if (m_devices.Site() == nullptr) {
        return nullptr;
    }
    if (m_compliance && m_compliance->Site() == m_devices.Site()) {
        m_compliance->Reload();
    } else {
        delete m_compliance;
        CComplianceDlg::Hooks hooks;
        hooks.live = [this] { return m_searchPage->Devices().Devices(); };
        hooks.login = [this] { return m_devices.DefaultCredentials(); };
        hooks.apply = [this](orv::jobs::JobSpec order) {
            if (m_devices.Jobs().AnyRunning()) {
                return false;
            }
            if (m_history) {
                m_history->SetBusy(true);
            }
            // Network Settings shows the job's progress and results.
            m_pageContainer->setCurrentWidget(m_searchPage);
            m_searchPage->RunSiteJob(std::move(order));
            return true;
        };
        m_compliance =
            new CComplianceDlg(m_devices.Site(), m_devices.Jobs(), std::move(hooks), this);
        m_compliance->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_compliance->show();
    m_compliance->raise();
    return m_compliance;
}

CHandoverDlg* CMainDlg::ShowHandover() {
    if (m_devices.Site() == nullptr) {
        return nullptr;
    }
    if (!m_handover || m_handover->Site() != m_devices.Site()) {
        delete m_handover;
        CHandoverDlg::Hooks hooks;
        hooks.live = [this] { return m_searchPage->Devices().Devices(); };
        hooks.login = [this] { return m_devices.DefaultCredentials(); };
        hooks.vault = [this] { return m_devices.Vault(); };
        hooks.offWindow = [this](std::function<QString()> work, std::function<void()> then) {
            runOffWindow(std::move(work), std::move(then));
        };
        m_handover = new CHandoverDlg(m_devices.Site(), m_devices.Jobs(), std::move(hooks), this);
        m_handover->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_handover->show();
    m_handover->raise();
    return m_handover;
}

void CMainDlg::runOffWindow(std::function<QString()> work, std::function<void()> then) {
    // One such piece of work at a time, in turn. The window thread never
    // waits for the one before: that one may be waiting for the keyring,
    // which only this thread serves.
    if (m_secretsBusy) {
        m_offWindowQueue.push_back({std::move(work), std::move(then)});
        return;
    }
    if (m_secretsWork.joinable()) {
        m_secretsWork.join(); // it has handed its result over: it is ending
    }
    m_secretsBusy = true;
    m_secretsWork = std::thread([this, work = std::move(work), then = std::move(then)] {
        const QString text = work();
        QMetaObject::invokeMethod(
            this,
            [this, text, then] {
                m_secretsBusy = false;
                if (!text.isEmpty()) {
                    m_services->AddOperatingInfo(text);
                    if (!m_shutDown) {
                        orv::ui::ShowMessage(this, text);
                    }
                }
                if (then && !m_shutDown) {
                    then();
                }
                if (!m_offWindowQueue.empty() && !m_secretsBusy && !m_shutDown) {
                    OffWindow next = std::move(m_offWindowQueue.front());
                    m_offWindowQueue.pop_front();
                    runOffWindow(std::move(next.work), std::move(next.then));
                }
            },
            Qt::QueuedConnection);
    });
}

void CMainDlg::ExportPasswords() {
    std::shared_ptr<orv::secrets::CPasswordVault> vault = m_devices.Vault();
    if (vault == nullptr || m_secretsBusy || m_devices.Site() == nullptr) {
        return;
    }
    const QString file = orv::ui::GetSaveFileName(this, QStringLiteral("CSV (*.csv)"),
                                                  m_siteName + QStringLiteral("-passwords.csv"));
    if (file.isEmpty()) {
        return;
    }
    runOffWindow([vault, site = m_siteName.toStdString(), book = m_devices.Site()->File(), file] {
        const orv::secrets::ExportResult written =
            orv::secrets::ExportPasswords(*vault, site, book, file.toStdString());
        if (!written.error.empty()) {
            return LangText(L"96056", L"The passwords could not be written: %1")
                .arg(QString::fromStdString(written.error));
        }
        QString text = LangText(L"96055", L"Passwords of %1 cameras written to %2. The file "
                                          L"holds them in clear text: hand it over, then "
                                          L"delete it.")
                           .arg(written.cameras)
                           .arg(QDir::toNativeSeparators(file));
        if (written.unreadable > 0) {
            text += QLatin1Char(' ') +
                    LangText(L"96057", L"The passwords of %1 cameras could not be read (sealed "
                                       L"under a site passphrase this window was not given).")
                        .arg(written.unreadable);
        }
        return text;
    });
}

void CMainDlg::RotatePasswords() {
    std::shared_ptr<orv::secrets::CPasswordVault> vault = m_devices.Vault();
    if (vault == nullptr || m_secretsBusy) {
        return;
    }
    // A rotated password exists nowhere else: without a place to keep it,
    // nothing starts.
    if (vault->KeepsIn().empty()) {
        orv::ui::ShowMessage(this, LangText(L"96086", L"The new passwords need a place to be "
                                                      L"kept: no keyring answers here, so give "
                                                      L"the site passphrase first (site menu, "
                                                      L"Site passphrase...). No password was "
                                                      L"changed."));
        return;
    }
    if (vault->KeepsIn() == orv::secrets::CPasswordVault::kSealed && !vault->Unlocked()) {
        // The site's key is derived from the passphrase once, off this
        // thread; a wrong passphrase is said and nothing starts.
        runOffWindow(
            [vault] {
                std::string error;
                return vault->Unlock(error) ? QString() : QString::fromStdString(error);
            },
            [this, vault] {
                if (vault->Unlocked()) {
                    RotatePasswords();
                }
            });
        return;
    }
    m_pageContainer->setCurrentWidget(m_batchSetPage);
    m_batchSetPage->RotatePasswords(
        [vault](const orv::device::DeviceInfo& camera, const QString& user,
                const std::string& password,
                std::string& why) { return vault->KeepNew(camera, user, password, why); });
}

void CMainDlg::AskSitePassphrase() {
    std::shared_ptr<orv::secrets::CPasswordVault> vault = m_devices.Vault();
    if (vault == nullptr || m_secretsBusy) {
        return;
    }
    const std::optional<QString> passphrase = orv::ui::AskText(
        this, LangText(L"96058", L"Site passphrase"),
        LangText(L"96059", L"Passphrase of the site \"%1\" (the cameras' own passwords are "
                           L"sealed under it where no keyring answers):")
            .arg(m_siteName),
        {}, orv::ui::Echo::Hidden);
    if (!passphrase || passphrase->isEmpty()) {
        return;
    }
    runOffWindow([vault, given = passphrase->toStdString(), site = m_siteName] {
        std::string error;
        if (!vault->GivePassphrase(given, error)) {
            return QString::fromStdString(error);
        }
        return LangText(L"96060", L"The cameras' own passwords of the site \"%1\" are open.")
            .arg(site);
    });
}
