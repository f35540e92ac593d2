#include "DeviceRecords.h"
#include "GuiTestBase.h"

#include "RecordingServices.h"
#include "app/ProcessState.h"
#include "discovery/PageEvents.h"
#include "log/LogFile.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/preview/VideoViewDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"

#include <QCoreApplication>
#include <QTest>

#include <fstream>
#include <memory>
#include <type_traits>

namespace {

class DeviceListTest : public GuiTestBase {
protected:
    std::int32_t now = 1700000000;
    std::unique_ptr<RecordingServices> services = std::make_unique<RecordingServices>();
    orv::CDeviceList::Clock clock() {
        return [this] { return now; };
    }

    template <class Page>
    std::unique_ptr<Page> page() {
        auto p = std::make_unique<Page>(*services, nullptr, clock());
        p->resize(900, 400);
        return p;
    }

    static void deliver(CDeviceListPage& page, const tagQvIpcInfo& record,
                        QEvent::Type type = orv::kDeviceFoundEvent) {
        QCoreApplication::postEvent(&page,
                                    std::make_unique<orv::CDeviceEvent>(type, record).release());
        QCoreApplication::sendPostedEvents(&page);
    }

    static QStringList column(CDeviceListPage& page, int col) {
        QStringList texts;
        for (int row = 0; row < page.DeviceListCtrl()->GetItemCount(); ++row) {
            texts << page.DeviceListCtrl()->GetItemText(row, col);
        }
        return texts;
    }

    static void ticks(CDeviceListPage& page, int n) {
        for (int i = 0; i < n; ++i) {
            page.OnTick();
        }
    }

    static int disconnectLines() {
        std::ifstream in(TheLogFile().CurrentPath());
        std::string line;
        int n = 0;
        while (std::getline(in, line)) {
            n += line.find("Disconnect IPC:") != std::string::npos;
        }
        return n;
    }
};

} // namespace

TEST_F(DeviceListTest, RowsStayInAddressOrderAndNumbered) {
    auto p = page<CBatchSetDlg>();
    deliver(*p, Camera(1, "192.168.1.10"));
    deliver(*p, Camera(2, "192.168.1.9"));
    deliver(*p, Camera(3, "192.168.1.100"));
    EXPECT_EQ(column(*p, 4), (QStringList{"192.168.1.9", "192.168.1.10", "192.168.1.100"}));
    EXPECT_EQ(column(*p, 1), (QStringList{"1", "2", "3"}));

    // After sorting by name, the next new camera brings back the address order.
    QTest::mouseClick(
        p->DeviceListCtrl()->horizontalHeader()->viewport(), Qt::LeftButton, {},
        QPoint(p->DeviceListCtrl()->horizontalHeader()->sectionViewportPosition(2) + 10, 5));
    QCoreApplication::sendPostedEvents(p.get());
    EXPECT_EQ(column(*p, 1), (QStringList{"1", "2", "3"})) << "renumbered after the sort";
    deliver(*p, Camera(42, "192.168.1.50"));
    EXPECT_EQ(column(*p, 4),
              (QStringList{"192.168.1.9", "192.168.1.10", "192.168.1.50", "192.168.1.100"}));
    EXPECT_EQ(column(*p, 1), (QStringList{"1", "2", "3", "4"}));
}

TEST_F(DeviceListTest, UpgradeAndOemListsSortNewRowsByText) {
    auto upgrade = page<CBatchUpgradeDlg>();
    auto oem = page<COemDlg>();
    for (CDeviceListPage* p :
         {static_cast<CDeviceListPage*>(upgrade.get()), static_cast<CDeviceListPage*>(oem.get())}) {
        p->DeviceListCtrl()->SortByColumn(4, true);
        deliver(*p, Camera(1, "192.168.1.9"));
        deliver(*p, Camera(2, "192.168.1.10"));
        EXPECT_EQ(column(*p, 4), (QStringList{"192.168.1.10", "192.168.1.9"}));
    }
}

TEST_F(DeviceListTest, CellsComeFromTheRecord) {
    auto batch = page<CBatchSetDlg>();
    auto oem = page<COemDlg>();
    auto video = page<CVideoViewDlg>();
    const tagQvIpcInfo cam = Camera(0x5F, "192.168.1.20",
                                    "Tor S\xC3\xBC"
                                    "d",
                                    "N3476", "Dome 2MP");
    deliver(*batch, cam);
    deliver(*oem, cam);
    deliver(*video, cam);
    EXPECT_EQ(batch->DeviceListCtrl()->GetItemText(0, 2), QStringLiteral("Tor Süd"));
    EXPECT_EQ(batch->DeviceListCtrl()->GetItemText(0, 3), "02:4F:56:10:00:5F");
    EXPECT_EQ(batch->DeviceListCtrl()->GetItemText(0, 5), "Dome 2MP");
    EXPECT_EQ(oem->DeviceListCtrl()->GetItemText(0, 8), "N3476") << "OEM shows the model only";
    EXPECT_EQ(oem->DeviceListCtrl()->GetItemText(0, 9), "12.0.4.3");
    // Video Previews has no check boxes; its number column comes first.
    EXPECT_FALSE(video->DeviceListCtrl()->HasCheckBoxes());
    EXPECT_EQ(video->DeviceListCtrl()->GetItemText(0, 0), "1");
    EXPECT_EQ(video->DeviceListCtrl()->GetItemText(0, 3), "192.168.1.20");
}

TEST_F(DeviceListTest, AllEightMacBytesMakeTheKey) {
    auto p = page<CBatchSetDlg>();
    tagQvIpcInfo a = Camera(1, "192.168.1.20");
    tagQvIpcInfo b = a;
    b.Mac[7] = 1;
    deliver(*p, a);
    deliver(*p, b);
    EXPECT_EQ(p->DeviceListCtrl()->GetItemCount(), 2);
}

TEST_F(DeviceListTest, ANewAddressRefreshesTheRowInPlace) {
    auto p = page<CBatchSetDlg>();
    deliver(*p, Camera(1, "192.168.1.5"));
    deliver(*p, Camera(2, "192.168.1.6"));
    deliver(*p, Camera(1, "192.168.1.200", "Renamed"));
    EXPECT_EQ(column(*p, 4), (QStringList{"192.168.1.200", "192.168.1.6"}))
        << "the row keeps its place until the next sort";
    EXPECT_EQ(p->DeviceListCtrl()->GetItemText(0, 2), "Renamed");

    // A successful change refreshes the row but is no answer: the camera
    // still goes silent on its old answer's time.
    now += 29;
    deliver(*p, Camera(2, "192.168.1.66"), orv::kModifyDoneEvent);
    EXPECT_EQ(p->DeviceListCtrl()->GetItemText(1, 4), "192.168.1.66");
    now += 1;
    EXPECT_EQ(p->Devices().DropStaleDevice(), 1);
    EXPECT_EQ(column(*p, 4), (QStringList{"192.168.1.66"})) << "one row per check";
    deliver(*p, Camera(9, "192.168.1.9"), orv::kModifyDoneEvent);
    EXPECT_EQ(p->DeviceListCtrl()->GetItemCount(), 1) << "unlisted cameras are not added";
}

TEST_F(DeviceListTest, SilentCamerasLeaveOneByOneEveryFiveSeconds) {
    auto network = std::make_unique<CSearchDlg>(*services, nullptr, clock());
    auto batch = page<CBatchSetDlg>();
    for (CDeviceListPage* p : {static_cast<CDeviceListPage*>(network.get()),
                               static_cast<CDeviceListPage*>(batch.get())}) {
        for (unsigned char i = 1; i <= 3; ++i) {
            deliver(*p, Camera(i, ("192.168.1." + std::to_string(i)).c_str()));
        }
    }
    deliver(*batch, Camera(4, "192.168.1.4"));
    now += 29;
    deliver(*batch, Camera(4, "192.168.1.4"));
    now += 1;
    const int before = disconnectLines();
    for (int round = 1; round <= 3; ++round) {
        // A check comes every 50th tick of each page kind.
        const int pending =
            CDeviceListPage::kDropEveryTicks - network->Ticks() % CDeviceListPage::kDropEveryTicks;
        ticks(*network, pending - 1);
        EXPECT_EQ(network->DeviceListCtrl()->GetItemCount(), 4 - round);
        ticks(*network, 1);
        EXPECT_EQ(network->DeviceListCtrl()->GetItemCount(), 3 - round);
        EXPECT_EQ(column(*network, 1).join(','),
                  QStringList({"1", "2"}).mid(0, 3 - round).join(','));

        ticks(*batch,
              CDeviceListPage::kDropEveryTicks - batch->Ticks() % CDeviceListPage::kDropEveryTicks);
        EXPECT_EQ(batch->DeviceListCtrl()->GetItemCount(), 4 - round);
    }
    EXPECT_EQ(disconnectLines() - before, 3) << "only Network Settings writes the lines";
    EXPECT_EQ(column(*batch, 4), (QStringList{"192.168.1.4"})) << "the camera that answered stays";
}

TEST_F(DeviceListTest, DoubleClickTogglesTheCheckAndOffersTheWebPage) {
    auto p = page<CBatchUpgradeDlg>();
    deliver(*p, Camera(1, "192.168.1.77"));
    p->show();
    auto* list = p->DeviceListCtrl();
    const QPoint cell = list->visualRect(list->model()->index(0, 4)).center();
    DoubleClick(list->viewport(), cell);
    EXPECT_EQ(orv::TheProcessState().pendingUrl.Take(), "http://192.168.1.77");
    EXPECT_TRUE(list->GetCheck(0)) << "a double-click toggles the check once";
    DoubleClick(list->viewport(), cell);
    EXPECT_FALSE(list->GetCheck(0));
}
