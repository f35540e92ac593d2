// Device jobs from the main window over fifty simulated cameras, one in five
// of them misbehaving: checked-mode saves on every Batch Set sub-page, a
// batch upgrade and an OEM upload configure every healthy camera exactly
// once, report every faulty one with its reason and never hold up the window
// thread; Cancel and closing the window mid-job keep what finished and leave
// no camera changed without a result that says so. The simulator's state is
// the judge of what reached a camera.

#include "GuiLabTestBase.h"
#include "OwnStall.h"
#include "SimControl.h"
#include "TempDir.h"

#include "app/MainDlg.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/BatchSubPage.h"
#include "pages/batchset/NetworkParamDlg.h"
#include "pages/batchset/SystemParamDlg.h"
#include "pages/common/JobPanel.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"
#include "qvipcsdk/QvIpcSdk.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace {

using nlohmann::json;
using orv::jobs::OperationResult;
using orv::jobs::Outcome;
using orv::jobs::Reason;

constexpr int kCameras = 50;
constexpr const char* kPassword = "kt7391";

// Every fifth camera misbehaves, the five faults in turn.
enum class Fault { None, Login, Silent, Slow, Cut, RefuseValue };
Fault faultOf(int camera) {
    return camera % 5 != 0 ? Fault::None : static_cast<Fault>(1 + (camera / 5 - 1) % 5);
}

class JobsLab : public GuiLabTestBase {
protected:
    // The simulator with fifty cameras of one model, the window with every
    // camera listed on the Batch Set, Batch Upgrade and OEM pages.
    void start(json overrides = json::object(), json models = {"QVIP3651"}) {
        ASSERT_EQ(lab.startSimulator({{"cameras", kCameras},
                                      {"password", kPassword},
                                      {"models", models},
                                      {"versions", {"13.1.0.5"}},
                                      {"reboot_silence_ms", 200},
                                      {"control_socket", socket},
                                      {"cameras_override", overrides}}),
                  "");
        for (const json& camera : cameras()) {
            numberOf[camera["ip"].get<std::string>()] = static_cast<int>(numberOf.size()) + 1;
        }
        dlg = std::make_unique<CMainDlg>(true, CMainDlg::Discovery::AllAdapters); // with OEM
        ASSERT_EQ(dlg->DiscoveryInstanceCount(), 1) << "the lab adapter only";
        dlg->resize(1200, 800);
        dlg->show();
        DefaultUserEdit(*dlg, "passwordEdit")->setText(QString::fromLatin1(kPassword));
        for (CDeviceListPage* page : {static_cast<CDeviceListPage*>(dlg->BatchSetPage()),
                                      static_cast<CDeviceListPage*>(dlg->BatchUpgradePage()),
                                      static_cast<CDeviceListPage*>(dlg->OemPage())}) {
            QTRY_COMPARE_WITH_TIMEOUT(page->Devices().Count(), kCameras, 10000);
            // A person opens the page, picks a camera, then checks them all.
            dlg->findChild<QTabWidget*>(QStringLiteral("pageContainer"))->setCurrentWidget(page);
            auto* list = page->DeviceListCtrl();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualRect(list->model()->index(0, 2)).center());
            WaitForJobs(dlg->Jobs());
            page->findChild<QCheckBox*>(QStringLiteral("selectAll"))->click();
            ASSERT_TRUE(page->IsCheckedMode());
        }
        WaitForJobs(dlg->Jobs());
    }

    // The simulator's state, once written in full.
    json cameras() const {
        const QDeadlineTimer deadline(5000);
        json state = lab.state();
        while (!(state.is_object() && state.value("cameras", json::array()).size() == kCameras) &&
               !deadline.hasExpired()) {
            QTest::qWait(10);
            state = lab.state();
        }
        return state.value("cameras", json::array());
    }

    json control(const json& request) const {
        return json::parse(SimControlRequest(socket, request.dump()), nullptr, false);
    }
    // The simulator's view of camera `number` (1-based), with its upload count.
    json camera(int number) const {
        return control({{"op", "get"}, {"camera", number}}).value("camera", json::object());
    }

    // Each faulty camera misbehaves while a job runs; the one that refuses
    // a value refuses the call `route`. Silence ends with the job, so that
    // no list drops a camera for it.
    void setFaults(const char* route) {
        for (int camera = 5; camera <= kCameras; camera += 5) {
            const json faults = std::map<Fault, json>{
                {Fault::Login, {{"refuse_credentials", true}}},
                {Fault::Silent, {{"silent", true}}},
                {Fault::Slow, {{"delay_ms", 400}}},
                {Fault::Cut, {{"close_midway", true}}},
                {Fault::RefuseValue, {{"refuse_call", route}}}}[faultOf(camera)];
            ASSERT_EQ(control({{"op", "faults"}, {"camera", camera}, {"faults", faults}}),
                      json({{"ok", true}}));
        }
    }
    void clearFaults() {
        for (int camera = 5; camera <= kCameras; camera += 5) {
            control({{"op", "faults"}, {"camera", camera}, {"faults", json::object()}});
        }
    }

    // The button `name` on `form` starts a checked-mode job on `page` with
    // faults in place.
    // Every camera gets its results, each as its fault says, and as many
    // of each operation as every other camera; a camera's state shows the
    // change (`applied`) exactly when its `judged` operation (the one the
    // camera refusing a value refuses) succeeded; the summary lines add up.
    void runJob(CDeviceListPage* page, QWidget* form, const char* name, const char* route,
                const std::string& judged, const std::function<bool(const json&)>& applied,
                bool summary = true) {
        const orv::jobs::JobId before = page->JobPanel()->Current();
        setFaults(route);
        messages.clear();
        AnswerMessagesWith(true);
        {
            // From the click to the job's end; the checks below run on the
            // window thread too and are no part of it.
            const OwnStall stall;
            form->findChild<QPushButton*>(QString::fromLatin1(name))->click();
            QTRY_VERIFY_WITH_TIMEOUT(!dlg->Jobs().AnyRunning(), 20000);
            longestStall = std::max(longestStall, stall.LongestMs());
        }
        clearFaults();
        ASSERT_NE(page->JobPanel()->Current(), before) << "no job for " << judged;
        const std::vector<OperationResult> results = page->JobPanel()->Results().Results();
        std::map<std::string, int> succeeded;
        std::map<std::string, int> all;
        std::map<std::pair<int, std::string>, std::vector<Outcome>> seen;
        for (const OperationResult& r : results) {
            const int camera = numberOf.at(r.device.AddressText().toStdString());
            seen[{camera, r.operation}].push_back(r.outcome);
            const Fault fault = faultOf(camera);
            Reason expected = Reason::None;
            if (fault == Fault::Login) {
                expected = Reason::WrongCredentials;
            } else if (fault == Fault::Silent) {
                expected = Reason::NoAnswer;
            } else if (fault == Fault::Cut) {
                expected = Reason::Unreachable;
            } else if (fault == Fault::RefuseValue && r.operation == judged) {
                expected = judged == "Upgrade" || judged == "Upload OEM Files"
                               ? Reason::FileRejected
                               : Reason::Refused;
            }
            EXPECT_EQ(r.reason, expected) << "camera " << camera << " " << r.operation;
            EXPECT_EQ(r.outcome, expected == Reason::None ? Outcome::Succeeded : Outcome::Failed);
            succeeded[r.operation] += r.outcome == Outcome::Succeeded ? 1 : 0;
            ++all[r.operation];
        }
        for (const auto& [operation, count] : all) {
            for (int camera = 1; camera <= kCameras; ++camera) {
                const std::size_t times = seen[std::pair(camera, operation)].size();
                EXPECT_EQ(times * kCameras, static_cast<std::size_t>(count))
                    << "camera " << camera << " " << operation;
            }
        }
        for (const json& camera : cameras()) {
            const int number = numberOf.at(camera["ip"].get<std::string>());
            const std::vector<Outcome>& outcomes = seen[{number, judged}];
            ASSERT_EQ(outcomes.size(), 1u) << number;
            EXPECT_EQ(applied(camera.value("deviceConfig", json::object())),
                      outcomes[0] == Outcome::Succeeded)
                << "camera " << number << " " << judged;
        }
        const QStringList lines = infoLines(*dlg);
        for (const auto& [operation, count] : succeeded) {
            const QString op = QString::fromStdString(operation);
            if (summary) {
                EXPECT_TRUE(lines.contains(QStringLiteral("%1: %2 succeeded, %3 failed.")
                                               .arg(op)
                                               .arg(count)
                                               .arg(all[operation] - count)))
                    << op.toStdString();
            } else {
                EXPECT_EQ(lines.filter(QStringLiteral(" %1 Succeed.").arg(op)).size(), count);
            }
        }
        // One camera is one camera, however many operations it had.
        int healthy = 0;
        for (int camera = 1; camera <= kCameras; ++camera) {
            healthy += faultOf(camera) == Fault::None || faultOf(camera) == Fault::Slow ? 1 : 0;
        }
        EXPECT_EQ(page->JobPanel()->findChild<QLabel*>(QStringLiteral("jobSummary"))->text(),
                  QStringLiteral("%1 cameras: %2 succeeded, %3 failed.")
                      .arg(kCameras)
                      .arg(healthy)
                      .arg(kCameras - healthy));
        // The question before a checked Save names the number of cameras.
        if (summary && !messages.isEmpty()) {
            EXPECT_TRUE(messages.last().contains(QStringLiteral(" on %1 cameras.").arg(kCameras)))
                << messages.last().toStdString();
        }
    }

    std::string socket = configHome.str() + "/camsim.sock";
    std::map<std::string, int> numberOf; // camera number by address
    // Made inside the lab: its discovery must see the lab's adapter only.
    std::unique_ptr<CMainDlg> dlg;
    qint64 longestStall = 0; // over the jobs run so far
};

json section(const json& config, const char* name) {
    return config.value(name, json::object());
}

} // namespace

TEST_F(JobsLab, CheckedJobsConfigureEveryHealthyCameraOnceAndReportEveryFaultyOne) {
    ASSERT_NO_FATAL_FAILURE(start());
    TempDir files;
    files.write("QVFImage_21.bin", "QVFW:13.8.0.1\n" + std::string(4096, 'f'));
    files.write("logo.bmp", "logo");
    CBatchSetDlg* batch = dlg->BatchSetPage();
    QElapsedTimer clock;
    clock.start();

    QWidget* network = batch->NetworkPage();
    network->findChild<QLineEdit*>(QStringLiteral("httpPortEdit"))->setText("80");
    network->findChild<QLineEdit*>(QStringLiteral("onvifPortEdit"))->setText("8123");
    runJob(batch, network, "saveButton", "ports.set", "Modify Port",
           [](const json& c) { return section(c, "ports").value("onvif", 0) == 8123; });

    QWidget* system = batch->SystemPage();
    for (const char* field : {"passwordEdit", "confirmPasswordEdit"}) {
        system->findChild<QLineEdit*>(QString::fromLatin1(field))
            ->setText(QString::fromLatin1(kPassword));
    }
    system->findChild<QRadioButton*>(QStringLiteral("timeServerOption"))->click();
    system->findChild<QComboBox*>(QStringLiteral("timeZoneList"))->setCurrentIndex(7);
    runJob(batch, system, "saveButton", "date.set", "Modify System Date", [](const json& c) {
        return section(c, "date").value("useTimeServer", false) &&
               section(c, "date").value("timeZone", 0) == 7;
    });

    QWidget* video = batch->VideoImagePage();
    auto* powerLine = video->findChild<QComboBox*>(QStringLiteral("powerLineList"));
    powerLine->setCurrentIndex(powerLine->findText(QStringLiteral("60HZ")));
    runJob(batch, video, "saveButton", "imaging.set", "Modify Image", [](const json& c) {
        return section(c, "imaging").value("powerLineFrequency", 0) == 60;
    });

    // Each camera that took the image installs it exactly once...
    CBatchUpgradeDlg* upgrade = dlg->BatchUpgradePage();
    upgrade->findChild<QLineEdit*>(QStringLiteral("firmwarePathEdit"))
        ->setText(QString::fromStdString((files.path() / "QVFImage_21.bin").string()));
    runJob(upgrade, upgrade, "upgradeButton", "firmware", "Upgrade",
           [](const json& c) { return section(c, "firmware").value("name", "") != ""; });
    std::vector<int> once;
    for (int camera = 1; camera <= kCameras; ++camera) {
        once.push_back(faultOf(camera) == Fault::None || faultOf(camera) == Fault::Slow ? 1 : 0);
    }
    const auto installed = [&] {
        std::vector<int> counts;
        for (const json& camera : cameras()) {
            counts.push_back(
                section(section(camera, "deviceConfig"), "firmware").value("installed", 0));
        }
        return counts;
    };
    QTRY_COMPARE_WITH_TIMEOUT(installed(), once, 10000);
    // and, rebooted, answers discovery with its new version.
    const auto shown = [list = upgrade->DeviceListCtrl()] {
        int upgraded = 0;
        for (int row = 0; row < list->GetItemCount(); ++row) {
            upgraded += list->GetItemText(row, 9) == QStringLiteral("13.8.0.1") ? 1 : 0;
        }
        return upgraded;
    };
    QTRY_COMPARE_WITH_TIMEOUT(shown(), static_cast<int>(std::count(once.begin(), once.end(), 1)),
                              10000);

    COemDlg* oem = dlg->OemPage();
    oem->findChild<QLineEdit*>(QStringLiteral("companyEdit"))->setText(QStringLiteral("Acme"));
    oem->findChild<QLineEdit*>(QStringLiteral("imageFileEdit"))
        ->setText(QString::fromStdString((files.path() / "logo.bmp").string()));
    runJob(
        oem, oem, "uploadButton", "oem", "Upload OEM Files",
        [](const json& c) {
            const json o = section(c, "oem");
            return section(o, "info").value("company", "") == "Acme" &&
                   o.value("images", json::array()).size() == 1;
        },
        false);

    std::printf("five checked jobs over %d cameras: %lld ms, the window thread's own longest "
                "stall %lld ms\n",
                kCameras, static_cast<long long>(clock.elapsed()),
                static_cast<long long>(longestStall));
    // The product's figure; a sanitizer build runs the window thread's own
    // work several times slower.
    EXPECT_LE(longestStall, 50 * kSlowdown);
    SaveScreenshot(*dlg, QStringLiteral("jobs-lab"));
    dlg->close();
}

// Every camera answers slowly, so that a job is still under way when it is
// cancelled or the window closes.
TEST_F(JobsLab, CancelAndCloseMidJobKeepWhatFinishedAndChangeNothingUnreported) {
    json slow = json::object();
    for (int camera = 1; camera <= kCameras; ++camera) {
        slow[std::to_string(camera)] = {{"faults", {{"delay_ms", 150}}}};
    }
    ASSERT_NO_FATAL_FAILURE(start(slow));
    CBatchSetDlg* batch = dlg->BatchSetPage();
    CJobPanel* panel = batch->JobPanel();
    // Each camera changed exactly when its result says so; the results
    // cover every camera, some finished and some cancelled.
    const auto judge = [&](const std::string& operation, const auto& applied) {
        std::map<int, Outcome> outcome;
        for (const OperationResult& r : panel->Results().Results()) {
            if (r.operation == operation) {
                EXPECT_TRUE(
                    outcome.emplace(numberOf.at(r.device.AddressText().toStdString()), r.outcome)
                        .second);
            }
        }
        EXPECT_EQ(outcome.size(), static_cast<std::size_t>(kCameras));
        int finished = 0;
        int cancelled = 0;
        for (const json& camera : cameras()) {
            const int number = numberOf.at(camera["ip"].get<std::string>());
            finished += outcome[number] == Outcome::Succeeded ? 1 : 0;
            cancelled += outcome[number] == Outcome::Cancelled ? 1 : 0;
            EXPECT_EQ(applied(camera.value("deviceConfig", json::object())),
                      outcome[number] == Outcome::Succeeded)
                << "camera " << number;
        }
        EXPECT_GT(finished, 0);
        EXPECT_GT(cancelled, 0);
        return finished;
    };

    AnswerMessagesWith(true);
    QWidget* network = batch->NetworkPage();
    network->findChild<QLineEdit*>(QStringLiteral("httpPortEdit"))->setText("80");
    network->findChild<QLineEdit*>(QStringLiteral("onvifPortEdit"))->setText("8124");
    network->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(panel->Results().Results().size() >= 10, 10000);
    panel->findChild<QPushButton*>(QStringLiteral("jobCancel"))->click();
    WaitForJobs(dlg->Jobs());
    const int finished = judge(
        "Modify Port", [](const json& c) { return section(c, "ports").value("onvif", 0) == 8124; });
    EXPECT_TRUE(infoLines(*dlg).contains(
        QStringLiteral("Modify Port: %1 succeeded, 0 failed, %2 cancelled.")
            .arg(finished)
            .arg(kCameras - finished)));

    QWidget* system = batch->SystemPage();
    for (const char* field : {"passwordEdit", "confirmPasswordEdit"}) {
        system->findChild<QLineEdit*>(QString::fromLatin1(field))
            ->setText(QString::fromLatin1(kPassword));
    }
    system->findChild<QRadioButton*>(QStringLiteral("timeServerOption"))->click();
    system->findChild<QComboBox*>(QStringLiteral("timeZoneList"))->setCurrentIndex(3);
    system->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(panel->Results().Results().size() >= 10, 10000);
    const std::size_t before = panel->Results().Results().size();
    dlg->close();
    EXPECT_GE(panel->Results().Results().size(), before);
    judge("Modify System Date", [](const json& c) {
        return section(c, "date").value("useTimeServer", false) &&
               section(c, "date").value("timeZone", 0) == 3;
    });
}

// Synchronize with computer time, retried minutes later, sends the clock of
// the retry: the camera that failed the first time is not left behind by
// the time between the two.
TEST_F(JobsLab, RetryOfAComputerTimeJobSendsTheTimeOfTheRetry) {
    ASSERT_NO_FATAL_FAILURE(start());
    AnswerMessagesWith(true);
    constexpr int kRefusing = 7;
    ASSERT_EQ(
        control(
            {{"op", "faults"}, {"camera", kRefusing}, {"faults", {{"refuse_call", "date.set"}}}}),
        json({{"ok", true}}));
    CBatchSetDlg* batch = dlg->BatchSetPage();
    QWidget* system = batch->SystemPage();
    system->findChild<QRadioButton*>(QStringLiteral("computerTimeOption"))->click();
    system->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    WaitForJobs(dlg->Jobs());
    ASSERT_EQ(batch->JobPanel()->Results().FailedDevices().size(), 1u);

    // The camera keeps the time it was sent as an offset from the real
    // clock: the computer's own offset from UTC when the time was current.
    const auto offset = [&](int number) {
        return section(section(camera(number), "deviceConfig"), "date")
            .value("clockOffsetSeconds", std::int64_t{0});
    };
    const std::int64_t local = QDateTime::currentDateTime().offsetFromUtc();
    EXPECT_NEAR(offset(1), local, 2);
    QTest::qWait(5000);
    control({{"op", "faults"}, {"camera", kRefusing}, {"faults", json::object()}});
    batch->JobPanel()
        ->ResultsWindow()
        ->findChild<QPushButton*>(QStringLiteral("retryFailed"))
        ->click();
    WaitForJobs(dlg->Jobs());
    ASSERT_EQ(batch->JobPanel()->Results().Results().size(), 1u);
    EXPECT_EQ(batch->JobPanel()->Results().Results()[0].outcome, Outcome::Succeeded);
    EXPECT_NEAR(offset(kRefusing), local, 2) << "five seconds after the first Save";
    dlg->close();
}

// Cancel is taken at once even when every camera still to go is in the
// middle of its upload: the button says so, the page counts the cameras in
// flight, the uploads stop sending, and the summary counts the cameras.
TEST_F(JobsLab, CancelShowsAtOnceAndStopsUploadsStillSending) {
    ASSERT_NO_FATAL_FAILURE(start());
    // The last cameras of the page's list, whose turns come last, read an
    // image at 1 MB/s: 16 MiB take each of them 16 s, while the others take
    // it at the link's pace.
    const int concurrency = dlg->Jobs().Concurrency();
    const int fast = kCameras - concurrency;
    CBatchUpgradeDlg* upgrade = dlg->BatchUpgradePage();
    std::vector<int> slow;
    for (int row = fast; row < kCameras; ++row) {
        const std::string ip = upgrade->DeviceListCtrl()->GetItemText(row, 4).toStdString();
        ASSERT_EQ(numberOf.count(ip), 1u) << ip;
        slow.push_back(numberOf.at(ip));
        ASSERT_EQ(control({{"op", "faults"},
                           {"camera", slow.back()},
                           {"faults", {{"upload_rate", 1000000}}}}),
                  json({{"ok", true}}));
    }
    dlg->findChild<QTabWidget*>(QStringLiteral("pageContainer"))->setCurrentWidget(upgrade);
    TempDir files;
    files.write("QVFImage_21.bin", "QVFW:13.8.0.1\n" + std::string(16 << 20, 'f'));
    upgrade->findChild<QLineEdit*>(QStringLiteral("firmwarePathEdit"))
        ->setText(QString::fromStdString((files.path() / "QVFImage_21.bin").string()));
    upgrade->findChild<QPushButton*>(QStringLiteral("upgradeButton"))->click();
    CJobPanel* panel = upgrade->JobPanel();
    const orv::jobs::JobId job = panel->Current();
    // Every camera still to go is under way, none waits for a worker.
    QTRY_VERIFY_WITH_TIMEOUT(panel->Results().Results().size() == static_cast<std::size_t>(fast) &&
                                 dlg->Jobs().InFlight(job) == concurrency,
                             20000)
        << panel->Results().Results().size() << " results, " << dlg->Jobs().InFlight(job)
        << " in flight";
    QTest::qWait(500);

    auto* cancel = panel->findChild<QPushButton*>(QStringLiteral("jobCancel"));
    QLabel* summary = panel->findChild<QLabel*>(QStringLiteral("jobSummary"));
    QElapsedTimer clock;
    clock.start();
    cancel->click();
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancelling..."));
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_LE(clock.elapsed(), 100);
    EXPECT_EQ(summary->text(), QStringLiteral("%1 cameras still in flight").arg(concurrency));
    SaveScreenshot(*dlg, QStringLiteral("jobs-lab-cancelling"));
    QTRY_VERIFY_WITH_TIMEOUT(!dlg->Jobs().AnyRunning(), 4000);
    std::printf("Cancel to the job's end with %d uploads in flight: %lld ms\n", concurrency,
                static_cast<long long>(clock.elapsed()));
    EXPECT_EQ(summary->text(), QStringLiteral("%1 cameras: %2 succeeded, 0 failed, %3 cancelled.")
                                   .arg(kCameras)
                                   .arg(fast)
                                   .arg(concurrency));
    // A camera counts what it read once it notices the sender is gone: after
    // reading, at 1 MB/s, what the socket buffers held when the job stopped
    // sending, several seconds on a loaded machine.
    const auto reached = [&] {
        int cameras = 0;
        for (const int number : slow) {
            cameras += camera(number).value("uploadedBytes", std::uint64_t{0}) > 0 ? 1 : 0;
        }
        return cameras;
    };
    QTRY_COMPARE_WITH_TIMEOUT(reached(), concurrency, 15000 * kSlowdown);
    for (const int number : slow) {
        const json c = camera(number);
        EXPECT_EQ(section(section(c, "deviceConfig"), "firmware").value("installed", 0), 0);
        EXPECT_LT(c.value("uploadedBytes", std::uint64_t{0}), std::uint64_t{16} << 20)
            << "camera " << number << " got it whole";
    }
    dlg->close();
}

// A batch upgrade checks each camera's model against the image before
// anything is sent: a camera of the family whose model the image does not
// fit receives no byte of it, and its reason names both models.
TEST_F(JobsLab, AnUpgradeSendsNoByteToACameraWhoseModelTheImageDoesNotFit) {
    ASSERT_NO_FATAL_FAILURE(start(json::object(), {"QVIP3651", "QVIP3751"}));
    AnswerMessagesWith(true);
    TempDir files;
    files.write("QVFImage_21.bin", "QVFW:13.8.0.1\n" + std::string(4096, 'f'));
    CBatchUpgradeDlg* upgrade = dlg->BatchUpgradePage();
    upgrade->findChild<QLineEdit*>(QStringLiteral("firmwarePathEdit"))
        ->setText(QString::fromStdString((files.path() / "QVFImage_21.bin").string()));
    upgrade->findChild<QPushButton*>(QStringLiteral("upgradeButton"))->click();
    WaitForJobs(dlg->Jobs());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    std::map<std::string, OperationResult> byIp;
    for (const OperationResult& r : upgrade->JobPanel()->Results().Results()) {
        byIp[r.device.AddressText().toStdString()] = r;
    }
    ASSERT_EQ(byIp.size(), static_cast<std::size_t>(kCameras));
    for (int number = 1; number <= kCameras; ++number) {
        const json c = camera(number);
        const std::string model = c.value("model", "");
        const OperationResult& r = byIp.at(c.value("ip", ""));
        const auto bytes = c.value("uploadedBytes", std::uint64_t{0});
        if (model == "QVIP3751") {
            EXPECT_EQ(bytes, 0u) << number;
            EXPECT_EQ(r.reason, Reason::ModelMismatch) << number;
            EXPECT_EQ(orv::jobs::ReasonText(r),
                      "not made for this camera's model: the image is for model ????36, the "
                      "camera is QVIP3751");
        } else {
            EXPECT_GT(bytes, 0u) << number;
            EXPECT_EQ(r.outcome, Outcome::Succeeded) << number;
        }
    }
    EXPECT_TRUE(infoLines(*dlg).contains(
        QStringLiteral("Upgrade: %1 succeeded, %1 failed.").arg(kCameras / 2)));
    dlg->close();
}

// A checked Save changes only what the installer touched, on factory
// cameras too: DDNS alone moves no camera's ports, and a Network Settings
// Modify with the port left empty re-addresses cameras that serve on port
// 80 and leaves them there.
TEST_F(JobsLab, ACheckedSaveLeavesEveryCameraWhatWasNotTouched) {
    ASSERT_NO_FATAL_FAILURE(start());
    AnswerMessagesWith(true);
    // Every camera gets ports of its own, after the page showed camera 1's.
    for (const auto& [ip, number] : numberOf) {
        const int handle = Qv_Ipc_Login(ip.c_str(), nullptr, 80, "admin", kPassword, 0);
        ASSERT_GT(handle, 0) << ip;
        const QvPortInfo own{80, 9000 + number, 1554 + number, 2554 + number, 0};
        ASSERT_EQ(Qv_Ipc_SetPortInfo(handle, &own), 0) << ip;
    }
    const auto portsOf = [](const json& c) {
        const json ports = section(c.value("deviceConfig", json::object()), "ports");
        return std::vector<int>{ports.value("onvif", 0), ports.value("rtsp1", 0),
                                ports.value("rtsp2", 0)};
    };
    QWidget* network = dlg->BatchSetPage()->NetworkPage();
    network->findChild<QCheckBox*>(QStringLiteral("ddnsEnable"))->click();
    for (const auto& [field, text] : {std::pair{"ddnsUserEdit", "site"},
                                      {"ddnsPasswordEdit", "pw"},
                                      {"ddnsHostEdit", "gate.example.org"}}) {
        network->findChild<QLineEdit*>(QString::fromLatin1(field))
            ->setText(QString::fromLatin1(text));
    }
    network->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    WaitForJobs(dlg->Jobs());
    EXPECT_EQ(messages.value(0), QStringLiteral("DDNS Parameters Setup will change on %1 cameras. "
                                                "Go on?")
                                     .arg(kCameras));
    for (const json& c : cameras()) {
        const int number = numberOf.at(c["ip"].get<std::string>());
        const json config = c.value("deviceConfig", json::object());
        EXPECT_EQ(portsOf(c), (std::vector<int>{9000 + number, 1554 + number, 2554 + number}))
            << "camera " << number;
        EXPECT_EQ(section(config, "ddns").value("host", ""), "gate.example.org") << number;
    }

    CSearchDlg* search = dlg->SearchPage();
    dlg->findChild<QTabWidget*>(QStringLiteral("pageContainer"))->setCurrentWidget(search);
    QTRY_COMPARE_WITH_TIMEOUT(search->Devices().Count(), kCameras, 5000);
    search->findChild<QCheckBox*>(QStringLiteral("selectAll"))->click();
    ASSERT_TRUE(search->IsCheckedMode());
    for (int i = 0; i < CDeviceListPage::kDropEveryTicks; ++i) {
        search->OnTick(); // Modify comes back on the page's five-second tick
    }
    search->findChild<QLineEdit*>(QStringLiteral("ipEdit"))->setText(QStringLiteral("192.0.2.101"));
    messages.clear();
    search->findChild<QPushButton*>(QStringLiteral("modifyButton"))->click();
    EXPECT_EQ(messages, QStringList{QStringLiteral("Start IP Address will change on %1 cameras. "
                                                   "Go on?")
                                        .arg(kCameras)});
    WaitForJobs(dlg->Jobs());
    std::set<std::string> addresses;
    for (const json& c : cameras()) {
        EXPECT_EQ(c.value("http_port", 0), 80) << c["ip"];
        addresses.insert(c["ip"].get<std::string>());
    }
    std::set<std::string> planned;
    for (int k = 0; k < kCameras; ++k) {
        planned.insert("192.0.2." + std::to_string(101 + k));
    }
    EXPECT_EQ(addresses, planned);
    EXPECT_TRUE(infoLines(*dlg).contains(
        QStringLiteral("Modify IP,Port,Netmask: %1 succeeded, 0 failed.").arg(kCameras)))
        << infoLines(*dlg).join('\n').toStdString();
    dlg->close();
}
