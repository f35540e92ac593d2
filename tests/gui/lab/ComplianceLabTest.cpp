// A site's profile taken from one of twelve cameras; three cameras are then
// changed behind the site's back (the command line on another site's book:
// an RTSP port, the outdoor mode, the primary stream's bit rate). The
// Compliance view lists exactly those three with exactly the fields changed,
// applying the profile gives them back the site's values and nothing else,
// and undoing that job in the site's history puts their own values back.
// The simulator's state is the judge.

#include "GuiLabTestBase.h"
#include "Program.h"
#include "TempDir.h"

#include "app/MainDlg.h"
#include "pages/compliance/ComplianceDlg.h"
#include "pages/network/SearchDlg.h"
#include "site/SiteBook.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

using nlohmann::json;

constexpr int kCameras = 12;
constexpr int kPorts = 4;   // its first RTSP port moved
constexpr int kImage = 7;   // made an indoor camera
constexpr int kStream = 10; // its primary stream's bit rate halved

std::string ipOf(int camera) {
    return "192.0.2." + std::to_string(9 + camera);
}

class ComplianceLab : public GuiLabTestBase {
protected:
    TempDir dir;

    // What the simulator keeps of each camera's settings, by camera number.
    std::map<int, json> settings() {
        std::map<int, json> out;
        const json cameras = lab.state()["cameras"];
        for (std::size_t i = 0; i < cameras.size(); ++i) {
            const json& config = cameras[i]["deviceConfig"];
            out[static_cast<int>(i) + 1] = {{"ports", config["ports"]},
                                            {"imaging", config["imaging"]},
                                            {"streams", config["streams"]},
                                            {"date", config["date"]["timeZone"]}};
        }
        return out;
    }

    struct Ran {
        int status = -1;
        std::string output;
    };
    // The command line with `args`, on the sites of `sites` (the window's
    // own, or another, which the window's site never hears of).
    Ran cli(std::vector<std::string> args, const std::string& sites) {
        std::vector<std::string> env = {"ORVANTIX_PASSWORD=admin", "ORVANTIX_SITES=" + sites,
                                        "XDG_CONFIG_HOME=" + (dir.path() / "cli").string(),
                                        "PATH=/usr/bin:/bin"};
        for (std::string& e : SanitizerEnvironment()) {
            env.push_back(std::move(e));
        }
        const std::string output = (dir.path() / "cli.txt").string();
        args.insert(args.begin(), ORVANTIX_CLI);
        Ran ran;
        const pid_t pid = StartProgram(args, env, output);
        int status = 0;
        if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
            ran.status = WEXITSTATUS(status);
        }
        std::stringstream text;
        text << std::ifstream(output).rdbuf();
        ran.output = text.str();
        return ran;
    }

    // The command line on a site of its own gives `camera` the profile.
    void changeBehindTheBack(int camera, const json& profile) {
        const std::string file =
            (dir.path() / ("drift-" + std::to_string(camera) + ".json")).string();
        std::ofstream(file) << profile.dump();
        const Ran ran =
            cli({"apply", "--seconds", "2", "--profile", file, "--select", "ip=" + ipOf(camera)},
                (dir.path() / "elsewhere").string());
        ASSERT_EQ(ran.status, 0) << ran.output;
    }

    static std::map<std::string, std::vector<std::string>>
    fieldsOf(const std::vector<orv::profile::CheckedCamera>& cameras) {
        std::map<std::string, std::vector<std::string>> out;
        for (const orv::profile::CheckedCamera& c : cameras) {
            std::vector<std::string>& fields = out[c.device.AddressText().toStdString()];
            if (!c.problem.empty()) {
                fields.push_back(c.problem);
            }
            for (const orv::profile::Difference& d : c.differences) {
                fields.push_back(d.field + " " + d.found + " (profile " + d.wanted + ")");
            }
        }
        return out;
    }
};

TEST_F(ComplianceLab, TheViewListsExactlyTheDriftedCamerasApplyingFixesThemAndUndoPutsThemBack) {
    // One firmware on the whole site: the profile's target.
    ASSERT_EQ(lab.startSimulator(
                  {{"cameras", kCameras}, {"password", "admin"}, {"versions", {"13.1.0.5"}}}),
              "");
    CMainDlg window(false, CMainDlg::Discovery::AllAdapters);
    window.OpenSites(dir.path() / "sites");
    window.resize(1200, 800);
    window.show();
    DefaultUserEdit(window, "passwordEdit")->setText(QStringLiteral("admin"));
    CSearchDlg* search = window.SearchPage();
    QTRY_COMPARE_WITH_TIMEOUT(window.SiteName(), QStringLiteral("Default"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(search->Devices().Count(), kCameras, 10000 * kSlowdown);

    // The profile from camera 1, into a file and the site's book.
    const orv::device::DeviceId first = search->Devices().Devices()[0].id;
    search->Selection().Pick(first);
    ASSERT_EQ(search->Targets().size(), 1u);
    const std::string profileFile = (dir.path() / "site-profile.json").string();
    chosenFiles = {QString::fromStdString(profileFile)};
    AnswerFileDialogs(false);
    AnswerMessagesWith(true);
    WaitForJobs(window.Jobs());
    window.SaveSiteProfile();
    QTRY_VERIFY_WITH_TIMEOUT(
        infoLines(window).filter(QStringLiteral("Site profile saved")).size() == 1, 20000);
    EXPECT_FALSE(window.ExportingPasswords());
    EXPECT_TRUE(messages.last().contains(QStringLiteral("Left out: the name")))
        << messages.last().toStdString();
    const json profile = json::parse(std::ifstream(profileFile), nullptr, false);
    ASSERT_TRUE(profile.is_object()) << "the file the command line reads";
    EXPECT_EQ(profile["ports"]["rtsp1"], 554);
    EXPECT_EQ(profile["firmware"], "13.1.0.5");
    EXPECT_TRUE(profile.contains("image") && profile.contains("video")) << profile.dump();

    // Before anything changed, every camera keeps to it.
    CComplianceDlg* view = window.ShowCompliance();
    ASSERT_NE(view, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!view->Checking(), 30000);
    EXPECT_TRUE(view->Differing().empty()) << fieldsOf(view->Differing()).begin()->second.front();
    EXPECT_EQ(view->findChild<QLabel*>(QStringLiteral("complianceStatus"))->text(),
              QStringLiteral("All 12 cameras keep to the site's profile."));

    json ports = profile;
    ports["ports"]["rtsp1"] = 8554;
    ASSERT_NO_FATAL_FAILURE(changeBehindTheBack(kPorts, ports));
    json image = profile;
    image["image"]["outdoor"] = "Indoor";
    ASSERT_NO_FATAL_FAILURE(changeBehindTheBack(kImage, image));
    json stream = profile;
    const int bitRate = profile["video"]["primary"]["bit_rate"];
    stream["video"]["primary"]["bit_rate"] = bitRate / 2;
    ASSERT_NO_FATAL_FAILURE(changeBehindTheBack(kStream, stream));
    const std::map<int, json> drifted = settings();
    ASSERT_EQ(drifted.at(kPorts)["ports"]["rtsp1"], 8554);

    // The command line on the window's site finds the same three.
    const Ran listed =
        cli({"compliance", "--seconds", "2", "--select", "all"}, (dir.path() / "sites").string());
    EXPECT_EQ(listed.status, 1) << listed.output;
    EXPECT_NE(listed.output.find("3 of 12 camera(s) differ from the profile"), std::string::npos)
        << listed.output;
    EXPECT_NE(listed.output.find("ports.rtsp1 8554 (profile 554)"), std::string::npos)
        << listed.output;

    view->findChild<QPushButton*>(QStringLiteral("complianceCheck"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!view->Checking(), 30000);
    const std::map<std::string, std::vector<std::string>> expected = {
        {ipOf(kPorts), {"ports.rtsp1 8554 (profile 554)"}},
        {ipOf(kImage), {"image.outdoor Indoor (profile Outdoor)"}},
        {ipOf(kStream),
         {"video.primary.bit_rate " + std::to_string(bitRate / 2) + " (profile " +
          std::to_string(bitRate) + ")"}}};
    EXPECT_EQ(fieldsOf(view->Differing()), expected);
    auto* table = view->findChild<QTableWidget*>(QStringLiteral("complianceTable"));
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 1)->text().toStdString(), ipOf(kPorts));
    EXPECT_EQ(table->item(0, 4)->text(), QStringLiteral("ports.rtsp1 8554 (profile 554)"));
    view->resize(1000, 400);
    SaveScreenshot(*view, QStringLiteral("compliance-drifted"));

    // Applying gives the three the profile's values and nothing else; the
    // view checks again once the job has ended.
    view->findChild<QPushButton*>(QStringLiteral("complianceApply"))->click();
    ASSERT_TRUE(messages.last().contains(QStringLiteral("3 cameras")))
        << messages.last().toStdString();
    WaitForJobs(window.Jobs(), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!view->Checking() && view->Differing().empty(), 30000);
    const std::map<int, json> fixed = settings();
    const std::map<int, json> untouched = drifted;
    for (int camera = 1; camera <= kCameras; ++camera) {
        SCOPED_TRACE("camera " + std::to_string(camera));
        if (camera == kPorts || camera == kImage || camera == kStream) {
            EXPECT_EQ(fixed.at(camera), fixed.at(1)) << "as the profile's camera";
        } else {
            EXPECT_EQ(fixed.at(camera), untouched.at(camera)) << "never sent anything";
        }
    }

    // The job is in the site's history, and its undo puts the drift back.
    auto book = orv::site::CSiteBook::Open(dir.path() / "sites" / "Default.site").book;
    ASSERT_NE(book, nullptr);
    const std::vector<orv::site::JobEntry> jobs = book->Jobs();
    ASSERT_FALSE(jobs.empty());
    EXPECT_EQ(jobs.back().name, "Apply profile");
    const std::vector<orv::site::ChangeEntry> changes = book->ChangesOfJob(jobs.back().id);
    ASSERT_TRUE(window.UndoJob(jobs.back().id, changes));
    WaitForJobs(window.Jobs(), 60000);
    EXPECT_EQ(settings(), drifted);
    view->findChild<QPushButton*>(QStringLiteral("complianceCheck"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!view->Checking(), 30000);
    EXPECT_EQ(fieldsOf(view->Differing()), expected);
}

} // namespace
