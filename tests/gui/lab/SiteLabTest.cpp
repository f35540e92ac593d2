// A site remembers its cameras: four that stop answering stay listed as
// offline, a checked job over Select All reaches the others and says which
// it left out, the job's changes are in the site's book with their values
// before, and a camera that answers again is live again.

#include "GuiLabTestBase.h"
#include "Program.h"
#include "SimControl.h"
#include "TempDir.h"

#include "app/MainDlg.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/NetworkParamDlg.h"
#include "pages/history/HistoryDlg.h"
#include "pages/network/AddressPlanDlg.h"
#include "pages/network/SearchDlg.h"
#include "site/SiteBook.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <fstream>
#include <set>

namespace {

using nlohmann::json;

constexpr int kCameras = 12;
constexpr int kSilent[] = {3, 6, 9, 12};

class SiteLab : public GuiLabTestBase {
protected:
    TempDir dir;
    const std::string socket = (dir.path() / "control.sock").string();

    json control(const json& request) const {
        return json::parse(SimControlRequest(socket, request.dump()), nullptr, false);
    }
    // The simulator with `cameras` cameras (and `more` of its configuration),
    // the window in the Default site of `dir` with every camera on Batch Set.
    void open(int cameras, const json& more = json::object()) {
        json config = {{"cameras", cameras}, {"password", "admin"}, {"control_socket", socket}};
        config.update(more);
        ASSERT_EQ(lab.startSimulator(config), "");
        window = std::make_unique<CMainDlg>(false, CMainDlg::Discovery::AllAdapters);
        window->OpenSites(dir.path() / "sites");
        window->resize(1200, 800);
        window->show();
        DefaultUserEdit(*window, "passwordEdit")->setText(QStringLiteral("admin"));
        page = window->BatchSetPage();
        tabs = window->findChild<QTabWidget*>(QStringLiteral("pageContainer"));
        tabs->setCurrentWidget(page);
        QTRY_COMPARE_WITH_TIMEOUT(window->SiteName(), QStringLiteral("Default"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(page->Devices().Count(), cameras, 10000);
    }
    void TearDown() override {
        window.reset();
        GuiLabTestBase::TearDown();
    }
    std::unique_ptr<CMainDlg> window;
    CBatchSetDlg* page = nullptr;
    QTabWidget* tabs = nullptr;

    QStringList operatingInfo(CMainDlg& dlg) const {
        QStringList lines;
        auto* list = dlg.findChild<QListWidget*>(QStringLiteral("operatingInfoList"));
        for (int i = 0; i < list->count(); ++i) {
            lines << list->item(i)->text();
        }
        return lines;
    }
};

TEST_F(SiteLab, SilentCamerasStayOfflineAndACheckedJobNamesThemAsLeftOut) {
    ASSERT_NO_FATAL_FAILURE(open(kCameras));
    CMainDlg& dlg = *window;

    for (const int camera : kSilent) {
        ASSERT_EQ(control({{"op", "faults"}, {"camera", camera}, {"faults", {{"silent", true}}}}),
                  json({{"ok", true}}));
    }
    // Past the 30 s after which a list without a site lets a camera go.
    QTRY_COMPARE_WITH_TIMEOUT(page->Devices().OfflineDevices().size(), std::size(kSilent),
                              45000 * kSlowdown);
    EXPECT_EQ(page->Devices().Count(), kCameras) << "listed still";
    const orv::device::DeviceId gone = page->Devices().OfflineDevices()[0].info.id;
    const int row = page->Devices().RowOf(gone);
    EXPECT_TRUE(
        page->DeviceListCtrl()->GetItemText(row, 2).contains(QStringLiteral("offline since")))
        << page->DeviceListCtrl()->GetItemText(row, 2).toStdString();

    page->findChild<QCheckBox*>(QStringLiteral("selectAll"))->click();
    ASSERT_TRUE(page->IsCheckedMode());
    EXPECT_EQ(page->Devices().CheckedDevices().size(), kCameras - std::size(kSilent));
    WaitForJobs(dlg.Jobs());
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
    EXPECT_TRUE(asked.front().contains(QStringLiteral("8 cameras"))) << asked.front().toStdString();
    const QStringList info = operatingInfo(dlg);
    EXPECT_TRUE(info.filter(QStringLiteral("Left out, offline: 4 cameras")).size() == 1)
        << info.join('\n').toStdString();
    SaveScreenshot(dlg, QStringLiteral("site-lab-offline"));

    std::set<int> changed;
    const json state = lab.state();
    for (std::size_t i = 0; i < state["cameras"].size(); ++i) {
        const json config = state["cameras"][i].value("deviceConfig", json::object());
        if (config.value("ports", json::object()).value("onvif", 0) == 8123) {
            changed.insert(static_cast<int>(i) + 1);
        }
    }
    EXPECT_EQ(changed, (std::set<int>{1, 2, 4, 5, 7, 8, 10, 11}));

    // The site's book has the job's eight cameras, each with its ports
    // before and after; the window's writer is on its own thread.
    auto book = orv::site::CSiteBook::Open(dir.path() / "sites" / "Default.site").book;
    ASSERT_NE(book, nullptr);
    std::set<std::string> recorded;
    const QDeadlineTimer deadline(5000);
    while (recorded.size() < changed.size() && !deadline.hasExpired()) {
        QTest::qWait(50);
        recorded.clear();
        for (const orv::site::JobEntry& job : book->Jobs()) {
            for (const orv::site::ChangeEntry& c : book->ChangesOfJob(job.id)) {
                if (c.setting == "ports" && c.outcome == "Succeeded" && c.before && c.after &&
                    c.after->find("\"onvif\":8123") != std::string::npos) {
                    recorded.insert(c.camera);
                }
            }
        }
    }
    EXPECT_EQ(recorded.size(), changed.size());
    EXPECT_EQ(book->Inventory().size(), static_cast<std::size_t>(kCameras));

    // Answering again, a camera is live again.
    for (const int camera : kSilent) {
        control({{"op", "faults"}, {"camera", camera}, {"faults", json::object()}});
    }
    QTRY_COMPARE_WITH_TIMEOUT(page->Devices().OfflineDevices().size(), 0u, 20000 * kSlowdown);
}

// Fifty cameras get new ports and image options from two checked Saves and
// new names from an address plan; undoing the three jobs from the site's
// history, newest first, leaves every camera as it was, field for field.
TEST_F(SiteLab, UndoingTheJobsPutsEveryCameraBackAsItWas) {
    constexpr int kMany = 50;
    ASSERT_NO_FATAL_FAILURE(open(kMany, {{"reboot_silence_ms", 200}}));
    CMainDlg& dlg = *window;
    QTRY_COMPARE_WITH_TIMEOUT(dlg.SearchPage()->Devices().Count(), kMany, 10000);
    const json before = lab.state()["cameras"];
    ASSERT_EQ(before.size(), static_cast<std::size_t>(kMany));

    page->findChild<QCheckBox*>(QStringLiteral("selectAll"))->click();
    WaitForJobs(dlg.Jobs());
    AnswerMessagesWith(true);
    QWidget* network = page->NetworkPage();
    network->findChild<QLineEdit*>(QStringLiteral("onvifPortEdit"))->setText("8123");
    network->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    WaitForJobs(dlg.Jobs(), 60000);
    QWidget* video = page->VideoImagePage();
    auto* powerLine = video->findChild<QComboBox*>(QStringLiteral("powerLineList"));
    powerLine->setCurrentIndex(powerLine->findText(QStringLiteral("60HZ")));
    video->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    WaitForJobs(dlg.Jobs(), 60000);

    // New names for every camera through an address plan.
    const std::string plan = (dir.path() / "names.csv").string();
    {
        std::ofstream out(plan);
        out << "mac;name\n";
        for (std::size_t i = 0; i < before.size(); ++i) {
            out << before[i]["mac"].get<std::string>() << ";Nordtor " << i + 1 << "\n";
        }
    }
    chosenFiles = {QString::fromStdString(plan)};
    AnswerFileDialogs(false);
    CAddressPlanDlg::SetReviewAnswer([](CAddressPlanDlg&) { return true; });
    tabs->setCurrentWidget(dlg.SearchPage());
    dlg.SearchPage()->findChild<QAction*>(QStringLiteral("importPlanAction"))->trigger();
    CAddressPlanDlg::SetReviewAnswer(nullptr);
    WaitForJobs(dlg.Jobs(), 60000);

    const json changed = lab.state()["cameras"];
    int renamed = 0;
    int moved = 0;
    int sixty = 0;
    for (const json& c : changed) {
        renamed += c["name"].get<std::string>().starts_with("Nordtor ") ? 1 : 0;
        moved += c["deviceConfig"]["ports"]["onvif"] == 8123 ? 1 : 0;
        sixty += c["deviceConfig"]["imaging"]["powerLineFrequency"] == 60 ? 1 : 0;
    }
    ASSERT_EQ(renamed, kMany);
    ASSERT_EQ(moved, kMany);
    ASSERT_EQ(sixty, kMany);

    CHistoryDlg* history = dlg.ShowHistory();
    ASSERT_NE(history, nullptr);
    int loads = 0;
    QObject::connect(history, &CHistoryDlg::loaded, history, [&loads] { ++loads; });
    QTRY_COMPARE_WITH_TIMEOUT(loads, 1, 10000);
    auto* jobs = history->findChild<QTableWidget*>(QStringLiteral("historyJobs"));
    ASSERT_EQ(jobs->rowCount(), 1 + 3) << "every job, then the three, newest first";
    std::vector<std::int64_t> ids;
    for (int row = 1; row < jobs->rowCount(); ++row) {
        ids.push_back(jobs->item(row, 0)->text().toLongLong());
    }
    SaveScreenshot(*history, QStringLiteral("site-history"));
    for (const std::int64_t id : ids) {
        history->ChooseJob(id);
        auto* undo = history->findChild<QPushButton*>(QStringLiteral("historyUndo"));
        ASSERT_TRUE(undo->isEnabled()) << id;
        const int seen = loads;
        undo->click();
        WaitForJobs(dlg.Jobs(), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(loads > seen, 10000);
    }
    const json after = lab.state()["cameras"];
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i]["name"], before[i]["name"]) << i;
        EXPECT_EQ(after[i]["ip"], before[i]["ip"]) << i;
        EXPECT_EQ(after[i]["deviceConfig"], before[i]["deviceConfig"]) << i;
    }
    history->ChooseJob(0);
    SaveScreenshot(*history, QStringLiteral("site-history-undone"));
    SaveScreenshot(dlg, QStringLiteral("site-undo-window"));
}

// The window and the command line on one site at once, each on half the
// cameras: both finish, and the book holds both jobs whole.
TEST_F(SiteLab, TheWindowAndTheCommandLineOnOneSiteBothFinishWhole) {
    constexpr int kMany = 60;
    ASSERT_NO_FATAL_FAILURE(open(kMany, {{"answer_delay_ms", 20}}));
    CMainDlg& dlg = *window;
    const std::string sites = (dir.path() / "sites").string();
    // The window takes the first half, by the filter.
    page->findChild<QLineEdit*>(QStringLiteral("filterEdit"))->setText(QStringLiteral("192.0.2.1"));
    page->findChild<QCheckBox*>(QStringLiteral("selectAll"))->click();
    WaitForJobs(dlg.Jobs());
    const std::vector<orv::device::DeviceInfo> windowHalf = page->Devices().CheckedDevices();
    ASSERT_FALSE(windowHalf.empty());
    std::set<std::string> windowIps;
    for (const orv::device::DeviceInfo& d : windowHalf) {
        windowIps.insert(d.AddressText().toStdString());
    }

    // The command line takes the others, on the same site's book.
    const std::string profile = (dir.path() / "ports.json").string();
    std::ofstream(profile)
        << R"({"ports": {"http": 80, "onvif": 8000, "rtsp1": 556, "rtsp2": 557}})";
    std::vector<std::string> args = {ORVANTIX_CLI, "apply", "--seconds", "2", "--profile", profile};
    for (int i = 0; i < kMany; ++i) {
        const std::string ip = "192.0.2." + std::to_string(10 + i);
        if (windowIps.count(ip) == 0) {
            args.push_back("--select");
            args.push_back("ip=" + ip);
        }
    }
    std::vector<std::string> env = {"ORVANTIX_PASSWORD=admin", "ORVANTIX_SITES=" + sites,
                                    "XDG_CONFIG_HOME=" + dir.path().string(), "PATH=/usr/bin:/bin"};
    for (std::string& e : SanitizerEnvironment()) {
        env.push_back(std::move(e));
    }
    const std::string output = (dir.path() / "cli-output.txt").string();
    const pid_t cli = StartProgram(args, env, output);
    ASSERT_GT(cli, 0);

    AnswerMessagesWith(true);
    QWidget* network = page->NetworkPage();
    network->findChild<QLineEdit*>(QStringLiteral("onvifPortEdit"))->setText("8123");
    network->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    WaitForJobs(dlg.Jobs(), 60000);
    int status = 0;
    ASSERT_EQ(::waitpid(cli, &status, 0), cli);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n"
                                                               << std::ifstream(output).rdbuf();

    auto book = orv::site::CSiteBook::Open(dir.path() / "sites" / "Default.site").book;
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(book->IntegrityCheck(), "ok");
    const auto whole = [&] {
        const std::vector<orv::site::JobSummary> jobs = book->JobSummaries();
        int cameras = 0;
        for (const orv::site::JobSummary& j : jobs) {
            cameras += j.failed == 0 ? j.cameras : 0;
        }
        return jobs.size() == 2 && cameras == kMany;
    };
    QTRY_VERIFY_WITH_TIMEOUT(whole(), 5000);
    int onvif = 0;
    int rtsp = 0;
    const json state = lab.state(); // kept: the loop reads into it
    for (const json& c : state["cameras"]) {
        onvif += c["deviceConfig"]["ports"]["onvif"] == 8123 ? 1 : 0;
        rtsp += c["deviceConfig"]["ports"]["rtsp1"] == 556 ? 1 : 0;
    }
    EXPECT_EQ(onvif, static_cast<int>(windowHalf.size()));
    EXPECT_EQ(rtsp, kMany - static_cast<int>(windowHalf.size()));
}

} // namespace
