// A driver that exists only here serves two cameras that cannot take
// firmware, DDNS, OEM files or an address change without a login. Nothing
// in the program names it: its cameras reach every list through the
// discovery hub, the pages disable what they lack, and a checked job that
// includes them reports "not supported by this camera" for each of them
// while the maker's camera beside them is upgraded.

#include "ReducedDriver.h"
#include "DeviceRecords.h"
#include "GuiTestBase.h"
#include "RecordingDriver.h"
#include "RecordingServices.h"
#include "TestCameras.h"

#include "app/MainDlg.h"
#include "jobs/JobResults.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/NetworkParamDlg.h"
#include "pages/batchset/SystemParamDlg.h"
#include "pages/common/JobPanel.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/preview/VideoViewDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

namespace {

QWidget* named(QWidget* page, const char* name) {
    QWidget* w = page->findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

int rowOf(CDeviceListPage* page, const QString& ip) {
    auto* list = page->DeviceListCtrl();
    for (int row = 0; row < list->GetItemCount(); ++row) {
        for (int column = 0; column < list->model()->columnCount(); ++column) {
            if (list->GetItemText(row, column) == ip) {
                return row;
            }
        }
    }
    return -1;
}

void clickCell(CDeviceListPage* page, int row, int column) {
    auto* list = page->DeviceListCtrl();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, column)).center());
}

using ReducedDriverTest = GuiTestBase;

// The maker's driver (recording) and the reduced one in one set, with an
// engine over both; every question answered Yes.
class MakerBesideReduced : public GuiTestBase {
protected:
    MakerBesideReduced() {
        drivers.Add(maker);
        drivers.Add(reduced);
    }
    void SetUp() override {
        GuiTestBase::SetUp();
        AnswerMessagesWith(true);
    }

    RecordingDriver maker;
    CReducedDriver reduced;
    orv::device::CDriverSet drivers;
    orv::jobs::CJobEngine jobs{drivers};
    RecordingServices services;
};

} // namespace

TEST_F(ReducedDriverTest, ItsCamerasReachEveryListAndThePagesDisableWhatTheyLack) {
    CReducedDriver driver;
    // A name with a terminal escape and a right-to-left override: the
    // screenshot shows it as escapes in the list.
    driver.secondName = QString::fromUtf8("Gate\x1b]0;owned\x07\u202e!");
    CMainDlg dlg(true, CMainDlg::Discovery::Off, nullptr, {&driver});
    dlg.show();
    const std::vector<CDeviceListPage*> pages{dlg.SearchPage(), dlg.BatchSetPage(),
                                              dlg.BatchUpgradePage(), dlg.VideoViewPage(),
                                              dlg.OemPage()};
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(pages.begin(), pages.end(),
                    [](CDeviceListPage* p) { return p->Devices().Count() == 2; }),
        5000);
    const QString first = QStringLiteral("192.0.2.51");
    for (CDeviceListPage* page : pages) {
        EXPECT_GE(rowOf(page, first), 0) << page->objectName().toStdString();
        EXPECT_GE(rowOf(page, QStringLiteral("192.0.2.52")), 0);
    }

    // The current camera decides; the page's own rules still hold beside it.
    auto* tabs = dlg.findChild<QTabWidget*>(QStringLiteral("pageContainer"));
    const auto pick = [&](CDeviceListPage* page) {
        tabs->setCurrentWidget(page);
        QCoreApplication::processEvents();
        clickCell(page, rowOf(page, first), 2);
        QCoreApplication::processEvents();
    };
    pick(dlg.BatchUpgradePage());
    EXPECT_FALSE(named(dlg.BatchUpgradePage(), "upgradeButton")->isEnabled());
    // A camera that can takes the control back as the page left it.
    dlg.BatchUpgradePage()->OnDevicesFound({Found(::Camera(0xa0, "192.0.2.40"))});
    clickCell(dlg.BatchUpgradePage(), rowOf(dlg.BatchUpgradePage(), "192.0.2.40"), 2);
    EXPECT_TRUE(named(dlg.BatchUpgradePage(), "upgradeButton")->isEnabled());
    pick(dlg.OemPage());
    EXPECT_FALSE(named(dlg.OemPage(), "uploadButton")->isEnabled());
    pick(dlg.SearchPage());
    EXPECT_FALSE(named(dlg.SearchPage(), "modifyButton")->isEnabled());
    EXPECT_FALSE(named(dlg.SearchPage(), "ipEdit")->isEnabled());
    pick(dlg.BatchSetPage());
    QWidget* network = dlg.BatchSetPage()->NetworkPage();
    EXPECT_FALSE(named(network, "ddnsUserEdit")->isEnabled());
    EXPECT_FALSE(named(network, "ddnsEnable")->isEnabled());
    EXPECT_TRUE(named(network, "httpPortEdit")->isEnabled()) << "ports it has";
    dlg.BatchSetPage()
        ->findChild<QTabWidget*>(QStringLiteral("batchSubPages"))
        ->setCurrentWidget(network);
    SaveScreenshot(dlg, QStringLiteral("reduced-camera-network-settings"));
    pick(dlg.VideoViewPage());
    EXPECT_TRUE(named(dlg.VideoViewPage(), "play")->isEnabled()) << "live video it has";
    EXPECT_TRUE(named(dlg.VideoViewPage(), "brightness")->isEnabled());
}

TEST_F(MakerBesideReduced, ACheckedJobReportsNotSupportedForTheCamerasThatLackTheStep) {
    testcams::Lab lab{1};

    tagQvIpcInfo own = ::Camera(0xa0, lab.ip(0).c_str(), "Cam0", testcams::kModel);
    std::snprintf(own.Version, sizeof own.Version, "13.1.0.5");
    own.HttpPort = lab.port();
    const std::vector<orv::device::DeviceInfo> found{Found(own), CReducedDriver::Camera(1),
                                                     CReducedDriver::Camera(2)};
    const auto checkAll = [&](CDeviceListPage& page) {
        page.OnDevicesFound(found);
        for (const QString& ip : {QString::fromStdString(lab.ip(0)), QStringLiteral("192.0.2.51"),
                                  QStringLiteral("192.0.2.52")}) {
            clickCell(&page, rowOf(&page, ip), 0);
        }
        ASSERT_TRUE(page.IsCheckedMode());
        ASSERT_EQ(page.Devices().CheckedDevices().size(), 3u);
    };

    // The maker's camera and another maker's take no image in common, even
    // where their model texts agree.
    CBatchUpgradeDlg upgrade(services, jobs);
    upgrade.show();
    checkAll(upgrade);
    EXPECT_FALSE(named(&upgrade, "upgradeButton")->isEnabled());
    EXPECT_EQ(upgrade.findChild<QLabel*>(QStringLiteral("messageLabel"))->text(),
              "The model of devices is unmatched.");

    COemDlg page(services, jobs);
    page.resize(1000, 600);
    page.show();
    checkAll(page);
    EXPECT_TRUE(named(&page, "uploadButton")->isEnabled()) << "one checked camera can";
    page.findChild<QLineEdit*>(QStringLiteral("companyEdit"))->setText(QStringLiteral("Acme"));
    page.findChild<QLineEdit*>(QStringLiteral("websiteEdit"))->setText(QStringLiteral("site1"));
    page.findChild<QLineEdit*>(QStringLiteral("modelEdit"))->setText(QStringLiteral("X1"));
    page.findChild<QComboBox*>(QStringLiteral("versionList"))->setEditText(QStringLiteral("1.0"));
    TempDir files;
    files.write("logo.bmp", "logo");
    page.findChild<QLineEdit*>(QStringLiteral("imageFileEdit"))
        ->setText(QString::fromStdString((files.path() / "logo.bmp").string()));
    QTest::mouseClick(static_cast<QPushButton*>(named(&page, "uploadButton")), Qt::LeftButton);
    WaitForJobs(jobs);

    std::map<QString, QString> outcome;
    for (const orv::jobs::OperationResult& r : page.JobPanel()->Results().Results()) {
        outcome[r.device.AddressText()] = orv::jobs::ResultCells(r)[orv::jobs::kReason];
    }
    ASSERT_EQ(outcome.size(), 3u) << messages.join("; ").toStdString();
    EXPECT_EQ(outcome[QString::fromStdString(lab.ip(0))], "");
    EXPECT_EQ(outcome[QStringLiteral("192.0.2.51")], "not supported by this camera");
    EXPECT_EQ(outcome[QStringLiteral("192.0.2.52")], "not supported by this camera");
    EXPECT_EQ(maker.Calls("Login").size(), 1u);
    EXPECT_EQ(reduced.opened.load(), 0) << "no login for a step the camera cannot do";
}

// The maker's fixed fields bound what goes to the maker's cameras only: a
// name or password for another maker's camera may be longer, and the same
// text is refused as soon as one of the maker's cameras is among the
// targets.
TEST_F(MakerBesideReduced, OnlyTheMakersCamerasHoldATextToTheMakersFields) {
    CBatchSetDlg page(services, jobs);
    page.resize(1000, 600);
    page.show();
    page.OnDevicesFound({Found(::Camera(0xa0, "192.0.2.40")), CReducedDriver::Camera(1)});
    QWidget* system = page.SystemPage();
    auto* name = system->findChild<QLineEdit*>(QStringLiteral("deviceNameEdit"));
    auto* password = system->findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
    auto* confirm = system->findChild<QLineEdit*>(QStringLiteral("confirmPasswordEdit"));
    const QString longPassword(20, QLatin1Char('p'));
    const QString longName(40, QLatin1Char('n'));
    const auto typeAll = [&] {
        for (QLineEdit* edit : {password, confirm}) {
            edit->clear();
            QTest::keyClicks(edit, longPassword);
        }
        name->clear();
        QTest::keyClicks(name, longName);
    };

    clickCell(&page, rowOf(&page, QStringLiteral("192.0.2.51")), 2);
    ASSERT_FALSE(page.IsCheckedMode());
    typeAll();
    EXPECT_EQ(password->text(), longPassword);
    EXPECT_EQ(confirm->text(), longPassword);
    EXPECT_EQ(name->text(), longName);
    QTest::qWait(1100); // the name is cut to its field once a second
    EXPECT_EQ(name->text(), longName);
    QTest::mouseClick(system->findChild<QPushButton*>(QStringLiteral("saveButton")),
                      Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_TRUE(messages.filter(QStringLiteral("too long")).isEmpty())
        << messages.join("; ").toStdString();

    // Typed for another maker's camera alone, then the maker's camera
    // checked beside it: the Save refuses what the maker's camera cannot
    // keep, and from then on the fields stop where it does.
    clickCell(&page, rowOf(&page, QStringLiteral("192.0.2.51")), 0);
    ASSERT_TRUE(page.IsCheckedMode());
    typeAll();
    EXPECT_EQ(password->text(), longPassword);
    clickCell(&page, rowOf(&page, QStringLiteral("192.0.2.40")), 0);
    ASSERT_EQ(page.Devices().CheckedDevices().size(), 2u);
    messages.clear();
    maker.Clear();
    QTest::mouseClick(system->findChild<QPushButton*>(QStringLiteral("saveButton")),
                      Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_EQ(messages, QStringList{"Password is too long for the camera."});
    EXPECT_TRUE(maker.Calls("Login").empty());
    typeAll();
    EXPECT_EQ(password->text(), longPassword.left(14));
}
