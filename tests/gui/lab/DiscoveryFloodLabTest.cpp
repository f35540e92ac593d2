// A hostile station on the cameras' segment floods the whole program with
// answers from invented cameras, repeating each search's transaction id at
// about 80,000 frames a second. The program stays responsive, in bounded
// memory, lists every real camera, and stops listing at its ceiling with one
// line that says so; once the flood ends, the invented cameras leave every
// list together when their silence is up.

#include "FloodStation.h"
#include "GuiLabTestBase.h"

#include "OwnStall.h"
#include "app/MainDlg.h"
#include "app/StallWatch.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/preview/VideoViewDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>

#include <fstream>
#include <string>

namespace {

using namespace std::chrono_literals;

long statusKb(const std::string& field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(field.size()));
        }
    }
    return -1;
}

class FloodLab : public GuiLabTestBase {};

} // namespace

TEST_F(FloodLab, TheWindowStaysResponsiveInBoundedMemoryRealCamerasStayAndTheJunkLeaves) {
    ASSERT_EQ(lab.startSimulator({{"cameras", 3}}), "");
    CMainDlg dlg(true, CMainDlg::Discovery::AllAdapters);
    dlg.show();
    const auto pages = {static_cast<CDeviceListPage*>(dlg.SearchPage()),
                        static_cast<CDeviceListPage*>(dlg.BatchSetPage()),
                        static_cast<CDeviceListPage*>(dlg.BatchUpgradePage()),
                        static_cast<CDeviceListPage*>(dlg.VideoViewPage()),
                        static_cast<CDeviceListPage*>(dlg.OemPage())};
    // Counted in place: copying ten thousand records would stall the window
    // thread itself.
    const auto realListed = [&] {
        int listed = 0;
        for (CDeviceListPage* page : pages) {
            const auto& model = page->Devices().Model();
            for (int row = 0; row < model.rowCount(); ++row) {
                const auto mac = model.At(row).device.info.id.Mac();
                listed += !FloodStation::IsInvented(mac.data());
            }
        }
        return listed;
    };
    QTRY_COMPARE_WITH_TIMEOUT(realListed(), 3 * 5, 5000);
    QTest::qWait(200);
    const long baselineKb = statusKb("VmRSS:");
    orv::CStallWatch watch(20); // as the field diagnostics see it
    const OwnStall own;         // less the time other load kept it waiting

    // 26 s of flooding in all, from the program's next search on; this
    // thread keeps serving the window meanwhile.
    const std::vector<FloodStation::Stage> stages = {{1, 3s}, {200, 5s}, {2000, 7s}, {10000, 11s}};
    FloodStation station(lab, stages, 80000);
    std::vector<long> residentAfter(stages.size());
    std::vector<qint64> stallAfter(stages.size());
    std::vector<qint64> ownAfter(stages.size());
    std::vector<int> realAfter(stages.size());
    for (int seen = -1; seen < static_cast<int>(stages.size());) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        for (; seen < station.stage(); ++seen) {
            if (seen >= 0) {
                residentAfter[seen] = statusKb("VmRSS:") - baselineKb;
                stallAfter[seen] = watch.LongestStallMs();
                ownAfter[seen] = own.LongestMs();
                realAfter[seen] = realListed();
            }
        }
    }
    std::vector<FloodStation::Figures> sent;
    ASSERT_EQ(station.finish(sent), "");
    QTest::qWait(500); // what is still queued arrives
    for (std::size_t i = 0; i < stages.size(); ++i) {
        std::printf("[ measure ] %5d invented cameras: %.0f frames/s for %.1f s, %d searches; "
                    "longest stall so far %lld ms (its own %lld ms), resident %+ld kB\n",
                    stages[i].cameras, sent[i].rate(), sent[i].seconds, sent[i].rounds,
                    static_cast<long long>(stallAfter[i]), static_cast<long long>(ownAfter[i]),
                    residentAfter[i]);
        EXPECT_GE(sent[i].rate(), 20000) << "a flood far beyond any camera's answers";
        EXPECT_EQ(realAfter[i], 3 * 5) << "every real camera on every page";
    }
    for (CDeviceListPage* page : pages) {
        EXPECT_EQ(page->Devices().Count(), orv::CDeviceTableModel::kMaxDevices)
            << page->objectName().toStdString();
    }
    EXPECT_EQ(infoLines(dlg).filter(QStringLiteral("further cameras are not listed")).size(), 1);
    EXPECT_LE(own.LongestMs(), 100 * kSlowdown);
    EXPECT_LE(statusKb("VmHWM:") - baselineKb, 50 * 1024 * kSlowdown);

    // Silent for 30 s, checked every 5 s: the lists hold only the real
    // cameras within 40 s of the flood's end, the window still serving.
    QElapsedTimer since;
    since.start();
    const OwnStall drainOwn;
    const auto onlyReal = [&] {
        return std::all_of(pages.begin(), pages.end(),
                           [](CDeviceListPage* page) { return page->Devices().Count() == 3; });
    };
    QTRY_VERIFY_WITH_TIMEOUT(onlyReal(), 40000);
    std::printf("[ measure ] the invented cameras left every list %lld ms after the flood; longest "
                "stall meanwhile (its own) %lld ms\n",
                static_cast<long long>(since.elapsed()),
                static_cast<long long>(drainOwn.LongestMs()));
    EXPECT_EQ(realListed(), 3 * 5);
    EXPECT_LE(drainOwn.LongestMs(), 100 * kSlowdown);
}
