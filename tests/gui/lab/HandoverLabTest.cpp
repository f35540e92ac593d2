// The handover report of a twelve-camera site, judged as its readers see
// it: pdftotext finds every camera's name, MAC and firmware in the PDF and
// no password unless one was asked for; each camera's picture in the report
// is its own (the simulator's colour band for it); the command line writes
// the same report, and with --with-passwords a file only its owner reads.
// pdftoppm leaves the pages as PNGs beside the screenshots.

#include "Bands.h"
#include "GuiLabTestBase.h"
#include "Program.h"
#include "TempDir.h"

#include "app/MainDlg.h"
#include "camsim/rtsp/RtspServer.h"
#include "pages/handover/HandoverDlg.h"
#include "pages/network/SearchDlg.h"
#include "site/SiteBook.h"
#include "ui/FileDialog.h"

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

namespace {

using nlohmann::json;

constexpr int kCameras = 12;
constexpr const char* kPassword = "LabSecret4711";

std::string slurp(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

class HandoverLab : public GuiLabTestBase {
protected:
    TempDir dir;

    void SetUp() override {
        GuiLabTestBase::SetUp();
        if (IsSkipped()) {
            return;
        }
        // The simulator's own names, Chinese and accented among them: the
        // PDF's fonts must carry every one.
        ASSERT_EQ(lab.startSimulator({{"cameras", kCameras}, {"password", kPassword}}), "");
        state = lab.state();
    }

    // A program's standard output and exit status.
    struct Ran {
        int status = -1;
        std::string output;
    };
    Ran run(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
        const std::string output = (dir.path() / "run.txt").string();
        std::vector<std::string> environment = env;
        environment.push_back("PATH=/usr/bin:/bin");
        for (std::string& e : SanitizerEnvironment()) {
            environment.push_back(std::move(e));
        }
        Ran ran;
        const pid_t pid = StartProgram(args, environment, output);
        int status = 0;
        if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
            ran.status = WEXITSTATUS(status);
        }
        ran.output = slurp(output);
        return ran;
    }
    Ran cli(std::vector<std::string> args) {
        args.insert(args.begin(), ORVANTIX_CLI);
        return run(args, {"ORVANTIX_PASSWORD=" + std::string(kPassword),
                          "ORVANTIX_SITES=" + (dir.path() / "cli-sites").string(),
                          "XDG_CONFIG_HOME=" + (dir.path() / "cli").string()});
    }
    std::string pdfText(const std::string& pdf) {
        const Ran ran = run({"/usr/bin/pdftotext", "-layout", pdf, "-"});
        EXPECT_EQ(ran.status, 0) << ran.output;
        return ran.output;
    }

    // Every camera's name, MAC and firmware are in `text`.
    void expectEveryCamera(const std::string& text) {
        for (const json& c : state["cameras"]) {
            for (const char* key : {"name", "mac", "version"}) {
                // The tool writes a MAC as the discovery frames spell it.
                const std::string value =
                    key == std::string("mac")
                        ? QString::fromStdString(c.value(key, "")).toUpper().toStdString()
                        : c.value(key, "");
                EXPECT_NE(text.find(value), std::string::npos) << key << " " << value;
            }
        }
    }

    json state;
};

TEST_F(HandoverLab, TheWindowsReportNamesEveryCameraWithItsOwnPictureAndNoPassword) {
    CMainDlg window(false, CMainDlg::Discovery::AllAdapters);
    window.OpenSites(dir.path() / "sites");
    window.show();
    DefaultUserEdit(window, "passwordEdit")->setText(QString::fromLatin1(kPassword));
    QTRY_COMPARE_WITH_TIMEOUT(window.SiteName(), QStringLiteral("Default"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(window.SearchPage()->Devices().Count(), kCameras, 10000 * kSlowdown);

    CHandoverDlg* dialog = window.ShowHandover();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit*>(QStringLiteral("handoverInstaller"))
        ->setText(QStringLiteral("Jo Installer"));
    EXPECT_FALSE(dialog->findChild<QCheckBox*>(QStringLiteral("handoverPasswords"))->isChecked());
    const std::string pdf = (dir.path() / "handover.pdf").string();
    QString filter;
    orv::ui::SetFileDialogAnswer([&](const QString& f, bool) {
        filter = f;
        return QStringList{QString::fromStdString(pdf)};
    });
    AnswerMessagesWith(true);
    QSignalSpy exported(dialog, &CHandoverDlg::exported);
    const auto started = std::chrono::steady_clock::now();
    dialog->findChild<QPushButton*>(QStringLiteral("handoverExport"))->click();
    ASSERT_TRUE(exported.wait(30000 * kSlowdown));
    std::printf("[measure] handover report of %d cameras (read, pictures, PDF): %lld ms\n",
                kCameras,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - started)
                                           .count()));
    orv::ui::SetFileDialogAnswer(nullptr);
    EXPECT_TRUE(filter.contains(QStringLiteral("*.pdf")) &&
                filter.contains(QStringLiteral("*.csv")) &&
                filter.contains(QStringLiteral("*.json")))
        << filter.toStdString();
    ASSERT_EQ(exported.at(0).at(1).toString(), QString()) << "error";
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Handover report written to ")) &&
                messages[0].endsWith(QStringLiteral(": 12 cameras, 12 of them read now, 0 jobs "
                                                    "today.")))
        << messages[0].toStdString();
    SaveScreenshot(*dialog, QStringLiteral("handover-dialog"));

    const std::string text = pdfText(pdf);
    expectEveryCamera(text);
    EXPECT_NE(text.find("Jo Installer"), std::string::npos);
    EXPECT_NE(text.find("12 cameras, 12 of them read now."), std::string::npos) << text;
    EXPECT_EQ(text.find(kPassword), std::string::npos) << "a password in a report without them";
    EXPECT_EQ(text.find("no picture"), std::string::npos) << text;
    // The pages as a person sees them.
    const std::string pages = QStringLiteral(ORVANTIX_SCREENSHOT_DIR "/handover").toStdString();
    QDir().mkpath(QStringLiteral(ORVANTIX_SCREENSHOT_DIR));
    EXPECT_EQ(run({"/usr/bin/pdftoppm", "-r", "70", "-png", pdf, pages}).status, 0);

    // The same data as JSON: each camera's picture is its own.
    const std::string jsonFile = (dir.path() / "handover.json").string();
    dialog->Export(QString::fromStdString(jsonFile));
    ASSERT_TRUE(exported.wait(30000 * kSlowdown));
    const json report = json::parse(slurp(jsonFile));
    ASSERT_EQ(report["cameras"].size(), static_cast<std::size_t>(kCameras));
    std::map<std::string, QRgb> bands;
    for (const json& c : state["cameras"]) {
        bands[QString::fromStdString(c.value("mac", "")).toUpper().toStdString()] =
            camsim::rtsp::BandColour(c.value("mac", "")) | 0xFF000000u;
    }
    for (const json& c : report["cameras"]) {
        const QByteArray jpeg =
            QByteArray::fromBase64(QByteArray::fromStdString(c.value("picture_jpeg_base64", "")));
        const QImage picture = QImage::fromData(jpeg, "JPG");
        ASSERT_FALSE(picture.isNull()) << c.dump();
        const QRgb seen = BandOf(picture);
        const auto nearest =
            std::min_element(bands.begin(), bands.end(), [&](const auto& a, const auto& b) {
                return ColourDistance(seen, a.second) < ColourDistance(seen, b.second);
            });
        EXPECT_EQ(nearest->first, c.value("mac", "")) << "picture of " << c.value("name", "");
        EXPECT_LT(ColourDistance(seen, bands.at(c.value("mac", ""))), 90) << c.value("name", "");
        // The camera's whole picture, not a stream's first, half-built one:
        // the test pattern's bars are bright across the middle.
        int bright = 0;
        for (int x = 0; x < picture.width(); x += 8) {
            bright += qGray(picture.pixel(x, picture.height() / 3)) > 100 ? 1 : 0;
        }
        EXPECT_GT(bright, picture.width() / 8 / 2) << c.value("name", "");
    }
}

TEST_F(HandoverLab, TheCommandLineWritesTheReportAndItsPasswordsOnlyWhenAsked) {
    // A job of the day first: the report sums it up.
    const std::string profile = (dir.path() / "ports.json").string();
    std::ofstream(profile)
        << R"({"ports": {"http": 80, "onvif": 8123, "rtsp1": 554, "rtsp2": 555}})";
    Ran ran = cli({"apply", "--seconds", "2", "--profile", profile});
    ASSERT_EQ(ran.status, 0) << ran.output;

    const std::string pdf = (dir.path() / "site.pdf").string();
    ran = cli({"report", "--seconds", "2", "--out", pdf, "--installer", "Jo Installer"});
    ASSERT_EQ(ran.status, 0) << ran.output;
    EXPECT_NE(ran.output.find("12 camera(s), 12 read now"), std::string::npos) << ran.output;
    std::string text = pdfText(pdf);
    expectEveryCamera(text);
    EXPECT_EQ(text.find(kPassword), std::string::npos);

    // Every camera answered both ways; the site remembers both, whichever
    // protocol's report came last.
    {
        auto book = orv::site::CSiteBook::Open(dir.path() / "cli-sites" / "Default.site").book;
        ASSERT_NE(book, nullptr);
        const std::vector<orv::site::SiteCamera> inventory = book->Inventory();
        EXPECT_EQ(inventory.size(), static_cast<std::size_t>(kCameras));
        for (const orv::site::SiteCamera& c : inventory) {
            EXPECT_EQ(c.protocols, "native+onvif") << c.mac;
        }
    }

    // A file that is there is never replaced.
    ran = cli({"report", "--seconds", "1", "--out", pdf});
    EXPECT_EQ(ran.status, 2) << ran.output;

    const std::string secret = (dir.path() / "with-passwords.pdf").string();
    ran = cli({"report", "--seconds", "2", "--out", secret, "--with-passwords"});
    ASSERT_EQ(ran.status, 0) << ran.output;
    text = pdfText(secret);
    EXPECT_NE(text.find(std::string("admin / ") + kPassword), std::string::npos) << text;
    struct stat mode {};
    ASSERT_EQ(::stat(secret.c_str(), &mode), 0);
    EXPECT_EQ(mode.st_mode & 0777, 0600u);

    const std::string csv = (dir.path() / "site.csv").string();
    ASSERT_EQ(cli({"report", "--seconds", "2", "--out", csv}).status, 0);
    std::istringstream rows(slurp(csv));
    int lines = 0;
    for (std::string line; std::getline(rows, line);) {
        ++lines;
    }
    EXPECT_EQ(lines, kCameras + 1);
}

} // namespace
