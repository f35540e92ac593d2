// A thousand cameras on one site, a tenth of them at the south gate: the
// filter box finds them as the installer types, Select All ticks exactly
// those, and a checked Save reaches exactly those (the simulator's state is
// the judge).

#include "GuiLabTestBase.h"

#include "app/MainDlg.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/NetworkParamDlg.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <nlohmann/json.hpp>

#include <set>
#include <string>

namespace {

using nlohmann::json;

constexpr int kCameras = 1000;

// The simulator's name patterns, used in turn: every tenth camera is at the
// south gate, every third of those says so in capitals, which the filter
// does not mind.
json namePatterns() {
    json names = json::array();
    for (int i = 1; i <= 30; ++i) {
        names.push_back(i % 10 != 0 ? "Halle {n}" : i == 30 ? "SÜD-Tor {n}" : "Süd-Tor {n}");
    }
    return names;
}

class FilterLab : public GuiLabTestBase {};

TEST_F(FilterLab, TypingFindsTheCamerasSelectAllTicksThoseAndTheJobReachesNoOther) {
    ASSERT_EQ(lab.routeRange("198.18.0.1", "198.18.0.0/15"), "");
    ASSERT_EQ(lab.startSimulator({{"cameras", kCameras},
                                  {"names", namePatterns()},
                                  {"addresses", LabNetwork::BenchmarkRange()}}),
              "");
    CMainDlg dlg(false, CMainDlg::Discovery::AllAdapters);
    dlg.resize(1200, 800);
    dlg.show();
    DefaultUserEdit(dlg, "passwordEdit")->setText(QStringLiteral("admin"));
    CBatchSetDlg* page = dlg.BatchSetPage();
    dlg.findChild<QTabWidget*>(QStringLiteral("pageContainer"))->setCurrentWidget(page);
    QTRY_COMPARE_WITH_TIMEOUT(page->Devices().Count(), kCameras, 30000);

    auto* filter = page->findChild<QLineEdit*>(QStringLiteral("filterEdit"));
    ASSERT_NE(filter, nullptr);
    // Typed key by key ("ü" is beyond what QTest's key names spell).
    QTest::sendKeyEvent(QTest::Click, filter, Qt::Key_S, QStringLiteral("S"), Qt::ShiftModifier);
    QTest::sendKeyEvent(QTest::Click, filter, Qt::Key_Udiaeresis, QStringLiteral("ü"),
                        Qt::NoModifier);
    QElapsedTimer sinceLastKey;
    sinceLastKey.start();
    QTest::keyClick(filter, Qt::Key_D);
    auto* list = page->DeviceListCtrl();
    const QDeadlineTimer deadline(2000);
    while (list->GetItemCount() != kCameras / 10 && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
    }
    const double shownAfter = static_cast<double>(sinceLastKey.nsecsElapsed()) / 1e6;
    std::printf("[ measure ] the filter shows the %d matching cameras of %d %.1f ms after the "
                "last key was pressed\n",
                list->GetItemCount(), kCameras, shownAfter);
    ASSERT_EQ(list->GetItemCount(), kCameras / 10);
    EXPECT_LE(shownAfter, 50 * kSlowdown);
    for (int row = 0; row < list->GetItemCount(); ++row) {
        const orv::DeviceRow* camera = page->Devices().Find(*page->Devices().KeyAt(row));
        EXPECT_TRUE(camera->info.name.contains(QStringLiteral("süd"), Qt::CaseInsensitive))
            << camera->info.name.toStdString();
    }
    EXPECT_EQ(page->Devices().Count(), kCameras) << "the others are only out of sight";

    page->findChild<QCheckBox*>(QStringLiteral("selectAll"))->click();
    ASSERT_TRUE(page->IsCheckedMode());
    std::set<std::string> ticked;
    for (const orv::device::DeviceInfo& camera : page->Devices().CheckedDevices()) {
        ticked.insert(camera.AddressText().toStdString());
        EXPECT_TRUE(camera.name.startsWith(QStringLiteral("Süd")) ||
                    camera.name.startsWith(QStringLiteral("SÜD")))
            << camera.name.toStdString();
    }
    EXPECT_EQ(ticked.size(), static_cast<std::size_t>(kCameras / 10));
    WaitForJobs(dlg.Jobs());
    SaveScreenshot(dlg, QStringLiteral("filter-lab-sued"));

    // A checked Save with the filter cleared: the ticks stay where they
    // are, and the question names their count.
    filter->clear();
    EXPECT_EQ(list->GetItemCount(), kCameras);
    QStringList asked;
    orv::ui::SetMessageBoxAnswer([&](orv::ui::MessageKind, const QString& text) {
        asked << text;
        return true;
    });
    QWidget* network = page->NetworkPage();
    network->findChild<QLineEdit*>(QStringLiteral("onvifPortEdit"))->setText("8123");
    network->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.Jobs().AnyRunning(), 60000);
    ASSERT_FALSE(asked.isEmpty());
    EXPECT_TRUE(asked.front().contains(QStringLiteral("100 cameras")))
        << asked.front().toStdString();
    std::set<std::string> configured;
    const json state = lab.state();
    for (const json& camera : state["cameras"]) {
        const json config = camera.value("deviceConfig", json::object());
        if (config.value("ports", json::object()).value("onvif", 0) == 8123) {
            configured.insert(camera["ip"].get<std::string>());
        }
    }
    EXPECT_EQ(configured, ticked);
    SaveScreenshot(dlg, QStringLiteral("filter-lab-saved"));
}

} // namespace
