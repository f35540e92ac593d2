// The site history window over a real book: the jobs newest first, the
// changes of the job chosen or of every job, a filter that narrows them to a
// camera, Undo only for a job that changed something an undo can put back,
// and an export of what the filter shows in which a camera's hostile name
// stays text.

#include "GuiTestBase.h"
#include "TempDir.h"

#include "pages/history/HistoryDlg.h"

#include "ui/PopupMenu.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>

using namespace orv;

class HistoryDlgTest : public GuiTestBase {};

TEST_F(HistoryDlgTest, ShowsTheJobsNarrowsToACameraAndExportsWhatItShows) {
    TempDir dir;
    const auto file = dir.path() / "Werk.site";
    {
        auto book = site::CSiteBook::Open(file).book;
        ASSERT_NE(book, nullptr);
        book->NoteSeen({{"mac:02:4F:56:10:00:01", "02:4F:56:10:00:01", "native", "M", "1",
                         "192.0.2.10", "=HYPERLINK(\"x\")", 1, 1},
                        {"mac:02:4F:56:10:00:02", "02:4F:56:10:00:02", "native", "M", "1",
                         "192.0.2.11", "Halle", 1, 1}});
        const std::int64_t ports =
            book->BeginJob({0, "Batch Set Network", 1000, "anna", "2.1", {}});
        book->Record({{ports, "mac:02:4F:56:10:00:01", "Modify Port", "ports", R"({"rtsp":554})",
                       R"({"rtsp":556})", "Succeeded", "", 1100},
                      {ports, "mac:02:4F:56:10:00:02", "Modify Port", "ports", R"({"rtsp":554})",
                       R"({"rtsp":556})", "Failed", "no answer within 2.5 s", 1200}});
        const std::int64_t password =
            book->BeginJob({0, "Batch Set System", 2000, "anna", "2.1", {}});
        book->Record({{password, "mac:02:4F:56:10:00:01", "Modify Password", "password",
                       std::nullopt, std::nullopt, "Succeeded", "", 2100}});
    }
    CSiteJournal::Opened opened = CSiteJournal::Open("Werk", file);
    ASSERT_NE(opened.journal, nullptr);
    // The first camera was replaced: another MAC answers at its address.
    device::DeviceInfo replacement;
    replacement.mac = device::ReadMac("02:4F:56:10:00:77");
    replacement.id = device::DeviceId::OfMac(*replacement.mac);
    replacement.address = 0xC000020A; // 192.0.2.10
    device::DeviceInfo stranger = replacement;
    stranger.mac = device::ReadMac("02:4F:56:10:00:78");
    stranger.id = device::DeviceId::OfMac(*stranger.mac);
    stranger.address = 0xC0000263;
    CHistoryDlg dlg(opened.journal, [&] { return std::vector{replacement, stranger}; });
    int loads = 0;
    QObject::connect(&dlg, &CHistoryDlg::loaded, &dlg, [&loads] { ++loads; });
    QTRY_COMPARE_WITH_TIMEOUT(loads, 1, 5000);
    auto* jobs = dlg.findChild<QTableWidget*>(QStringLiteral("historyJobs"));
    ASSERT_EQ(jobs->rowCount(), 3);
    EXPECT_EQ(jobs->item(1, 2)->text(), QStringLiteral("Batch Set System")) << "newest first";
    EXPECT_EQ(jobs->item(2, 5)->text(), QStringLiteral("1")) << "one camera failed";
    EXPECT_EQ(dlg.ShownCount(), 3) << "every job's changes";

    auto* undo = dlg.findChild<QPushButton*>(QStringLiteral("historyUndo"));
    dlg.ChooseJob(2);
    EXPECT_EQ(dlg.ShownCount(), 1);
    EXPECT_FALSE(undo->isEnabled()) << "a password cannot be put back";
    dlg.ChooseJob(1);
    EXPECT_EQ(dlg.ShownCount(), 2);
    EXPECT_TRUE(undo->isEnabled());
    dlg.SetBusy(true);
    EXPECT_FALSE(undo->isEnabled()) << "not while a job runs";
    dlg.SetBusy(false);

    std::int64_t asked = 0;
    QObject::connect(&dlg, &CHistoryDlg::undoRequested, &dlg,
                     [&](std::int64_t job, const std::vector<site::ChangeEntry>& changes) {
                         asked = job;
                         EXPECT_EQ(changes.size(), 2u);
                     });
    undo->click();
    EXPECT_EQ(asked, 1);

    dlg.findChild<QLineEdit*>(QStringLiteral("historyFilter"))
        ->setText(QStringLiteral("00:02 no answer"));
    EXPECT_EQ(dlg.ShownCount(), 1);
    dlg.findChild<QLineEdit*>(QStringLiteral("historyFilter"))->setText(QStringLiteral("10:00:01"));
    const std::string csv = dlg.Csv();
    EXPECT_NE(csv.find("job,time,camera,mac,operation,setting,before,after,outcome,reason"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("'=HYPERLINK"), std::string::npos) << "a formula stays text:\n" << csv;
    EXPECT_EQ(csv.find("Halle"), std::string::npos) << csv;
    EXPECT_NE(csv.find("rtsp\"\":556"), std::string::npos) << csv;
    SaveScreenshot(dlg, QStringLiteral("history-dialog"));

    // Restore backup offers the camera's replacement and no other camera.
    auto* restore = dlg.findChild<QPushButton*>(QStringLiteral("historyRestore"));
    EXPECT_FALSE(restore->isEnabled()) << "no change chosen";
    dlg.ChooseChange(0);
    ASSERT_TRUE(restore->isEnabled());
    QStringList offered;
    std::optional<device::DeviceInfo> target;
    std::size_t given = 0;
    QObject::connect(
        &dlg, &CHistoryDlg::restoreRequested, &dlg,
        [&](const std::vector<site::ChangeEntry>& changes, const device::DeviceInfo& to) {
            target = to;
            given = changes.size();
        });
    orv::ui::SetPopupMenuAnswer([&](QMenu& menu) -> QAction* {
        for (QAction* action : menu.actions()) {
            offered << action->text();
        }
        return menu.actions().value(0);
    });
    restore->click();
    ASSERT_EQ(offered.size(), 1) << offered.join('\n').toStdString();
    EXPECT_TRUE(offered[0].startsWith(QStringLiteral("Its replacement: 02:4F:56:10:00:77")))
        << offered[0].toStdString();
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->id, replacement.id);
    EXPECT_EQ(given, 2u) << "the camera's changes across jobs";
}
