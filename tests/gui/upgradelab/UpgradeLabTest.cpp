// One camera upgraded from the Batch Upgrade page over a real veth link:
// the image fits the camera's model, the page writes its Succeed line, and
// once the camera has rebooted it answers discovery with the new version.

#include "GuiLabTestBase.h"
#include "TempDir.h"

#include "app/MainDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"
#include "qvipcsdk/QvIpcSdk.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <unistd.h>

#include <string>

namespace {

constexpr const char* kPassword = "kt7391";

class UpgradeLab : public GuiLabTestBase {
protected:
    TempDir files;
};

} // namespace

TEST_F(UpgradeLab, TheUpgradedCameraAnswersDiscoveryWithItsNewVersion) {
    // Platform 2 and CMOS 1 fit a model whose fifth and sixth characters
    // are 3 and 6.
    ASSERT_EQ(lab.startSimulator({{"cameras", 3},
                                  {"password", kPassword},
                                  {"models", {"QVIP3651"}},
                                  {"versions", {"13.1.0.5"}},
                                  {"reboot_silence_ms", 1000}}),
              "");
    const std::string ip = "192.0.2.11";
    const std::string name = "QVFImage_21.bin";
    files.write(name, "QVFW:13.8.0.1\n" + std::string(200000, 'f'));

    CMainDlg dlg(false, CMainDlg::Discovery::AllAdapters);
    dlg.show();
    dlg.findChild<QLineEdit*>(QStringLiteral("userEdit"))->setText(QStringLiteral("admin"));
    dlg.findChild<QLineEdit*>(QStringLiteral("passwordEdit"))
        ->setText(QString::fromLatin1(kPassword));
    CBatchUpgradeDlg* page = dlg.BatchUpgradePage();
    auto* list = page->DeviceListCtrl();
    QTRY_COMPARE_WITH_TIMEOUT(list->GetItemCount(), 3, 5000);
    const auto rowOf = [list, &ip] {
        for (int row = 0; row < list->GetItemCount(); ++row) {
            if (list->GetItemText(row, 4) == QString::fromStdString(ip)) {
                return row;
            }
        }
        return -1;
    };
    ASSERT_GE(rowOf(), 0);
    const QString mac = list->GetItemText(rowOf(), 3);
    EXPECT_NE(list->GetItemText(rowOf(), 9), "13.8.0.1");

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(rowOf(), 2)).center());
    page->findChild<QLineEdit*>(QStringLiteral("firmwarePathEdit"))
        ->setText(QString::fromStdString((files.path() / name).string()));
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("upgradeButton")),
                      Qt::LeftButton);
    WaitForJobs(dlg.Jobs());
    const QString expected =
        QStringLiteral("[%1] %2 Upgrade Succeed.").arg(mac, QString::fromStdString(ip));
    ASSERT_TRUE(infoLines(dlg).contains(expected)) << infoLines(dlg).join('\n').toStdString();

    // The camera installs the image and reboots by itself; after the reboot
    // silence the list shows the new version with nobody rebooting it.
    QTRY_COMPARE_WITH_TIMEOUT(list->GetItemText(rowOf(), 9), QStringLiteral("13.8.0.1"), 20000);
    SaveScreenshot(dlg, QStringLiteral("upgrade-lab"));
    dlg.close();
}
