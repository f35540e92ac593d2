#include "MainDlg.h"

#include "AboutDlg.h"
#include "LanguageMenuAdapter.h"
#include "ProcessState.h"
#include "SystemMenu.h"
#include "lang/Language.h"
#include "operations/common/ResultLines.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/common/FieldLimit.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/preview/VideoViewDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"
#include "settings/SettingsStore.h"
#include "text/TextConv.h"
#include "ui/DialogFont.h"
#include "ui/FormLayout.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/PopupMenu.h"
#include "ui/controls/LinkLabel.h"
#include "ui/controls/PageContainer.h"
#include "ui/controls/PictureCtrl.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
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
    // The grid watches the cameras checked on Network Settings.
    m_videoPage->SetCheckedCameras([this] {
        return m_searchPage->IsCheckedMode() ? m_searchPage->Devices().CheckedDevices()
                                             : std::vector<orv::device::DeviceInfo>{};
    });
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
