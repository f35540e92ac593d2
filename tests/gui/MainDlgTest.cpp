#include "DeviceRecords.h"
#include "GuiTestBase.h"
#include "TempDir.h"
#include "protocols/qv/QvDriver.h"

#include "app/MainDlg.h"
#include "app/ProcessState.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/SystemParamDlg.h"
#include "pages/handover/HandoverDlg.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/preview/VideoViewDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"
#include "secrets/PasswordVault.h"
#include "settings/SettingsStore.h"
#include "ui/TextInput.h"
#include "ui/controls/LinkLabel.h"
#include "ui/controls/PageContainer.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// These windows never search the machine's networks.
constexpr auto Off = CMainDlg::Discovery::Off;

class MainDlgTest : public GuiTestBase {
protected:
    static QTabWidget* pages(CMainDlg& dlg) {
        return dlg.findChild<QTabWidget*>(QStringLiteral("pageContainer"));
    }
    static QLineEdit* edit(CMainDlg& dlg, const char* name) { return DefaultUserEdit(dlg, name); }
    static QListWidget* infoList(CMainDlg& dlg) {
        return dlg.findChild<QListWidget*>(QStringLiteral("operatingInfoList"));
    }
    static QStringList tabTitles(CMainDlg& dlg) {
        QStringList titles;
        for (int i = 0; i < pages(dlg)->count(); ++i) {
            titles << pages(dlg)->tabText(i);
        }
        return titles;
    }
};

} // namespace

TEST_F(MainDlgTest, TabsFollowTheCommandLine) {
    struct Case {
        std::vector<const char*> argv;
        int tabs;
    };
    for (const auto& c : {Case{{"orvantix"}, 4}, Case{{"orvantix", "qvoem"}, 5},
                          Case{{"orvantix", "QVOEM"}, 4}, Case{{"orvantix", "-x", "qvoem"}, 4}}) {
        const bool oem = orv::ParseOemMode(static_cast<int>(c.argv.size()), c.argv.data());
        CMainDlg dlg(oem, Off);
        ASSERT_EQ(pages(dlg)->count(), c.tabs) << c.argv.back();
        EXPECT_EQ(pages(dlg)->currentIndex(), 0) << "Network Settings is the active page";
        if (c.tabs == 5) {
            EXPECT_EQ(tabTitles(dlg).back(), "OEM");
            EXPECT_EQ(pages(dlg)->widget(4), static_cast<QWidget*>(dlg.OemPage()));
        }
    }
    CMainDlg dlg(false, Off);
    EXPECT_EQ(tabTitles(dlg),
              (QStringList{"Network Settings", "Batch Set", "Batch Upgrade", "Video Previews"}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_GE(pages(dlg)->tabBar()->tabRect(i).width(), 80);
    }
}

TEST_F(MainDlgTest, FirstStartShowsDefaultsAndClosingStoresTrimmedCredentials) {
    {
        CMainDlg dlg(false, Off);
        EXPECT_EQ(edit(dlg, "userEdit")->text(), "admin");
        EXPECT_EQ(edit(dlg, "passwordEdit")->text(), "kt7391");
        EXPECT_EQ(edit(dlg, "passwordEdit")->echoMode(), QLineEdit::Password);
        edit(dlg, "userEdit")->setText(QStringLiteral("  installer  "));
        edit(dlg, "passwordEdit")->setText(QStringLiteral("\tS3cret "));
    }
    EXPECT_EQ(orv::LoadCredentials(), (orv::Credentials{u"installer", u"S3cret"}));

    CMainDlg again(false, Off);
    EXPECT_EQ(edit(again, "userEdit")->text(), "installer");
    EXPECT_EQ(edit(again, "passwordEdit")->text(), "S3cret");
}

TEST_F(MainDlgTest, EditsAreLimitedAndCredentialsReachTheDevicesEscaped) {
    CMainDlg dlg(false, Off);
    QLineEdit* user = edit(dlg, "userEdit");
    QLineEdit* password = edit(dlg, "passwordEdit");
    // 32- and 16-byte fields take 30 and 14 bytes of text: the typing stops
    // there, so the devices get the whole texts.
    user->clear();
    QTest::keyClicks(user, QString(40, 'u'));
    EXPECT_EQ(user->text().size(), 30);
    password->clear();
    QTest::keyClicks(password, QString(20, 'p'));
    EXPECT_EQ(password->text(), QString(14, 'p'));
    EXPECT_EQ(dlg.Services().DefaultPasswordText(), password->text());

    user->setText(QStringLiteral(" o'neil\\x "));
    EXPECT_EQ(dlg.Services().DefaultUserText(), QStringLiteral("o'neil\\x"))
        << "trimmed, not escaped: the driver escapes at its edge";
}

TEST_F(MainDlgTest, PagesAreMadeWithTheStoredPasswordAndTheRestoredLanguage) {
    orv::StoreCredentials({u"admin", u"S3cret"});
    orv::WriteProfileString(TheLanguage().LanguageIniPath(), L"Main", L"Language", L"1031");
    CMainDlg dlg(true, Off);
    for (const char* name : {"passwordEdit", "confirmPasswordEdit"}) {
        EXPECT_EQ(dlg.BatchSetPage()->SystemPage()->findChild<QLineEdit*>(name)->text(), "S3cret");
    }
    // A changed Default User password shows in the fields at once; one
    // typed there for a camera stays until it is sent.
    QWidget* system = dlg.BatchSetPage()->SystemPage();
    edit(dlg, "passwordEdit")->setText(QStringLiteral("N3wer"));
    for (const char* name : {"passwordEdit", "confirmPasswordEdit"}) {
        EXPECT_EQ(system->findChild<QLineEdit*>(name)->text(), "N3wer") << name;
    }
    auto* typed = system->findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
    typed->clear();
    QTest::keyClicks(typed, QStringLiteral("mine"));
    edit(dlg, "passwordEdit")->setText(QStringLiteral("N3west"));
    EXPECT_EQ(typed->text(), "mine");
    const QAbstractItemModel* headers = dlg.OemPage()->DeviceListCtrl()->model();
    const QAbstractItemModel* reference = dlg.SearchPage()->DeviceListCtrl()->model();
    EXPECT_EQ(headers->headerData(2, Qt::Horizontal), reference->headerData(2, Qt::Horizontal));
    EXPECT_NE(headers->headerData(2, Qt::Horizontal).toString(), "Device Name");
}

TEST_F(MainDlgTest, OperatingInformationKeepsAtMost101Lines) {
    CMainDlg dlg(false, Off);
    QListWidget* list = infoList(dlg);
    dlg.Services().AddOperatingInfo(static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ(list->count(), 0);
    for (int i = 1; i <= 101; ++i) {
        dlg.Services().AddOperatingInfo(QStringLiteral("line %1").arg(i));
    }
    EXPECT_EQ(list->count(), 101);
    QCoreApplication::processEvents();
    EXPECT_EQ(list->currentRow(), 100) << "the newest line is selected once the burst is written";
    dlg.Services().AddOperatingInfo(L"[00:1B:2C:3D:4E:5F] 192.0.2.20 Reboot Succeed.");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "[00:1B:2C:3D:4E:5F] 192.0.2.20 Reboot Succeed.");
    QCoreApplication::processEvents();
    EXPECT_EQ(list->currentRow(), 0);
}

TEST_F(MainDlgTest, DiscoveryReachesEveryPageAndAFailedChangeWritesALine) {
    CMainDlg dlg(false, Off);
    EXPECT_EQ(dlg.DiscoveryInstanceCount(), 0);
    const orv::device::Credentials login{QStringLiteral("admin"), QStringLiteral("pw")};
    const orv::device::DeviceInfo camera = orv::qv::DeviceOf(Camera(1, "192.0.2.20"), {});
    EXPECT_EQ(dlg.Services().ChangeAddress(camera, {}, login).FaultOf(),
              orv::device::Fault::Unreachable)
        << "without discovery a request cannot leave, and says so";
    orv::device::DeviceInfo onvif = camera;
    onvif.services = {{orv::device::Protocol::Onvif, QStringLiteral("http://192.0.2.20/"), {}}};
    EXPECT_EQ(dlg.Services().ChangeAddress(onvif, {}, login).FaultOf(),
              orv::device::Fault::Unreachable);
    orv::device::DeviceInfo stranger = camera;
    stranger.services.clear();
    EXPECT_EQ(dlg.Services().ChangeAddress(stranger, {}, login).FaultOf(),
              orv::device::Fault::NotSupported)
        << "no driver speaks its protocol";

    CMainDlg oem(true, Off);
    for (CMainDlg* window : {&dlg, &oem}) {
        tagMsgInfo msg{};
        msg.Info = Camera(1, "192.0.2.20");
        orv::qv::Deliver(window->DiscoveryHub(), CAP_SEARCH_RESP, msg);
        msg.Result = 1;
        orv::qv::Deliver(window->DiscoveryHub(), CAP_MODIFY_RESULT, msg);
        QCoreApplication::sendPostedEvents();
        for (CDeviceListPage* page : std::initializer_list<CDeviceListPage*>{
                 window->SearchPage(), window->BatchSetPage(), window->BatchUpgradePage(),
                 window->VideoViewPage()}) {
            EXPECT_EQ(page->Devices().Count(), 1) << page->objectName().toStdString();
        }
        EXPECT_EQ(window->OemPage()->Devices().Count(), window == &oem ? 1 : 0);
        ASSERT_EQ(infoList(*window)->count(), 1);
        EXPECT_EQ(infoList(*window)->item(0)->text(),
                  "[02:4F:56:10:00:01] Modify IP,Port,Netmask to 192.0.2.20, 80, 255.255.255.0 "
                  "Failed.");
    }
}

TEST_F(MainDlgTest, LanguageMenuSwitchesEveryTextAndTheChoiceSurvivesARestart) {
    {
        CMainDlg dlg(true, Off);
        AnswerMenuWith(QStringLiteral("Deutsch"));
        QTest::mouseClick(dlg.findChild<QLabel*>(QStringLiteral("languageLabel")), Qt::LeftButton);
        EXPECT_EQ(tabTitles(dlg).front(), "Netzwerkeinstellungen");
        EXPECT_EQ(tabTitles(dlg).back(), "OEM") << "the OEM tab keeps its fixed title";
        EXPECT_NE(dlg.findChild<QLabel*>(QStringLiteral("userLabel"))->text(), "Username:");
        EXPECT_EQ(orv::ReadProfileInt(TheLanguage().LanguageIniPath(), L"Main", L"Language", 0),
                  1031);
    }
    CMainDlg restarted(false, Off);
    EXPECT_EQ(tabTitles(restarted).front(), "Netzwerkeinstellungen");

    // Dismissing the menu still re-applies the texts (here after the file
    // was switched underneath).
    TheLanguage().SelectLanguage(L"简体中文");
    AnswerMenuWith(QString());
    restarted.ShowLanguageMenu();
    EXPECT_EQ(tabTitles(restarted).front(), QStringLiteral("网络设置"));
    restarted.resize(1024, 720);
    SaveScreenshot(restarted, QStringLiteral("main-window-chinese"));

    AnswerMenuWith(QStringLiteral("English"));
    restarted.ShowLanguageMenu();
    EXPECT_EQ(tabTitles(restarted).front(), "Network Settings");
}

TEST_F(MainDlgTest, LanguageMenuMarksTheCurrentLanguage) {
    CMainDlg dlg(false, Off);
    TheLanguage().SelectLanguage(L"Deutsch");
    QStringList items;
    QString checked;
    orv::ui::SetPopupMenuAnswer([&](QMenu& menu) -> QAction* {
        for (QAction* action : menu.actions()) {
            items << action->text();
            if (action->isChecked()) {
                checked = action->text();
            }
        }
        return nullptr;
    });
    dlg.ShowLanguageMenu();
    EXPECT_TRUE(items.contains("English"));
    EXPECT_TRUE(items.contains("Deutsch"));
    EXPECT_FALSE(items.contains("&English")) << "the first file replaces the placeholder";
    EXPECT_EQ(checked, "Deutsch");
}

TEST_F(MainDlgTest, EscapeDoesNotEndTheMainWindow) {
    CMainDlg dlg(false, Off);
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(MainDlgTest, AboutBoxShowsTheVersion) {
    CMainDlg dlg(false, Off);
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    QString text;
    QString title;
    // Polls until the modal box is up, reads it and closes it; gives up
    // after a while so a missing box fails the test instead of hanging it.
    QTimer poll;
    int attempts = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr && ++attempts < 100) {
            return;
        }
        poll.stop();
        if (box != nullptr) {
            title = box->windowTitle();
            if (auto* label = box->findChild<QLabel*>(QStringLiteral("aboutText"))) {
                text = label->text();
            }
            box->close();
        }
    });
    poll.start(20);
    QTest::keyClick(&dlg, Qt::Key_F1);
    poll.stop();
    EXPECT_EQ(title, "About Orvantix");
    EXPECT_EQ(text, "Orvantix Version 2.1");
}

TEST_F(MainDlgTest, LayoutFollowsTheWindowSize) {
    CMainDlg dlg(false, Off);
    dlg.show();
    dlg.resize(1000, 700);
    QCoreApplication::processEvents();
    const QRect pagesAt = pages(dlg)->geometry();
    const QRect listAt = infoList(dlg)->geometry();
    const QRect passwordAt = edit(dlg, "passwordEdit")->geometry();
    auto* language = dlg.findChild<QLabel*>(QStringLiteral("languageLabel"));
    const QPoint languageAt = language->mapTo(&dlg, QPoint());
    SaveScreenshot(dlg, QStringLiteral("main-window-english"));

    // The pages and the Operating Information list take what the window
    // gains; the Default User fields stay where they are at the left and
    // the language link at the right end of the banner.
    dlg.resize(1300, 900);
    QCoreApplication::processEvents();
    EXPECT_EQ(pages(dlg)->size(), pagesAt.size() + QSize(300, 200));
    EXPECT_EQ(infoList(dlg)->width(), listAt.width() + 300);
    EXPECT_EQ(infoList(dlg)->height(), listAt.height());
    EXPECT_EQ(edit(dlg, "passwordEdit")->geometry(), passwordAt);
    EXPECT_EQ(language->mapTo(&dlg, QPoint()), languageAt + QPoint(300, 0));
    EXPECT_LT(pages(dlg)->geometry().bottom(), infoList(dlg)->mapTo(&dlg, QPoint()).y());
}

// Export passwords: the open site's camera passwords go to the file the
// person chooses, owner-only, its first line saying what it holds, each
// camera with its own password and one not yet confirmed; a file that is
// there already is never written over.
TEST_F(MainDlgTest, ExportPasswordsWritesTheHandoverFileOwnerOnlyAndNeverOverAnother) {
    TempDir sites;
    qputenv("ORVANTIX_SITE_PASSPHRASE", "window test passphrase");
    {
        auto vault = orv::secrets::CPasswordVault::Open("Default", sites.path() / "Default.site",
                                                        nullptr, "window test passphrase")
                         .vault;
        ASSERT_NE(vault, nullptr);
        orv::device::DeviceInfo camera;
        std::string error;
        for (std::uint8_t n : {1, 2}) {
            camera.id = orv::device::DeviceId::OfMac({0x02, 0x4F, 0x56, 0x10, 0x00, n});
            ASSERT_TRUE(vault->KeepNew(camera, QStringLiteral("admin"),
                                       (n == 1 ? "=Own1pass" : "Own2pass"), error))
                << error;
        }
        vault->LoggedIn(camera, {QStringLiteral("admin"), QStringLiteral("Own2pass")});
    }
    CMainDlg dlg(false, CMainDlg::Discovery::Off);
    dlg.OpenSites(sites.path());
    QTRY_COMPARE_WITH_TIMEOUT(dlg.SiteName(), QStringLiteral("Default"), 5000);
    const std::string file = (sites.path() / "handover.csv").string();
    chosenFiles = {QString::fromStdString(file)};
    AnswerFileDialogs(false);
    AnswerMessagesWith(true);
    AnswerMenuWith(QStringLiteral("Export passwords..."));
    dlg.ShowSiteMenu();
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 10000);
    EXPECT_FALSE(dlg.ExportingPasswords());
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Passwords of 2 cameras written to")))
        << messages[0].toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600);
    const std::string written = (std::stringstream() << std::ifstream(file).rdbuf()).str();
    EXPECT_EQ(written.rfind("\"# Administrator passwords of 2 camera(s) of site 'Default' in "
                            "clear text",
                            0),
              0u)
        << written;
    EXPECT_NE(written.find("02:4F:56:10:00:01,,,admin,,=Own1pass\r\n"), std::string::npos)
        << written;
    EXPECT_NE(written.find("02:4F:56:10:00:02,,,admin,Own2pass,\r\n"), std::string::npos)
        << written;

    dlg.ShowSiteMenu();
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 2, 10000);
    EXPECT_TRUE(messages[1].startsWith(QStringLiteral("The passwords could not be written:")))
        << messages[1].toStdString();
    EXPECT_EQ((std::stringstream() << std::ifstream(file).rdbuf()).str(), written);
    qunsetenv("ORVANTIX_SITE_PASSPHRASE");
}

// A site whose cameras' passwords are sealed, opened where no keyring
// answers and no passphrase was given: the window says so, logs in with the
// default only, refuses a wrong passphrase by name and opens the passwords
// with the right one.
TEST_F(MainDlgTest, ASealedSiteAsksForItsPassphraseAndRefusesAWrongOne) {
    TempDir sites;
    qputenv("ORVANTIX_SECRETS", "sealed");
    orv::device::DeviceInfo camera;
    camera.id = orv::device::DeviceId::OfMac({0x02, 0x4F, 0x56, 0x10, 0x00, 0x01});
    {
        auto vault = orv::secrets::CPasswordVault::Open("Default", sites.path() / "Default.site",
                                                        nullptr, "right one")
                         .vault;
        std::string error;
        ASSERT_TRUE(vault->KeepNew(camera, QStringLiteral("admin"), "CamOwn1", error)) << error;
        vault->LoggedIn(camera, {QStringLiteral("admin"), QStringLiteral("CamOwn1")});
    }
    CMainDlg dlg(false, CMainDlg::Discovery::Off);
    dlg.OpenSites(sites.path());
    QTRY_COMPARE_WITH_TIMEOUT(dlg.SiteName(), QStringLiteral("Default"), 5000);
    QStringList info;
    for (int i = 0; i < infoList(dlg)->count(); ++i) {
        info << infoList(dlg)->item(i)->text();
    }
    EXPECT_EQ(
        info.filter(QStringLiteral("need its passphrase (site menu, Site passphrase...)")).size(),
        1)
        << info.join(QLatin1Char('\n')).toStdString();
    const orv::device::Credentials fallback{QStringLiteral("admin"), QStringLiteral("admin")};
    EXPECT_EQ(dlg.Vault()->LoginsFor(camera, fallback).size(), 1u);
    dlg.resize(1024, 720);
    dlg.show();
    SaveScreenshot(dlg, QStringLiteral("site-passphrase-needed"));

    QString typed = QStringLiteral("wrong one");
    orv::ui::SetTextInputAnswer([&](const QString&, const QString&) { return typed; });
    AnswerMessagesWith(true);
    AnswerMenuWith(QStringLiteral("Site passphrase..."));
    dlg.ShowSiteMenu();
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 10000);
    EXPECT_EQ(messages[0], QStringLiteral("the passphrase is not the one of site \"Default\""));
    typed = QStringLiteral("right one");
    dlg.ShowSiteMenu();
    // While the key is derived off the window thread, a handover report
    // asked for meanwhile waits its turn; the window thread does not wait.
    QTRY_VERIFY_WITH_TIMEOUT(dlg.ExportingPasswords(), 5000); // the key is being derived
    CHandoverDlg* report = dlg.ShowHandover();
    ASSERT_NE(report, nullptr);
    QElapsedTimer asked;
    asked.start();
    report->Export(QString::fromStdString((sites.path() / "report.json").string()));
    EXPECT_LT(asked.elapsed(), 50) << "the window thread waited for the work before";
    WaitUntil([&] { return messages.size() == 3; }, 10000);
    ASSERT_EQ(messages.size(), 3) << messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(messages[1],
              QStringLiteral("The cameras' own passwords of the site \"Default\" are open."));
    EXPECT_TRUE(messages[2].startsWith(QStringLiteral("Handover report written to ")))
        << messages[2].toStdString();
    const std::vector<orv::device::Credentials> logins = dlg.Vault()->LoginsFor(camera, fallback);
    ASSERT_EQ(logins.size(), 2u);
    EXPECT_EQ(logins[0].password, QStringLiteral("CamOwn1"));
    orv::ui::SetTextInputAnswer(nullptr);
    qunsetenv("ORVANTIX_SECRETS");
}

// The site link: a site is made at first start, another is made and opened
// from its menu, the open one is renamed (its book closed first), and a name
// a site cannot have is refused with the reason, changing nothing.
TEST_F(MainDlgTest, TheSiteMenuMakesOpensAndRenamesSites) {
    TempDir sites;
    CMainDlg dlg(false, CMainDlg::Discovery::Off);
    dlg.OpenSites(sites.path());
    QTRY_COMPARE_WITH_TIMEOUT(dlg.SiteName(), QStringLiteral("Default"), 5000);
    auto* link = dlg.findChild<orv::ui::CLinkLabel*>(QStringLiteral("siteLabel"));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text(), QStringLiteral("Site: Default"));

    QString typed = QStringLiteral("Werk Süd");
    orv::ui::SetTextInputAnswer([&](const QString&, const QString&) { return typed; });
    AnswerMenuWith(QStringLiteral("New site..."));
    dlg.ShowSiteMenu();
    QTRY_COMPARE_WITH_TIMEOUT(dlg.SiteName(), QStringLiteral("Werk Süd"), 5000);
    EXPECT_TRUE(std::filesystem::exists(sites.path() / "Werk Süd.site"));

    typed = QStringLiteral("Werk Nord");
    AnswerMenuWith(QStringLiteral("Rename site..."));
    dlg.ShowSiteMenu();
    QTRY_COMPARE_WITH_TIMEOUT(dlg.SiteName(), QStringLiteral("Werk Nord"), 5000);
    EXPECT_TRUE(std::filesystem::exists(sites.path() / "Werk Nord.site"));
    EXPECT_FALSE(std::filesystem::exists(sites.path() / "Werk Süd.site"));

    AnswerMenuWith(QStringLiteral("Default"));
    dlg.ShowSiteMenu();
    QTRY_COMPARE_WITH_TIMEOUT(dlg.SiteName(), QStringLiteral("Default"), 5000);

    AnswerMessagesWith(true);
    typed = QStringLiteral("a/b");
    AnswerMenuWith(QStringLiteral("New site..."));
    dlg.ShowSiteMenu();
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 5000);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("cannot hold /"))) << messages[0].toStdString();
    EXPECT_EQ(dlg.SiteName(), QStringLiteral("Default"));
    orv::ui::SetTextInputAnswer(nullptr);
}
