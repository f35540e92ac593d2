// The program's main window against simulated cameras over a real veth link:
// discovery fills every page's list, an IP change made on the Network
// Settings page reaches the camera and its result line comes back, and every
// page acts on the camera the person picked whatever the list's order.

#include "GuiLabTestBase.h"
#include "TempDir.h"

#include "app/MainDlg.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/NetworkParamDlg.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/preview/VideoViewDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace {

class MainWindowLab : public GuiLabTestBase {};

} // namespace

TEST_F(MainWindowLab, AnIpChangeMadeOnThePageReachesTheCamera) {
    ASSERT_EQ(lab.startSimulator({{"cameras", 4}, {"password", "kt7391"}}), "");
    CMainDlg dlg(false, CMainDlg::Discovery::AllAdapters);
    dlg.show();
    ASSERT_EQ(dlg.DiscoveryInstanceCount(), 1) << "the lab adapter only";
    CSearchDlg* page = dlg.SearchPage();
    auto* list = page->DeviceListCtrl();
    QTRY_COMPARE_WITH_TIMEOUT(list->GetItemCount(), 4, 5000);
    for (CDeviceListPage* other : {static_cast<CDeviceListPage*>(dlg.BatchSetPage()),
                                   static_cast<CDeviceListPage*>(dlg.BatchUpgradePage()),
                                   static_cast<CDeviceListPage*>(dlg.VideoViewPage())}) {
        QTRY_COMPARE_WITH_TIMEOUT(other->DeviceListCtrl()->GetItemCount(), 4, 1000);
    }

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
    DefaultUserEdit(dlg, "passwordEdit")->setText(QStringLiteral("guess"));
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

    // A batch: the two other cameras, checked, get consecutive addresses.
    DefaultUserEdit(dlg, "passwordEdit")->setText(QStringLiteral("kt7391"));
    QStringList batchMacs;
    for (int row : {2, 3}) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
        batchMacs << list->GetItemText(row, 3);
    }
    ASSERT_TRUE(page->IsCheckedMode());
    page->findChild<QLineEdit*>(QStringLiteral("ipEdit"))->setText(QStringLiteral("192.0.2.160"));
    page->findChild<QLineEdit*>(QStringLiteral("netmaskEdit"))
        ->setText(QStringLiteral("255.255.255.0"));
    page->findChild<QLineEdit*>(QStringLiteral("gatewayEdit"))
        ->setText(QStringLiteral("192.0.2.1"));
    page->findChild<QLineEdit*>(QStringLiteral("httpPortEdit"))->setText(QStringLiteral("8081"));
    SaveScreenshot(dlg, QStringLiteral("main-window-lab-checked"));
    for (int i = 0; i < CDeviceListPage::kDropEveryTicks; ++i) {
        page->OnTick(); // Modify comes back on the page's five-second tick
    }
    AnswerMessagesWith(true);
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("modifyButton")),
                      Qt::LeftButton);
    EXPECT_EQ(messages, QStringList{"Start IP Address, Netmask, Gateway, HTTP Port will change "
                                    "on 2 cameras. Go on?"});
    for (int k = 0; k < 2; ++k) {
        const QString line = QStringLiteral("[%1] Modify IP,Port,Netmask to 192.0.2.%2, 8081, "
                                            "255.255.255.0 Succeed.")
                                 .arg(batchMacs[k])
                                 .arg(160 + k);
        QTRY_VERIFY_WITH_TIMEOUT(infoLines(dlg).contains(line), 5000);
    }
    EXPECT_TRUE(LabNetwork::addressLive("192.0.2.161", std::chrono::milliseconds(1000)));

    QElapsedTimer closing;
    closing.start();
    dlg.close();
    EXPECT_LT(closing.elapsed(), 1000 * kSlowdown) << "closing stops discovery promptly";
}

TEST_F(MainWindowLab, AThousandCamerasFillEveryList) {
    ASSERT_EQ(
        lab.startSimulator(
            {{"cameras", 1000},
             {"addresses", {{"first", "192.0.2.10"}, {"last", "192.0.2.250"}, {"share", true}}}}),
        "");
    CMainDlg dlg(true, CMainDlg::Discovery::AllAdapters);
    dlg.show();
    for (CDeviceListPage* page : {static_cast<CDeviceListPage*>(dlg.SearchPage()),
                                  static_cast<CDeviceListPage*>(dlg.BatchSetPage()),
                                  static_cast<CDeviceListPage*>(dlg.BatchUpgradePage()),
                                  static_cast<CDeviceListPage*>(dlg.VideoViewPage()),
                                  static_cast<CDeviceListPage*>(dlg.OemPage())}) {
        QTRY_COMPARE_WITH_TIMEOUT(page->Devices().Count(), 1000, 20000 * kSlowdown);
    }
    EXPECT_EQ(dlg.DiscoveryHub().DroppedAnswers(), 0u);
}

// Every page, sorted by name after the person picked a camera, still acts
// on that camera; the simulator's state is the judge.
TEST_F(MainWindowLab, AfterASortEveryPageActsOnThePickedCamera) {
    ASSERT_EQ(lab.startSimulator({{"cameras", 5},
                                  {"password", "kt7391"},
                                  {"names", {"Cam E", "Cam D", "Cam C", "Cam B", "Cam A"}},
                                  {"models", {"QVIP3651"}},
                                  {"versions", {"13.1.0.5"}}}),
              "");
    CMainDlg dlg(true, CMainDlg::Discovery::AllAdapters);
    dlg.resize(1200, 800);
    dlg.show();
    const std::string target = "192.0.2.11"; // the second camera, "Cam D"
    const auto cameraAt = [&](const std::string& ip) {
        const nlohmann::json state = lab.state();
        for (const auto& camera : state["cameras"]) {
            if (camera["ip"] == ip) {
                return camera;
            }
        }
        return nlohmann::json();
    };
    const auto others = [&](auto&& unchanged) {
        const nlohmann::json state = lab.state();
        for (const auto& camera : state["cameras"]) {
            if (camera["ip"] != target) {
                EXPECT_TRUE(unchanged(camera)) << camera.dump();
            }
        }
    };
    const QString mac = QString::fromStdString(cameraAt(target)["mac"]).toUpper();
    // Picks the target by its MAC, then sorts the list by name, which moves
    // the target's row (and the row the old code kept).
    const auto pickThenSort = [&](CDeviceListPage* page, int macColumn, int nameColumn) {
        auto* list = page->DeviceListCtrl();
        QTRY_COMPARE_WITH_TIMEOUT(list->GetItemCount(), 5, 5000);
        int row = 0;
        while (row < 5 && list->GetItemText(row, macColumn) != mac) {
            ++row;
        }
        ASSERT_LT(row, 5);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, nameColumn)).center());
        QHeaderView* header = list->horizontalHeader();
        for (int click = 0; click < 2 && list->GetItemText(row, macColumn) == mac; ++click) {
            // Ascending, and descending where ascending left the row in place.
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(nameColumn) + 10, 5));
        }
        ASSERT_NE(list->GetItemText(row, macColumn), mac)
            << "the sort moved the camera on " << page->objectName().toStdString();
    };
    const auto expectLine = [&](const QString& words) {
        const QString line = QStringLiteral("[%1] %2").arg(mac, words);
        QTRY_VERIFY_WITH_TIMEOUT(infoLines(dlg).contains(line), 10000)
            << infoLines(dlg).join(QLatin1Char('\n')).toStdString();
    };
    const auto config = [](const nlohmann::json& camera) {
        return camera.value("deviceConfig", nlohmann::json::object());
    };

    // Network Settings: a new HTTP port by discovery.
    CSearchDlg* network = dlg.SearchPage();
    pickThenSort(network, 3, 2);
    network->findChild<QLineEdit*>(QStringLiteral("httpPortEdit"))->setText("8088");
    QTest::mouseClick(network->findChild<QPushButton*>(QStringLiteral("modifyButton")),
                      Qt::LeftButton);
    expectLine(QStringLiteral("Modify IP,Port,Netmask to %1, 8088, 255.255.255.0 Succeed.")
                   .arg(QString::fromStdString(target)));
    QTRY_COMPARE_WITH_TIMEOUT(cameraAt(target)["http_port"].get<int>(), 8088, 5000);
    others([](const auto& c) { return c["http_port"] == 80; });

    // Batch Set: a new ONVIF port through the device API.
    CBatchSetDlg* batch = dlg.BatchSetPage();
    pickThenSort(batch, 3, 2);
    // Save waits for the picked camera's settings, or it would send the
    // fields' start values.
    auto* save = batch->NetworkPage()->findChild<QPushButton*>(QStringLiteral("saveButton"));
    QTRY_VERIFY_WITH_TIMEOUT(save->isEnabled(), 5000);
    EXPECT_EQ(batch->NetworkPage()->findChild<QLineEdit*>(QStringLiteral("httpPortEdit"))->text(),
              "8088");
    batch->NetworkPage()->findChild<QLineEdit*>(QStringLiteral("onvifPortEdit"))->setText("8554");
    QTest::mouseClick(batch->NetworkPage()->findChild<QPushButton*>(QStringLiteral("saveButton")),
                      Qt::LeftButton);
    expectLine(QStringLiteral("192.0.2.11 Modify Port Succeed."));
    EXPECT_EQ(config(cameraAt(target))["ports"]["onvif"], 8554);
    others(
        [&](const auto& c) { return config(c).value("ports", nlohmann::json())["onvif"] != 8554; });

    // Video Previews: the brightness slider.
    CVideoViewDlg* video = dlg.VideoViewPage();
    pickThenSort(video, 2, 1);
    // A slider reaches the camera once the page has logged in to it.
    QTRY_VERIFY_WITH_TIMEOUT(video->LoggedIn(), 5000);
    video->findChild<QSlider*>(QStringLiteral("brightness"))->setValue(80);
    QTRY_COMPARE_WITH_TIMEOUT(config(cameraAt(target))["picture"]["brightness"].get<int>(), 204,
                              5000);
    others([&](const auto& c) {
        return config(c).value("picture", nlohmann::json())["brightness"] != 204;
    });

    // Batch Upgrade: an image that fits the model.
    TempDir files;
    files.write("QVFImage_21.bin", "QVFW:13.8.0.1\n" + std::string(4096, 'f'));
    CBatchUpgradeDlg* upgrade = dlg.BatchUpgradePage();
    pickThenSort(upgrade, 3, 2);
    upgrade->findChild<QLineEdit*>(QStringLiteral("firmwarePathEdit"))
        ->setText(QString::fromStdString((files.path() / "QVFImage_21.bin").string()));
    QTest::mouseClick(upgrade->findChild<QPushButton*>(QStringLiteral("upgradeButton")),
                      Qt::LeftButton);
    expectLine(QStringLiteral("192.0.2.11 Upgrade Succeed."));
    EXPECT_EQ(config(cameraAt(target))["firmware"]["name"], "QVFImage_21.bin");
    others([&](const auto& c) {
        return !config(c).contains("firmware") ||
               config(c)["firmware"]["name"] != "QVFImage_21.bin";
    });

    // The camera restarts into the new image; it takes files again once it
    // answers with the new version.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            auto* list = upgrade->DeviceListCtrl();
            for (int row = 0; row < list->GetItemCount(); ++row) {
                if (list->GetItemText(row, 3) == mac) {
                    return list->GetItemText(row, 9) == QStringLiteral("13.8.0.1");
                }
            }
            return false;
        }(),
        10000);

    // OEM: the information file and one image.
    files.write("logo.bmp", "logo");
    COemDlg* oem = dlg.OemPage();
    pickThenSort(oem, 3, 2);
    oem->findChild<QLineEdit*>(QStringLiteral("companyEdit"))->setText(QStringLiteral("Acme"));
    oem->findChild<QLineEdit*>(QStringLiteral("imageFileEdit"))
        ->setText(QString::fromStdString((files.path() / "logo.bmp").string()));
    QTest::mouseClick(oem->findChild<QPushButton*>(QStringLiteral("uploadButton")), Qt::LeftButton);
    expectLine(QStringLiteral("192.0.2.11 Upload OEM Files Succeed."));
    EXPECT_EQ(config(cameraAt(target))["oem"]["info"]["company"], "Acme");
    others([&](const auto& c) {
        return !config(c).contains("oem") ||
               config(c)["oem"]["info"].value("company", "") != "Acme";
    });
    dlg.close();
}
