// Fifty cameras' passwords rotated from the command line, two of them
// failing through fault injection (one answers the password change with an
// internal error, one refuses it): every camera then takes a password the
// site holds for it, and a checked Save from the window, whose default
// login no rotated camera takes any more, logs into all fifty. The
// simulator's state is the judge.

#include "GuiLabTestBase.h"
#include "Program.h"
#include "TempDir.h"

#include "app/MainDlg.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/NetworkParamDlg.h"
#include "secrets/PasswordVault.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <set>

namespace {

using nlohmann::json;

constexpr int kCameras = 50;
constexpr int kServerError = 7; // answers the password change with 500
constexpr int kRefusing = 31;   // refuses it
constexpr const char* kPassphrase = "lab site passphrase";

orv::device::DeviceInfo deviceOf(const json& camera) {
    orv::device::DeviceInfo d;
    unsigned m[6] = {};
    std::sscanf(camera.value("mac", "").c_str(), "%x:%x:%x:%x:%x:%x", &m[0], &m[1], &m[2], &m[3],
                &m[4], &m[5]);
    orv::device::MacAddress mac{};
    std::copy(std::begin(m), std::end(m), mac.begin());
    d.id = orv::device::DeviceId::OfMac(mac);
    d.mac = mac;
    return d;
}

class PasswordLab : public GuiLabTestBase {
protected:
    TempDir dir;

    void SetUp() override {
        GuiLabTestBase::SetUp();
        // No keyring in the lab: the window seals under the passphrase too.
        qputenv("ORVANTIX_SITE_PASSPHRASE", kPassphrase);
    }
    void TearDown() override {
        qunsetenv("ORVANTIX_SITE_PASSPHRASE");
        GuiLabTestBase::TearDown();
    }

    // Every camera takes a password the site holds for it: its own, all
    // different, except `failed`, which keep the default and whose new
    // password waits, kept and never confirmed. The simulator's state.
    void expectEveryCameraTakesAHeldPassword(const std::set<int>& failed) {
        auto vault =
            orv::secrets::CPasswordVault::Open("Default", dir.path() / "sites/Default.site",
                                               nullptr, std::string(kPassphrase))
                .vault;
        ASSERT_NE(vault, nullptr);
        const orv::device::Credentials fallback{QStringLiteral("admin"), QStringLiteral("admin")};
        const json cameras = lab.state()["cameras"];
        std::set<std::string> passwords;
        for (std::size_t i = 0; i < cameras.size(); ++i) {
            const json& c = cameras[i];
            const int number = static_cast<int>(i) + 1;
            const std::string password = c.value("password", "");
            SCOPED_TRACE("camera " + std::to_string(number));
            std::vector<std::string> held;
            for (const orv::device::Credentials& l : vault->LoginsFor(deviceOf(c), fallback)) {
                held.push_back(l.password.toStdString());
            }
            EXPECT_NE(std::find(held.begin(), held.end(), password), held.end())
                << "the camera takes none of the passwords the site holds";
            const auto own = vault->Find(deviceOf(c).id.Text());
            ASSERT_TRUE(own);
            if (failed.count(number) != 0) {
                EXPECT_EQ(password, "admin");
                EXPECT_EQ(own->current, "");
                EXPECT_NE(own->pending, "") << "kept, never confirmed";
            } else {
                EXPECT_EQ(own->current, password);
                EXPECT_EQ(own->pending, "");
                passwords.insert(password);
            }
        }
        EXPECT_EQ(passwords.size(), cameras.size() - failed.size()) << "each its own";
    }

    // The window in the lab's site, every camera on Batch Set, checked.
    std::unique_ptr<CMainDlg> openWindow(int cameras) {
        auto window = std::make_unique<CMainDlg>(false, CMainDlg::Discovery::AllAdapters);
        window->OpenSites(dir.path() / "sites");
        window->resize(1200, 800);
        window->show();
        DefaultUserEdit(*window, "passwordEdit")->setText(QStringLiteral("admin"));
        CBatchSetDlg* page = window->BatchSetPage();
        window->findChild<QTabWidget*>(QStringLiteral("pageContainer"))->setCurrentWidget(page);
        [&] {
            QTRY_COMPARE_WITH_TIMEOUT(window->SiteName(), QStringLiteral("Default"), 5000);
            // The site remembers every camera; the last ones rebooted answer
            // again within a search cycle or two.
            QTRY_COMPARE_WITH_TIMEOUT(page->Devices().Count(), cameras, 15000 * kSlowdown);
            QTRY_VERIFY_WITH_TIMEOUT(page->Devices().OfflineDevices().empty(), 30000 * kSlowdown);
        }();
        page->findChild<QCheckBox*>(QStringLiteral("selectAll"))->click();
        WaitForJobs(window->Jobs());
        return window;
    }

    // A checked Save of ONVIF port 8123 from the window, whose default login
    // no rotated camera takes: it reaches every camera, and no password
    // changes.
    void expectACheckedSaveReachesAll(CMainDlg& window) {
        const json before = lab.state()["cameras"];
        AnswerMessagesWith(true);
        QWidget* network = window.BatchSetPage()->NetworkPage();
        network->findChild<QLineEdit*>(QStringLiteral("onvifPortEdit"))->setText("8123");
        network->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
        WaitForJobs(window.Jobs(), 120000);
        const json after = lab.state()["cameras"];
        for (std::size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i]["deviceConfig"]["ports"]["onvif"], 8123) << "camera " << i + 1;
            EXPECT_EQ(after[i]["password"], before[i]["password"]) << "camera " << i + 1;
        }
    }
};

TEST_F(PasswordLab, EveryRotatedCameraTakesThePasswordTheSiteHoldsAndACheckedSaveReachesAll) {
    json overrides = {{std::to_string(kServerError), {{"faults", {{"fail_call", "password.set"}}}}},
                      {std::to_string(kRefusing), {{"faults", {{"refuse_call", "password.set"}}}}}};
    ASSERT_EQ(lab.startSimulator({{"cameras", kCameras},
                                  {"password", "admin"},
                                  {"reboot_silence_ms", 300},
                                  {"cameras_override", overrides}}),
              "");
    const std::string sites = (dir.path() / "sites").string();
    std::vector<std::string> env = {"ORVANTIX_PASSWORD=admin", "ORVANTIX_SITES=" + sites,
                                    "XDG_CONFIG_HOME=" + dir.path().string(),
                                    std::string("ORVANTIX_SITE_PASSPHRASE=") + kPassphrase,
                                    "PATH=/usr/bin:/bin"};
    for (std::string& e : SanitizerEnvironment()) {
        env.push_back(std::move(e));
    }
    const std::string output = (dir.path() / "rotation.txt").string();
    const pid_t cli = StartProgram(
        {ORVANTIX_CLI, "passwords", "--rotate", "--select", "all", "--seconds", "2"}, env, output);
    ASSERT_GT(cli, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(cli, &status, 0), cli);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1)
        << "two cameras failed: " << status << "\n"
        << std::ifstream(output).rdbuf();

    ASSERT_NO_FATAL_FAILURE(expectEveryCameraTakesAHeldPassword({kServerError, kRefusing}));
    const std::unique_ptr<CMainDlg> window = openWindow(kCameras);
    expectACheckedSaveReachesAll(*window);
}

// The same from the window: Rotate passwords over Batch Set's checked
// cameras, one of which fails the change.
TEST_F(PasswordLab, TheWindowRotatesTheCheckedCamerasKeepingEachPasswordBeforeItsCamera) {
    constexpr int kFew = 12;
    json overrides = {{"5", {{"faults", {{"fail_call", "password.set"}}}}}};
    ASSERT_EQ(lab.startSimulator({{"cameras", kFew},
                                  {"password", "admin"},
                                  {"reboot_silence_ms", 300},
                                  {"cameras_override", overrides}}),
              "");
    const std::unique_ptr<CMainDlg> window = openWindow(kFew);
    ASSERT_EQ(window->BatchSetPage()->Devices().CheckedDevices().size(),
              static_cast<std::size_t>(kFew));
    AnswerMessagesWith(true);
    window->RotatePasswords();
    // The site's key is made off the window thread first.
    QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), 10000);
    EXPECT_TRUE(messages.front().contains(QStringLiteral("each of the 12 cameras")))
        << messages.front().toStdString();
    WaitForJobs(window->Jobs(), 120000);
    // Each new password was confirmed by the reboot's login with it.
    QTRY_COMPARE_WITH_TIMEOUT(window->Jobs().Reboots().QueuedReboots(), 0, 10000);
    // The last cameras' reboots (300 ms of silence each) are over.
    QTest::qWait(1000);
    ASSERT_NO_FATAL_FAILURE(expectEveryCameraTakesAHeldPassword({5}));
    QTRY_VERIFY_WITH_TIMEOUT(window->BatchSetPage()->Devices().OfflineDevices().empty(),
                             30000 * kSlowdown);
    expectACheckedSaveReachesAll(*window);
}

} // namespace
