// The OEM page against virtual cameras on loopback: the fields and their
// limits, the checks of Upload in order, the information file beside the
// program, one result line per camera with each success queued for reboot,
// and in the main window the reboot made by the Batch Set page's worker.

#include "DeviceRecords.h"
#include "GuiTestBase.h"
#include "RecordingDriver.h"
#include "RecordingServices.h"
#include "TestCameras.h"

#include "app/MainDlg.h"
#include "log/LogFile.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/oem/OemDlg.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::filesystem::path oemFile() {
    char dir[260] = {};
    GetModuleDir(dir, sizeof dir);
    return std::filesystem::path(dir) / "qvoem.cfg";
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void deliverTo(CDeviceListPage* page, const tagQvIpcInfo& record) {
    page->OnDevicesFound({Found(record)});
}

class OemDlgTest : public GuiTestBase {
protected:
    testcams::Lab lab{3};
    RecordingServices services;
    RecordingDriver driver;
    orv::jobs::CJobEngine jobs{driver.Set()};
    std::unique_ptr<COemDlg> page;
    TempDir files;

    void SetUp() override {
        GuiTestBase::SetUp();
        // The information file is written beside the test program; no run
        // may see one left by another.
        std::filesystem::remove(oemFile());
        page = std::make_unique<COemDlg>(services, jobs);
        page->resize(1000, 600);
        page->show();
        AnswerMessagesWith(true);
        AnswerFileDialogs(true);
    }
    void TearDown() override {
        page.reset();
        std::filesystem::remove(oemFile());
        GuiTestBase::TearDown();
    }

    tagQvIpcInfo camera(int i) const {
        tagQvIpcInfo r = Camera(static_cast<unsigned char>(0xc0 + i), lab.ip(i).c_str(),
                                ("Cam" + std::to_string(i)).c_str(), testcams::kModel);
        r.HttpPort = lab.port();
        return r;
    }
    int rowOf(const std::string& ip) const {
        auto* list = page->DeviceListCtrl();
        for (int row = 0; row < list->GetItemCount(); ++row) {
            if (list->GetItemText(row, 4) == QString::fromStdString(ip)) {
                return row;
            }
        }
        ADD_FAILURE() << "no row for " << ip;
        return -1;
    }
    void clickCell(int row, int column) {
        auto* list = page->DeviceListCtrl();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, column)).center());
        WaitForJobs(jobs);
    }
    template <class T>
    T* child(const char* name) {
        T* c = page->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QLineEdit* edit(const char* name) { return child<QLineEdit>(name); }
    void fill(const QString& company, const QString& version) {
        edit("companyEdit")->setText(company);
        edit("websiteEdit")->setText(QStringLiteral("site1"));
        edit("modelEdit")->setText(QStringLiteral("X1"));
        child<QComboBox>("versionList")->setEditText(version);
    }
    void upload() {
        QTest::mouseClick(child<QPushButton>("uploadButton"), Qt::LeftButton);
        WaitForJobs(jobs);
    }
    QString line(int i, const char* outcome) const {
        const tagQvIpcInfo r = camera(i);
        return QString::asprintf("[%.2X:%.2X:%.2X:%.2X:%.2X:%.2X] %s Upload OEM Files %s", r.Mac[0],
                                 r.Mac[1], r.Mac[2], r.Mac[3], r.Mac[4], r.Mac[5], r.IpAddr,
                                 outcome);
    }
    nlohmann::json oemOf(int i) const {
        const nlohmann::json config = lab.host.snapshot(lab.key(i))->config;
        return config.contains("oem") ? config["oem"] : nlohmann::json::object();
    }
};

} // namespace

TEST_F(OemDlgTest, FieldsStartAsDescribedAndTheNameFieldsDropSeparators) {
    auto* version = child<QComboBox>("versionList");
    ASSERT_EQ(version->count(), 5);
    EXPECT_EQ(version->itemText(0), "1");
    EXPECT_EQ(version->itemText(4), "5");
    EXPECT_EQ(version->currentText(), "1");
    EXPECT_TRUE(version->isEditable());
    EXPECT_EQ(edit("companyEdit")->maxLength(), 24);
    EXPECT_EQ(edit("websiteEdit")->maxLength(), 128);
    EXPECT_EQ(edit("modelEdit")->maxLength(), 32);
    EXPECT_EQ(edit("imageFileEdit")->maxLength(), 2600);
    EXPECT_FALSE(child<QPushButton>("uploadButton")->isEnabled());
    EXPECT_FALSE(child<QLabel>("conflictLabel")->isVisible());
    for (const char* name : {"companyEdit", "websiteEdit", "modelEdit", "imageFileEdit"}) {
        edit(name)->clear();
        QTest::keyClicks(edit(name), QStringLiteral("a;b=c+d'e"));
        EXPECT_EQ(edit(name)->text(), "abcde") << name;
    }

    // The address-conflict rule of a selected row, without any model test.
    deliverTo(page.get(), camera(0));
    deliverTo(page.get(), camera(1));
    tagQvIpcInfo twin = camera(2);
    std::snprintf(twin.IpAddr, sizeof twin.IpAddr, "%s", lab.ip(0).c_str());
    deliverTo(page.get(), twin);
    clickCell(rowOf(lab.ip(1)), 2);
    EXPECT_TRUE(child<QPushButton>("uploadButton")->isEnabled());
    clickCell(0, 2); // one of the two cameras at the same address
    EXPECT_TRUE(child<QLabel>("conflictLabel")->isVisible());
    EXPECT_FALSE(child<QPushButton>("uploadButton")->isEnabled());
}

TEST_F(OemDlgTest, UploadChecksInOrderAndWritesTheFileBeforeAskingForADevice) {
    // The checks and their order are the rules'; the page shows their message.
    EXPECT_FALSE(child<QPushButton>("uploadButton")->isEnabled()) << "off until a camera is chosen";
    services.user = QStringLiteral("  ");
    page->Upload();
    EXPECT_EQ(messages, QStringList{"Username Field can't be empty."});
    services.user = QStringLiteral("admin");
    fill(QStringLiteral(" Acme "), QString());
    EXPECT_FALSE(std::filesystem::exists(oemFile())) << "nothing is written before the checks";

    messages.clear();
    edit("imageFileEdit")->setText(QStringLiteral("/images/logo.bmp"));
    page->Upload();
    WaitForJobs(jobs);
    EXPECT_EQ(messages, QStringList{"Please select one device."});
    EXPECT_EQ(readFile(oemFile()), "[oemsec]\r\ncompany=Acme\r\nmanufacture=Acme\r\n"
                                   "website=site1\r\nmodel=X1\r\nsoftversion=0\r\n")
        << "an empty Version writes softversion=0";
    EXPECT_TRUE(driver.Calls().empty());

    // Typing stops where the company's 24-byte field ends: the file gets it whole.
    edit("companyEdit")->clear();
    QTest::keyClicks(edit("companyEdit"), QString(30, 'c'));
    page->Upload();
    const std::string company = edit("companyEdit")->text().toStdString();
    EXPECT_FALSE(company.empty());
    EXPECT_NE(readFile(oemFile()).find("\r\ncompany=" + company + "\r\n"), std::string::npos);
}

TEST_F(OemDlgTest, CheckedUploadGivesOneLinePerCameraAndQueuesEachSuccess) {
    for (int i = 0; i < 3; ++i) {
        deliverTo(page.get(), camera(i));
    }
    camsim::FaultPlan refuse;
    refuse.refuseCredentials = true;
    lab.server.setFaults(lab.key(1), refuse);
    // Select All alone, with no camera picked before, arms Upload.
    child<QCheckBox>("selectAll")->click();
    EXPECT_TRUE(child<QPushButton>("uploadButton")->isEnabled());
    child<QCheckBox>("selectAll")->click();
    for (int i = 0; i < 3; ++i) {
        clickCell(rowOf(lab.ip(i)), 0);
    }
    ASSERT_TRUE(page->IsCheckedMode());
    EXPECT_TRUE(child<QPushButton>("uploadButton")->isEnabled());

    for (int i = 0; i < 12; ++i) {
        const std::string name = "logo" + std::to_string(i) + ".bmp";
        files.write(name, "image " + std::to_string(i));
        chosenFiles << QString::fromStdString((files.path() / name).string());
    }
    QTest::mouseClick(child<QPushButton>("browseButton"), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_EQ(edit("imageFileEdit")->text(), chosenFiles.mid(0, 10).join('*'));
    fill(QStringLiteral("Acme"), QStringLiteral("3"));
    upload();

    EXPECT_EQ(services.lines,
              (QStringList{line(0, "Succeed."), line(1, "Failed."), line(2, "Succeed.")}));
    // Every camera that took the file restarts, one per cycle of the
    // engine's reboot queue; the one that refused it does not.
    const auto end = std::chrono::steady_clock::now() + 3s;
    while ((lab.host.rebootCount(lab.key(0)) == 0 || lab.host.rebootCount(lab.key(2)) == 0) &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(lab.host.rebootCount(lab.key(0)), 1);
    EXPECT_EQ(lab.host.rebootCount(lab.key(1)), 0);
    EXPECT_EQ(lab.host.rebootCount(lab.key(2)), 1);
    EXPECT_EQ(readFile(oemFile()), "[oemsec]\r\ncompany=Acme\r\nmanufacture=Acme\r\n"
                                   "website=site1\r\nmodel=X1\r\nsoftversion=3\r\n");
    EXPECT_EQ(oemOf(2)["images"].size(), 10u);
}

TEST_F(OemDlgTest, InTheMainWindowTheEngineRebootsEachCamera) {
    page.reset();
    CMainDlg dlg(true, CMainDlg::Discovery::Off);
    dlg.show();
    dlg.findChild<QLineEdit*>(QStringLiteral("userEdit"))->setText(QStringLiteral("admin"));
    dlg.findChild<QLineEdit*>(QStringLiteral("passwordEdit"))
        ->setText(QString::fromLatin1(testcams::kPassword));
    COemDlg* oem = dlg.OemPage();
    deliverTo(oem, camera(2));
    auto* list = oem->DeviceListCtrl();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 2)).center());
    WaitForJobs(dlg.Jobs());
    files.write("logo.bmp", "logo");
    oem->findChild<QLineEdit*>(QStringLiteral("companyEdit"))->setText(QStringLiteral("Acme"));
    oem->findChild<QLineEdit*>(QStringLiteral("imageFileEdit"))
        ->setText(QString::fromStdString((files.path() / "logo.bmp").string()));
    oem->Upload();
    WaitForJobs(dlg.Jobs());
    EXPECT_EQ(oemOf(2)["info"]["company"], "Acme");
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (lab.host.rebootCount(lab.key(2)) == 0 && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(lab.host.rebootCount(lab.key(2)), 1);
}
