// The handover report's PDF as a reader gets it: poppler's pdftotext and
// pdfinfo read a report of sixty cameras, whose inventory runs over a page
// end (its header repeated) and whose pages are numbered "n of N" with the
// N the file has; a camera's name cannot start a line of its own or hide
// what follows; passwords only when asked, and then an owner-only file.

#include "GuiTestBase.h"
#include "TempDir.h"

#include "report/HandoverPdf.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

#include <sys/stat.h>

#include <chrono>

namespace {

using namespace orv::report;

QString run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(30000);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::string macOf(int n) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:4F:56:10:%02X:%02X", n / 256, n % 256);
    return mac;
}

// A picture of one colour, as a stream hands it over.
std::string pictureOf(QRgb colour) {
    std::vector<std::uint32_t> pixels(1920u * 1080u, colour);
    orv::device::VideoFrame frame;
    frame.width = 1920;
    frame.height = 1080;
    frame.stride = 1920 * 4;
    frame.pixels = reinterpret_cast<const std::uint8_t*>(pixels.data());
    return JpegOf(frame);
}

HandoverReport sixtyCameras() {
    HandoverReport r;
    r.site = "Depot Nord";
    r.date = "2026-12-08";
    r.installer = "Jo Installer";
    r.madeAt = "2026-12-08T12:00:00+01:00";
    r.tool = "Orvantix 2.1";
    const std::string picture = pictureOf(qRgb(20, 120, 200));
    for (int i = 1; i <= 60; ++i) {
        ReportCamera c;
        c.name = "Camera " + std::to_string(i);
        c.mac = macOf(i);
        c.ip = "192.0.2." + std::to_string(i + 9);
        c.model = "QVIP3651";
        c.firmware = "13.1." + std::to_string(i) + ".5";
        c.protocol = "maker + ONVIF";
        c.state = i % 7 == 0 ? "not found (last seen 2026-12-01 14:00)" : "online";
        if (c.state == "online") {
            c.settings = {{"Main stream", "H.264, 1920x1080, 25 fps, 4096 kbit/s VBR"},
                          {"DDNS", "off"}};
            c.picture = i % 5 == 0 ? std::string() : picture;
            c.pictureNote = i % 5 == 0 ? "no picture within 8 s" : "";
        }
        r.cameras.push_back(std::move(c));
    }
    // A camera names itself: a line break and an escape in its name.
    r.cameras[2].name = "Gate\nFORGED LINE\x1b[2J";
    r.jobs = {{"08:00", "Set IP", "jo", 60, 0}, {"10:30", "Upgrade", "jo", 53, 2}};
    return r;
}

class HandoverPdf : public GuiTestBase {
protected:
    TempDir dir;
};

TEST_F(HandoverPdf, SixtyCamerasRunOverNumberedPagesAndEveryCameraIsReadBack) {
    const HandoverReport report = sixtyCameras();
    const std::string file = (dir.path() / "report.pdf").string();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(WriteHandoverPdf(report, file), "");
    std::printf("[measure] PDF of 60 cameras: %lld ms, %lld kB\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - started)
                                           .count()),
                static_cast<long long>(std::filesystem::file_size(file) / 1024));

    const QString info = run(QStringLiteral("pdfinfo"), {QString::fromStdString(file)});
    const QRegularExpressionMatch pages =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    ASSERT_TRUE(pages.hasMatch()) << info.toStdString();
    const int count = pages.captured(1).toInt();
    EXPECT_GE(count, 10) << "sixty cameras, each with a third of a page or more";

    const QString text = run(QStringLiteral("pdftotext"), {QString::fromStdString(file), "-"});
    for (int n = 1; n <= count; ++n) {
        EXPECT_TRUE(text.contains(QStringLiteral("page %1 of %2").arg(n).arg(count))) << n;
    }
    for (const ReportCamera& c : report.cameras) {
        // Once in the inventory, once over its own section.
        EXPECT_GE(text.count(QString::fromStdString(c.mac)), 2) << c.mac;
        EXPECT_TRUE(text.contains(QString::fromStdString(c.firmware))) << c.firmware;
    }
    // The inventory's header is repeated on the page it runs over to.
    EXPECT_GE(text.count(QStringLiteral("Firmware")), 2);
    EXPECT_TRUE(text.contains(QStringLiteral("no picture: no picture within 8 s")));
    EXPECT_TRUE(text.contains(QStringLiteral("Upgrade")));
    // The hostile name stays on its own line, its control characters shown
    // as replacement marks.
    EXPECT_TRUE(text.contains(QStringLiteral("Gate\uFFFDFORGED LINE\uFFFD[2J")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("\nFORGED LINE")));
    EXPECT_FALSE(text.contains(QStringLiteral("Password")));
    EXPECT_FALSE(text.contains(QChar(0xFB01))) << "a ligature where a reader searches 'fi'";
    // The first pages as a person sees them.
    QDir().mkpath(QStringLiteral(ORVANTIX_SCREENSHOT_DIR));
    run(QStringLiteral("pdftoppm"), {"-r", "60", "-l", "3", "-png", QString::fromStdString(file),
                                     QStringLiteral(ORVANTIX_SCREENSHOT_DIR "/handover-sixty")});
}

TEST_F(HandoverPdf, PasswordsAreWrittenOnlyWhenAskedAndThenForTheOwnerAlone) {
    HandoverReport report = sixtyCameras();
    report.cameras.resize(2);
    const std::string plain = (dir.path() / "plain.pdf").string();
    ASSERT_EQ(WriteReport(report, plain), "");
    struct stat mode {};
    ASSERT_EQ(::stat(plain.c_str(), &mode), 0);
    EXPECT_NE(mode.st_mode & 0077, 0u) << "an ordinary report is the umask's";

    report.withPasswords = true;
    report.cameras[0].password = "admin / Kx7-pq";
    report.cameras[1].password = "admin / site-default (the default login)";
    for (const char* name : {"secret.pdf", "secret.csv", "secret.json"}) {
        const std::string file = (dir.path() / name).string();
        ASSERT_EQ(WriteReport(report, file), "") << name;
        ASSERT_EQ(::stat(file.c_str(), &mode), 0);
        EXPECT_EQ(mode.st_mode & 0777, 0600u) << name;
    }
    const QString text = run(QStringLiteral("pdftotext"),
                             {QString::fromStdString((dir.path() / "secret.pdf").string()), "-"});
    EXPECT_TRUE(text.contains(QStringLiteral("admin / Kx7-pq")));
    EXPECT_TRUE(text.contains(QStringLiteral("holds the cameras' passwords")));

    EXPECT_EQ(WriteReport(report, (dir.path() / "report.txt").string()),
              "the file's name must end in .pdf, .csv or .json");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "report.txt"));
}

TEST_F(HandoverPdf, APictureIsKeptAsAJpegOfAtMostSixHundredFortyPixels) {
    const std::string jpeg = pictureOf(qRgb(200, 40, 40));
    const QImage picture = QImage::fromData(QByteArray::fromStdString(jpeg), "JPG");
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(640, 360));
    const QRgb middle = picture.pixel(320, 180);
    EXPECT_NEAR(qRed(middle), 200, 8);
    EXPECT_NEAR(qGreen(middle), 40, 8);
    EXPECT_NEAR(qBlue(middle), 40, 8);
}

} // namespace
