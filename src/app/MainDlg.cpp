#include "MainDlg.h"

#include "AboutDlg.h"
#include "LanguageMenuAdapter.h"
#include "ProcessState.h"
#include "SystemMenu.h"
#include "lang/Language.h"
#include "operations/common/ResultLines.h"
#include "operations/history/Backup.h"
#include "operations/history/Undo.h"
#include "operations/profile/SiteProfile.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/common/FieldLimit.h"
#include "pages/compliance/ComplianceDlg.h"
#include "pages/history/HistoryDlg.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/preview/VideoViewDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"
#include "file/RegularFile.h"
#include "secrets/PasswordExport.h"
#include "settings/SettingsStore.h"
#include "text/TextConv.h"
#include "ui/DialogFont.h"
#include "ui/FileDialog.h"
#include "ui/FormLayout.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/PopupMenu.h"
#include "ui/TextInput.h"
#include "ui/controls/LinkLabel.h"
#include "ui/controls/PageContainer.h"
#include "ui/controls/PictureCtrl.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QShortcut>
#include <QVBoxLayout>

#include <array>
#include <initializer_list>
#include <utility>

using orv::ui::LangText;

// The artwork is compiled into a static library, whose resources must be
// registered by name before the first use.
static void initArtwork() {
    Q_INIT_RESOURCE(orvantix);
}

namespace {

constexpr int kAboutCommand = 0x10;
constexpr int kMinTabWidth = 80;
constexpr auto kAboutMenuText = "&About Orvantix...";

} // namespace

CMainDlg::CMainDlg(bool oemMode, Discovery discovery, QWidget* parent,
                   const std::vector<orv::device::IDeviceDriver*>& moreDrivers)
    : QDialog(parent), m_oemMode(oemMode), m_discoveryMode(discovery),
      m_devices(orv::jobs::CJobEngine::ConcurrencyFromEnvironment(), moreDrivers, {},
                orv::PinFilePath()) {
    initArtwork();
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Orvantix"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    createControls();
    m_services =
        std::make_unique<CWindowServices>(*m_userEdit, *m_passwordEdit, *m_infoList, m_devices);
    // The pages read the language and the default password as they are
    // made (the OEM page its column headers, the System sub-page its
    // password fields), so both are in place first.
    restoreLanguageAndCredentials();
    createPages();
    initDialog();
}

CMainDlg::~CMainDlg() {
    shutDown();
    storeCredentials();
    // The pages end their jobs through the engine, a member of this window
    // that is gone before QWidget deletes the children: they go first.
    for (QWidget* page : std::initializer_list<QWidget*>{m_searchPage, m_batchSetPage,
                                                         m_upgradePage, m_videoPage, m_oemPage}) {
        delete page;
    }
    m_devicePages.clear();
}

void CMainDlg::createControls() {
    m_bannerCtrl = new orv::ui::CPictureCtrl(this);
    m_bannerCtrl->setObjectName(QStringLiteral("banner"));

    m_pageFrame = new QFrame(this);
    m_pageFrame->setObjectName(QStringLiteral("pageFrame"));
    m_pageFrame->setFrameShape(QFrame::NoFrame);

    m_pageContainer = new orv::ui::CPageContainer(this);
    m_pageContainer->setObjectName(QStringLiteral("pageContainer"));

    m_languageLabel = new orv::ui::CLinkLabel(this);
    m_languageLabel->setObjectName(QStringLiteral("languageLabel"));
    connect(m_languageLabel, &orv::ui::CLinkLabel::clicked, this, &CMainDlg::ShowLanguageMenu);
    m_siteLabel = new orv::ui::CLinkLabel(this);
    m_siteLabel->setObjectName(QStringLiteral("siteLabel"));
    m_siteLabel->hide(); // until a site is open
    connect(m_siteLabel, &orv::ui::CLinkLabel::clicked, this, &CMainDlg::ShowSiteMenu);

    m_userBox = new QGroupBox(this);
    m_userBox->setObjectName(QStringLiteral("defaultUserBox"));
    m_userLabel = new QLabel(this);
    m_userLabel->setObjectName(QStringLiteral("userLabel"));
    m_userEdit = new QLineEdit(this);
    m_userEdit->setObjectName(QStringLiteral("userEdit"));
    m_passwordLabel = new QLabel(this);
    m_passwordLabel->setObjectName(QStringLiteral("passwordLabel"));
    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    m_passwordEdit->setEchoMode(QLineEdit::Password);

    m_infoBox = new QGroupBox(this);
    m_infoBox->setObjectName(QStringLiteral("operatingInfoBox"));
    m_infoList = new QListWidget(this);
    m_infoList->setObjectName(QStringLiteral("operatingInfoList"));
    m_infoList->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every line is one line of text: the view lays out a new line without
    // measuring the others, which a job's hundreds of lines would cost.
    m_infoList->setUniformItemSizes(true);
}

void CMainDlg::createPages() {
    // Every page exists for the life of the window; the OEM page takes part
    // in the page container only in OEM mode.
    orv::jobs::CJobEngine& jobs = m_devices.Jobs();
    m_searchPage = new CSearchDlg(*m_services, jobs, this);
    m_batchSetPage = new CBatchSetDlg(*m_services, jobs, this);
    m_upgradePage = new CBatchUpgradeDlg(*m_services, jobs, this);
    m_videoPage = new CVideoViewDlg(*m_services, jobs, this);
    m_oemPage = new COemDlg(*m_services, jobs, this);
    m_oemPage->hide();

    m_devicePages = {m_searchPage, m_batchSetPage, m_upgradePage, m_videoPage};
    if (m_oemMode) {
        m_devicePages.push_back(m_oemPage);
    }
    for (QLineEdit* edit : {m_userEdit, m_passwordEdit}) {
        connect(edit, &QLineEdit::textChanged, this, [this] {
            shareCredentials();
            for (CPageDlg* page : m_devicePages) {
                page->DefaultCredentialsChanged();
            }
        });
    }
    connectPages();
}

void CMainDlg::connectPages() {
    // Every page takes each batch of answers in the same order; the hub
    // emits on the window thread.
    orv::CDiscoveryHub& hub = m_devices.Hub();
    for (CDeviceListPage* page : m_devicePages) {
        connect(&hub, &orv::CDiscoveryHub::devicesFound, page, &CDeviceListPage::OnDevicesFound);
        connect(&hub, &orv::CDiscoveryHub::modifyDone, page, &CDeviceListPage::OnModifyDone);
        connect(&hub, &orv::CDiscoveryHub::modifyFailed, page, &CDeviceListPage::OnModifyFailed);
        // Every list reaches the ceiling with the same answer; one line says so.
        connect(&page->Devices(), &orv::CDeviceList::full, this, [this](int ceiling) {
            if (std::exchange(m_listsFullReported, true)) {
                return;
            }
            m_services->AddOperatingInfo(LangText(L"95018",
                                                  L"More than %1 cameras answer; further cameras "
                                                  L"are not listed.")
                                             .arg(ceiling));
        });
    }
    connect(&hub, &orv::CDiscoveryHub::modifyFailed, this,
            [this](const orv::device::DeviceInfo& device, orv::device::Fault) {
                orv::AddResultLine(*m_services, orv::ModifyResultLine(device, false));
            });
    connect(&hub, &orv::CDiscoveryHub::captureProblem, this,
            [this](const QString& text) { m_services->AddOperatingInfo(text); });
}

void CMainDlg::restoreLanguageAndCredentials() {
    TheLanguage().LoadSavedLanguage();
    m_userEdit->setMaxLength(kUserMaxChars);
    m_passwordEdit->setMaxLength(kPasswordMaxChars);
    // Every login and modify request carries them, in fields of fixed size
    // for some protocols.
    orv::LimitToTaken(m_userEdit, m_devices.Drivers(), orv::device::TextField::User);
    orv::LimitToTaken(m_passwordEdit, m_devices.Drivers(), orv::device::TextField::Password);
    readCredentials();
}

void CMainDlg::initDialog() {
    m_banner = QPixmap(QStringLiteral(":/orvantix/banner.png"));
    setWindowIcon(QIcon(QStringLiteral(":/orvantix/icon.png")));

    m_pageContainer->addTab(m_searchPage, QString());
    m_pageContainer->addTab(m_batchSetPage, QString());
    m_pageContainer->addTab(m_upgradePage, QString());
    m_pageContainer->addTab(m_videoPage, QString());
    if (m_oemMode) {
        m_pageContainer->addTab(m_oemPage, QString());
    }
    m_pageContainer->setCurrentWidget(m_searchPage);
    m_pageContainer->SetMinTabWidth(kMinTabWidth);

    SetLanguageText();

    m_bannerCtrl->SetPixmap(m_banner);
    layoutControls();
    // The layouts set the smallest size at which every page shows all its
    // controls whole.
    resize(1024, 720);

    shareCredentials();
    m_devices.StartDiscovery(m_discoveryMode == Discovery::AllAdapters);

    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, &CMainDlg::ShowAboutBox);
    orv::AddAboutToSystemMenu(*this, kAboutCommand);
}

void CMainDlg::readCredentials() {
    const orv::Credentials stored = orv::LoadCredentials();
    m_userEdit->setText(QString::fromStdU16String(stored.user));
    m_passwordEdit->setText(QString::fromStdU16String(stored.password));
}

void CMainDlg::shareCredentials() {
    // ONVIF cameras are asked their details with the default login, on the
    // driver's own threads: they get a copy, never the edits.
    m_devices.SetDefaultCredentials(
        {m_userEdit->text().trimmed(), m_passwordEdit->text().trimmed()});
}

void CMainDlg::storeCredentials() {
    orv::StoreCredentials({m_userEdit->text().trimmed().toStdU16String(),
                           m_passwordEdit->text().trimmed().toStdU16String()});
}

void CMainDlg::SetLanguageText() {
    m_languageLabel->setText(LangText(L"10000", L"Language"));
    m_pageContainer->setTabText(0, LangText(L"10001", L"Network Settings"));
    m_pageContainer->setTabText(1, LangText(L"10002", L"Batch Set"));
    m_pageContainer->setTabText(2, LangText(L"10003", L"Batch Upgrade"));
    m_pageContainer->setTabText(3, LangText(L"10004", L"Video Previews"));
    if (m_oemMode) {
        m_pageContainer->setTabText(4, QStringLiteral("OEM"));
    }
    m_userBox->setTitle(LangText(L"10005", L"Default User"));
    m_userLabel->setText(LangText(L"10006", L"Username:"));
    m_passwordLabel->setText(LangText(L"10007", L"Password:"));
    m_infoBox->setTitle(LangText(L"10008", L"Operating Information:"));
    m_siteLabel->setText(LangText(L"96000", L"Site: %1").arg(m_siteName));

    for (CPageDlg* page :
         std::array<CPageDlg*, 4>{m_searchPage, m_batchSetPage, m_upgradePage, m_videoPage}) {
        page->SetLanguageText();
    }
}

void CMainDlg::ShowLanguageMenu() {
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("languageMenu"));
    QAction* placeholder = menu.addAction(QStringLiteral("&English"));
    placeholder->setData(CLanguage::kPlaceholderCommand);

    TheLanguage().SetMenuCounter(CLanguage::kFirstCommand);
    orv::LanguageMenuAdapter adapter(menu);
    TheLanguage().BuildLanguageMenu(adapter);

    QAction* chosen = orv::ui::ExecPopupMenu(menu, QCursor::pos());
    if (orv::LanguageMenuAdapter::CommandOf(chosen) >= CLanguage::kFirstCommand) {
        chosen->setChecked(true);
        TheLanguage().SelectLanguage(chosen->text().toStdWString());
    }
    // Dismissing the menu re-applies the texts as well.
    SetLanguageText();
}

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
    QAction* passphrase = menu.addAction(LangText(L"96061", L"Site passphrase..."));
    // A site's book cannot change its name under a running job.
    const bool busy = m_devices.Jobs().AnyRunning();
    backup->setEnabled(m_devices.Site() != nullptr && !busy && !m_searchPage->Targets().empty());
    rename->setEnabled(!busy && m_devices.Site() != nullptr);
    saveProfile->setEnabled(m_devices.Site() != nullptr && !busy && !m_secretsBusy &&
                            m_searchPage->Targets().size() == 1);
    compliance->setEnabled(m_devices.Site() != nullptr);
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
        picked[0], m_devices.DefaultCredentials(), orv::batchset::ReadScope::Everything,
        settings));
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
            if (const orv::FileError error = orv::WriteRegularFile(std::filesystem::path(file.toStdU16String()), text);
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
        m_compliance = new CComplianceDlg(m_devices.Site(), m_devices.Jobs(), std::move(hooks), this);
        m_compliance->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_compliance->show();
    m_compliance->raise();
    return m_compliance;
}

void CMainDlg::ShowAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

void CMainDlg::layoutControls() {
    // The banner across the top with the site and language links on it;
    // the pages take the room between it and the Default User and
    // Operating Information boxes at the bottom.
    const int bannerHeight = m_banner.isNull() ? 62 : m_banner.height();
    m_bannerCtrl->setFixedHeight(bannerHeight - 2);
    auto* links = new QHBoxLayout(m_bannerCtrl);
    links->setContentsMargins(0, 30, 20, 0);
    links->setSpacing(10);
    links->addStretch(1);
    links->addWidget(m_siteLabel, 0, Qt::AlignTop);
    links->addWidget(m_languageLabel, 0, Qt::AlignTop);

    auto* pages = new QVBoxLayout(m_pageFrame);
    pages->setContentsMargins(0, 0, 0, 0);
    pages->addWidget(m_pageContainer);

    for (QLineEdit* edit : {m_userEdit, m_passwordEdit}) {
        orv::ui::FixWidth(edit, 120);
    }
    QGridLayout* user = orv::ui::NewCentredForm();
    user->setColumnStretch(0, 0);
    user->setColumnStretch(1, 0);
    orv::ui::AddFormRow(user, m_userLabel, m_userEdit);
    orv::ui::AddFormRow(user, m_passwordLabel, m_passwordEdit);
    m_userBox->setLayout(user);
    auto* info = new QVBoxLayout(m_infoBox);
    info->setContentsMargins(0, 0, 0, 0);
    info->addWidget(m_infoList);
    // Four lines of the list's font.
    m_infoList->setFixedHeight(4 * m_infoList->fontMetrics().height() + 6);
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(0);
    bottom->addWidget(m_userBox);
    bottom->addWidget(m_infoBox, 1);

    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    window->addWidget(m_bannerCtrl);
    auto* below = new QVBoxLayout;
    below->setContentsMargins(4, 0, 0, 3);
    below->setSpacing(2);
    // The pages never get less room than the window was drawn with, and
    // more where a page needs it (a longer language, a larger font).
    auto* pageRow = new QHBoxLayout;
    pageRow->setSpacing(0);
    pageRow->addItem(new QSpacerItem(0, 518, QSizePolicy::Fixed, QSizePolicy::Minimum));
    pageRow->addWidget(m_pageFrame, 1);
    below->addItem(new QSpacerItem(752, 0, QSizePolicy::Minimum, QSizePolicy::Fixed));
    below->addLayout(pageRow, 1);
    below->addLayout(bottom);
    window->addLayout(below, 1);
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
    // Without a system menu to carry it, the About entry sits in the
    // window's context menu (and on F1).
    if (!m_bannerCtrl->geometry().contains(event->pos())) {
        QDialog::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromLatin1(kAboutMenuText));
    about->setData(kAboutCommand);
    if (orv::ui::ExecPopupMenu(menu, event->globalPos()) == about) {
        ShowAboutBox();
    }
}

bool CMainDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (orv::IsSystemMenuCommand(message, kAboutCommand)) {
        ShowAboutBox();
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}

void CMainDlg::reject() {
    // Escape does not end the main window; only closing it does, so the
    // close steps always run.
}

void CMainDlg::closeEvent(QCloseEvent* event) {
    hide();
    shutDown();
    event->accept();
    done(QDialog::Rejected);
}

void CMainDlg::runOffWindow(std::function<QString()> work, std::function<void()> then) {
    if (m_secretsWork.joinable()) {
        m_secretsWork.join();
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
    m_batchSetPage->RotatePasswords([vault](const orv::device::DeviceInfo& camera,
                                            const QString& user, const std::string& password,
                                            std::string& why) {
        return vault->KeepNew(camera, user, password, why);
    });
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

void CMainDlg::shutDown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    // Work on the passwords waits for the keyring on this thread: it is
    // served until the work is done (within the keyring's time limit).
    while (m_secretsBusy && m_secretsWork.joinable()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    if (m_secretsWork.joinable()) {
        m_secretsWork.join();
    }
    // Jobs start no further camera; calls in flight end within their time
    // limits, and what they applied stays applied.
    m_devices.Shutdown();
    // A site still being opened is let go; the book's writer ends with the
    // services, after the last camera's result.
    m_sites.reset();
}
