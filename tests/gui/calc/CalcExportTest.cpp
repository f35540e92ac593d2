// LibreOffice Calc opens the CSV files the window and the command line's
// discover write for cameras that name themselves like formulas: no cell
// of any file is a formula, each name is a text cell that shows the name
// behind the tool's guard apostrophe (a terminal's escapes on standard
// output), and the window's exported list reads back as an address plan
// with every name as the camera gave it. Skipped without soffice.

#include "CalcSheet.h"
#include "DeviceRecords.h"
#include "DiscoverRun.h"
#include "GuiTestBase.h"
#include "MakerDrivers.h"
#include "RecordingDriver.h"
#include "RecordingServices.h"
#include "ReducedDriver.h"
#include "TempDir.h"

#include "jobs/JobEngine.h"
#include "operations/network/AddressPlan.h"
#include "pages/common/JobPanel.h"
#include "pages/network/SearchDlg.h"
#include "ui/FileDialog.h"

#include <QAction>
#include <QDialog>
#include <QPushButton>

#include <cstdio>

namespace {

class CalcExportTest : public GuiTestBase {
protected:
    void SetUp() override {
        GuiTestBase::SetUp();
        if (!calc::Present()) {
            GTEST_SKIP() << "soffice (Debian: libreoffice-calc-nogui) is not installed; "
                            "scripts/install-deps.sh installs it";
        }
    }

    // Converts the files of `files` with one soffice run.
    std::vector<calc::Sheet> convert(const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const std::string& n : names) {
            paths.push_back((files.path() / n).string());
        }
        const calc::Conversion converted = calc::Convert(paths, (files.path() / "calc").string());
        EXPECT_EQ(converted.error, "");
        std::printf("soffice converted %zu files in %.2f s\n", names.size(), converted.seconds);
        return converted.sheets;
    }
    static void expectText(const calc::Sheet& sheet, const std::string& header,
                           std::string calc::HostileName::*shown, const std::string& file) {
        EXPECT_EQ(calc::Problems(sheet, header, calc::HostileNames(), shown),
                  std::vector<std::string>{})
            << file;
    }
    static QStringList names() {
        QStringList out;
        for (const calc::HostileName& n : calc::HostileNames()) {
            out << QString::fromStdString(n.name);
        }
        return out;
    }

    TempDir files;
};

} // namespace

TEST_F(CalcExportTest, TheSearchPagesListAndTheJobPanelsResultsShowEveryNameAsText) {
    RecordingServices services;
    RecordingDriver driver;
    orv::jobs::CJobEngine jobs{driver.Set()};
    CSearchDlg page(services, jobs);
    std::vector<orv::device::DeviceInfo> cameras;
    for (std::size_t i = 0; i < calc::HostileNames().size(); ++i) {
        cameras.push_back(Found(Camera(static_cast<unsigned char>(i + 1),
                                       ("192.168.1." + std::to_string(20 + i)).c_str(),
                                       calc::HostileNames()[i].name.c_str())));
    }
    page.OnDevicesFound(cameras);
    const std::string list = (files.path() / "cameras.csv").string();
    chosenFiles = {QString::fromStdString(list)};
    AnswerFileDialogs(false);
    page.findChild<QAction*>(QStringLiteral("exportListAction"))->trigger();

    // A job whose cameras half succeed, half fail, reaches the panel's
    // results window and its Export CSV.
    CJobPanel panel(jobs);
    orv::jobs::JobSpec order;
    order.targets = cameras;
    order.operations = {"Modify Name"};
    order.work = [](orv::jobs::CameraRun& run) {
        if (run.Device().address % 2 == 0) {
            run.ReportFailure("Modify Name", orv::jobs::Reason::Refused);
        } else {
            run.Report("Modify Name", orv::device::Status(orv::device::Done{}));
        }
    };
    panel.Track(jobs.Start(order), cameras);
    WaitForJobs(jobs);
    chosenFiles = {QString::fromStdString((files.path() / "results.csv").string())};
    panel.ResultsWindow()->findChild<QPushButton*>(QStringLiteral("exportResults"))->click();

    const std::vector<calc::Sheet> sheets = convert({"cameras.csv", "results.csv"});
    ASSERT_EQ(sheets.size(), 2u);
    expectText(sheets[0], "name", &calc::HostileName::file, "cameras.csv");
    expectText(sheets[1], "Device Name", &calc::HostileName::file, "results.csv");
    EXPECT_EQ(sheets[1].rows.size(), cameras.size() + 1) << "one row per camera";

    // The list, as exported, is a plan that gives each camera its own name.
    const orv::plan::Plan plan = orv::plan::ReadPlan(files.read("cameras.csv"), MakerDrivers());
    EXPECT_TRUE(plan.problems.empty());
    std::vector<std::string> read;
    for (const orv::plan::PlanRow& row : plan.rows) {
        read.push_back(row.name);
    }
    std::vector<std::string> given;
    for (const calc::HostileName& n : calc::HostileNames()) {
        given.push_back(n.name);
    }
    EXPECT_EQ(read, given);
}

TEST_F(CalcExportTest, DiscoversListOnStandardOutputAndInItsResultsFileShowEveryNameAsText) {
    CReducedDriver reduced;
    reduced.names = names();
    const std::string results = (files.path() / "discovered.csv").string();
    int status = -1;
    files.write("stdout.csv", RunDiscover({"--protocol", "onvif", "--seconds", "1", "--format",
                                           "csv", "--results", results.c_str()},
                                          reduced, status));
    EXPECT_EQ(status, 0);

    const std::vector<calc::Sheet> sheets = convert({"stdout.csv", "discovered.csv"});
    ASSERT_EQ(sheets.size(), 2u);
    expectText(sheets[0], "name", &calc::HostileName::screen, "stdout.csv");
    expectText(sheets[1], "name", &calc::HostileName::file, "discovered.csv");
}
