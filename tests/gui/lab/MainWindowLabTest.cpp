// The program's main window against simulated cameras over a real veth link:
// discovery fills every page's list, an IP change made on the Network
// Settings page reaches the camera and its result line comes back.

#include "GuiTestBase.h"
#include "LabNetwork.h"

#include "app/MainDlg.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <unistd.h>

namespace {

class MainWindowLab : public GuiTestBase {
protected:
    void SetUp() override {
        GuiTestBase::SetUp();
        if (::geteuid() != 0) {
            GTEST_SKIP() << "the lab needs root for namespaces and raw capture";
        }
        ASSERT_EQ(lab.create(1), "");
    }
    void TearDown() override {
        if (HasFailure() && lab.simulatorPid() > 0) {
            std::fprintf(stderr, "simulator log:\n%s\n", lab.simulatorLog().c_str());
        }
        GuiTestBase::TearDown();
    }

    static QStringList infoLines(CMainDlg& dlg) {
        QStringList lines;
        auto* list = dlg.findChild<QListWidget*>(QStringLiteral("operatingInfoList"));
        for (int i = 0; i < list->count(); ++i) {
            lines << list->item(i)->text();
        }
        return lines;
    }

    LabNetwork lab;
};

} // namespace

TEST_F(MainWindowLab, AnIpChangeMadeOnThePageReachesTheCamera) {
    ASSERT_EQ(lab.startSimulator({{"cameras", 4}, {"password", "kt7391"}}), "");
    CMainDlg dlg(false, CMainDlg::Discovery::AllAdapters);
    dlg.show();
    ASSERT_EQ(dlg.DiscoveryInstanceCount(), 1) << "the lab adapter only";
    CSearchDlg* page = dlg.SearchPage();
    auto* list = page->DeviceListCtrl();
    QTRY_COMPARE_WITH_TIMEOUT(list->GetItemCount(), 4, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(dlg.BatchUpgradePage()->DeviceListCtrl()->GetItemCount(), 4, 1000);

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(1, 2)).center());
    const QString mac = list->GetItemText(1, 3);
    page->findChild<QLineEdit*>(QStringLiteral("ipEdit"))->setText(QStringLiteral("192.0.2.150"));
    page->findChild<QLineEdit*>(QStringLiteral("httpPortEdit"))->setText(QStringLiteral("8080"));
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("modifyButton")),
                      Qt::LeftButton);

    const QString expected = QStringLiteral("[%1] Modify IP,Port,Netmask to 192.0.2.150, 8080, "
                                            "255.255.255.0 Succeed.")
                                 .arg(mac);
    QTRY_VERIFY_WITH_TIMEOUT(infoLines(dlg).contains(expected), 5000);
    EXPECT_TRUE(LabNetwork::addressLive("192.0.2.150", std::chrono::milliseconds(1000)));
    QTRY_VERIFY_WITH_TIMEOUT(list->GetItemText(1, 4) == "192.0.2.150", 1000);
    SaveScreenshot(dlg, QStringLiteral("main-window-lab"));

    // With a wrong default password the camera refuses and says so.
    dlg.findChild<QLineEdit*>(QStringLiteral("passwordEdit"))->setText(QStringLiteral("guess"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 2)).center());
    const QString other = list->GetItemText(0, 3);
    const QString oldIp = list->GetItemText(0, 4);
    page->findChild<QLineEdit*>(QStringLiteral("ipEdit"))->setText(QStringLiteral("192.0.2.151"));
    page->findChild<QLineEdit*>(QStringLiteral("httpPortEdit"))->setText(QStringLiteral("8080"));
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("modifyButton")),
                      Qt::LeftButton);
    const QString refused = QStringLiteral("[%1] Modify IP,Port,Netmask to 192.0.2.151, 8080, "
                                           "255.255.255.0 Failed.")
                                .arg(other);
    QTRY_VERIFY_WITH_TIMEOUT(infoLines(dlg).contains(refused), 5000);
    EXPECT_EQ(list->GetItemText(0, 4), oldIp);

    QElapsedTimer closing;
    closing.start();
    dlg.close();
    EXPECT_LT(closing.elapsed(), 1000) << "closing stops discovery promptly";
}

TEST_F(MainWindowLab, AThousandCamerasFillEveryList) {
    ASSERT_EQ(
        lab.startSimulator(
            {{"cameras", 1000},
             {"addresses", {{"first", "192.0.2.10"}, {"last", "192.0.2.250"}, {"share", true}}}}),
        "");
    QElapsedTimer clock;
    clock.start();
    CMainDlg dlg(true, CMainDlg::Discovery::AllAdapters);
    dlg.show();
    QTRY_COMPARE_WITH_TIMEOUT(dlg.SearchPage()->DeviceListCtrl()->GetItemCount(), 1000, 60000);
    for (CDeviceListPage* page : {static_cast<CDeviceListPage*>(dlg.BatchUpgradePage()),
                                  static_cast<CDeviceListPage*>(dlg.OemPage())}) {
        QTRY_COMPARE_WITH_TIMEOUT(page->DeviceListCtrl()->GetItemCount(), 1000, 60000);
    }
    const qint64 ms = clock.elapsed();
    std::fprintf(stderr, "1000 cameras in all five lists after %lld ms\n",
                 static_cast<long long>(ms));
    EXPECT_LT(ms, 15000);
    // The window stays responsive while the cameras keep answering.
    QElapsedTimer idle;
    idle.start();
    QTest::qWait(200);
    EXPECT_LT(idle.elapsed(), 1000);
}
