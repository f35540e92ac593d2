// The Batch Set page against virtual cameras on loopback: a selected camera
// fills both sub-pages, their Save buttons reach the camera or every checked
// one, reboots go through the worker, and a double-clicked camera's web page
// reaches the browser.

#include "DeviceRecords.h"
#include "GuiTestBase.h"
#include "RecordingDriver.h"
#include "RecordingServices.h"
#include "TestCameras.h"

#include "operations/batchset/NetworkParamRules.h"
#include "operations/batchset/SystemTime.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/NetworkParamDlg.h"
#include "pages/batchset/SystemParamDlg.h"
#include "pages/common/JobPanel.h"
#include "ui/Browser.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <cstring>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr const char* kLoginFailed = "Login Failed.Please check your username and password.";

camsim::DeviceApiOptions frozenClock() {
    camsim::DeviceApiOptions options = testcams::Lab::defaultOptions();
    // 2024-03-10 12:00:00 UTC: a load shows a date and time known to the test.
    options.clock = [] { return std::chrono::system_clock::time_point(1710072000s); };
    return options;
}

class BatchSetDlgTest : public GuiTestBase {
protected:
    testcams::Lab lab{4, frozenClock()};
    RecordingServices services;
    RecordingDriver driver;
    orv::jobs::CJobEngine jobs{driver.Set()};
    std::unique_ptr<CBatchSetDlg> page;
    bool answerYes = true;
    // The question before a password goes to cameras never met over TLS
    // (the test cameras speak plain HTTP); other questions get answerYes.
    bool answerPlain = true;
    QStringList plainQuestions;
    static bool IsPlainQuestion(const QString& text) {
        return text.contains(QStringLiteral("never reached over an encrypted connection"));
    }
    std::mutex urlLock;
    QStringList urls;

    void SetUp() override {
        GuiTestBase::SetUp();
        Qv_Sdk_SetTimeouts(2500, 5000);
        makePage({200ms, 125});
        orv::ui::SetMessageBoxAnswer([this](orv::ui::MessageKind kind, const QString& text) {
            if (IsPlainQuestion(text)) {
                plainQuestions << text;
                return answerPlain;
            }
            messages << (kind == orv::ui::MessageKind::Question ? text + "?" : text);
            return answerYes;
        });
        orv::ui::SetBrowserAnswer([this](const QString& url) {
            std::lock_guard lock(urlLock);
            urls << url;
        });
    }
    void TearDown() override {
        page.reset();
        GuiTestBase::TearDown();
    }
    void makePage(orv::jobs::RebootTiming timing) {
        page.reset();
        jobs.Reboots().Retime(timing);
        page = std::make_unique<CBatchSetDlg>(services, jobs);
        page->resize(1000, 600);
        page->show();
    }

    tagQvIpcInfo camera(int i, int macByte = 0) const {
        tagQvIpcInfo r = Camera(static_cast<unsigned char>(macByte != 0 ? macByte : 0xa0 + i),
                                lab.ip(i).c_str(), ("Cam" + std::to_string(i)).c_str());
        r.HttpPort = lab.port();
        return r;
    }
    void deliver(const tagQvIpcInfo& record) { page->OnDevicesFound({Found(record)}); }
    void addCameras(int n) {
        for (int i = 0; i < n; ++i) {
            deliver(camera(i));
        }
    }
    void clickCell(int row, int column) {
        auto* list = page->DeviceListCtrl();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, column)).center());
        WaitForJobs(jobs);
    }
    template <class T>
    T* in(QWidget* parent, const char* name) {
        T* child = parent->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QLineEdit* sys(const char* name) { return in<QLineEdit>(page->SystemPage(), name); }
    QLineEdit* net(const char* name) { return in<QLineEdit>(page->NetworkPage(), name); }
    QPushButton* button(QWidget* sub, const char* name) { return in<QPushButton>(sub, name); }
    void saveSystem() {
        QTest::mouseClick(button(page->SystemPage(), "saveButton"), Qt::LeftButton);
        WaitForJobs(jobs);
    }
    void saveNetwork() {
        QTest::mouseClick(button(page->NetworkPage(), "saveButton"), Qt::LeftButton);
        WaitForJobs(jobs);
    }
    void chooseOption(const char* name) {
        QTest::mouseClick(in<QRadioButton>(page->SystemPage(), name), Qt::LeftButton);
        WaitForJobs(jobs);
    }
    nlohmann::json config(int i) { return lab.host.snapshot(lab.key(i))->config; }
    QString line(int i, const char* words) const {
        const tagQvIpcInfo r = camera(i);
        return QString::asprintf("[%.2X:%.2X:%.2X:%.2X:%.2X:%.2X] %s %s", r.Mac[0], r.Mac[1],
                                 r.Mac[2], r.Mac[3], r.Mac[4], r.Mac[5], r.IpAddr, words);
    }
    // Waits for the worker without sleeping through more than needed.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }
};

} // namespace

TEST_F(BatchSetDlgTest, SelectingACameraLogsInOnceAndFillsBothSubPages) {
    {
        const int h = lab.login(1);
        const QvPortInfo ports{lab.port(), 8000, 1554, 1555, 0};
        ASSERT_EQ(Qv_Ipc_SetPortInfo(h, &ports), 0);
        QvDdnsInfo ddns{};
        ddns.enable = 1;
        std::strcpy(ddns.provider, orv::batchset::kProviders[2].recordText);
        std::strcpy(ddns.user, "nord");
        std::strcpy(ddns.password, "pw");
        std::strcpy(ddns.host, "hof-nord.dyndns.org");
        ASSERT_EQ(Qv_Ipc_SetDDNS(h, &ddns), 0);
        QvSystemDate zone{};
        zone.useTimeServer = 1;
        std::strcpy(zone.timeServer, "ntp.example.org");
        zone.timeZone = 13;
        ASSERT_EQ(Qv_Ipc_SetSystemDate(h, &zone), 0);
    }
    QvSystemDate shown{};
    ASSERT_EQ(Qv_Ipc_GetSystemDate(lab.login(1), &shown), 0);
    driver.Clear();

    addCameras(3);
    EXPECT_FALSE(button(page->SystemPage(), "saveButton")->isEnabled()) << "nothing selected yet";
    clickCell(1, 2);
    const auto logins = driver.Calls("Login");
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].ip, lab.ip(1));
    EXPECT_EQ(logins[0].user, "admin");
    EXPECT_EQ(logins[0].password, testcams::kPassword);
    std::vector<std::string> reads;
    for (const auto& call : driver.Calls()) {
        reads.push_back(call.name);
    }
    EXPECT_EQ(reads,
              (std::vector<std::string>{"Login", "GetSystemDate", "GetPortInfo", "GetDdns",
                                        "GetImagingConfig", "GetVideoConfig", "GetVideoConfig"}));
    EXPECT_TRUE(button(page->SystemPage(), "saveButton")->isEnabled());
    EXPECT_TRUE(button(page->NetworkPage(), "saveButton")->isEnabled());

    EXPECT_EQ(sys("deviceNameEdit")->text(), "Cam1");
    const QDateTime expected = QDateTime::fromString(QString::fromLatin1(shown.date) + ' ' +
                                                         QString::fromLatin1(shown.time),
                                                     QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    ASSERT_TRUE(expected.isValid()) << shown.date << " " << shown.time;
    EXPECT_EQ(in<QDateTimeEdit>(page->SystemPage(), "datePicker")->date(), expected.date());
    EXPECT_EQ(in<QDateTimeEdit>(page->SystemPage(), "timePicker")->time(), expected.time());
    EXPECT_EQ(in<QComboBox>(page->SystemPage(), "timeZoneList")->currentIndex(), 13);

    EXPECT_EQ(net("httpPortEdit")->text(), QString::number(lab.port()));
    EXPECT_EQ(net("onvifPortEdit")->text(), "8000");
    EXPECT_EQ(net("rtspPort1Edit")->text(), "1554");
    EXPECT_EQ(net("rtspPort2Edit")->text(), "1555");
    EXPECT_TRUE(in<QCheckBox>(page->NetworkPage(), "ddnsEnable")->isChecked());
    EXPECT_EQ(in<QComboBox>(page->NetworkPage(), "providerList")->currentIndex(), 2);
    EXPECT_EQ(net("ddnsUserEdit")->text(), "nord");
    EXPECT_EQ(net("ddnsPasswordEdit")->text(), "pw");
    EXPECT_EQ(net("ddnsHostEdit")->text(), "hof-nord.dyndns.org");
    for (const char* name : {"ddnsUserEdit", "ddnsPasswordEdit", "ddnsHostEdit"}) {
        EXPECT_TRUE(net(name)->isEnabled()) << name << ": DDNS is on";
    }
    EXPECT_TRUE(services.lines.isEmpty());
}

TEST_F(BatchSetDlgTest, AWrongDefaultPasswordGivesTheLoginFailureLine) {
    addCameras(2);
    services.password = QStringLiteral("wrong");
    clickCell(0, 3);
    ASSERT_EQ(services.lines.size(), 1);
    EXPECT_EQ(services.lines[0], kLoginFailed);
    EXPECT_EQ(sys("deviceNameEdit")->text(), "Cam0") << "the name comes from the list";
    EXPECT_EQ(net("httpPortEdit")->text(), "8080") << "failed reads leave the fields";
    EXPECT_EQ(net("onvifPortEdit")->text(), "80");
    EXPECT_EQ(in<QComboBox>(page->SystemPage(), "timeZoneList")->currentIndex(), 20);
}

TEST_F(BatchSetDlgTest, CamerasSharingAnAddressDisableSaveAndReadNothing) {
    addCameras(3);
    deliver(camera(1, 0x77)); // a second camera at camera 1's address
    ASSERT_EQ(page->DeviceListCtrl()->GetItemCount(), 4);
    int shared = -1;
    for (int row = 0; row < 4; ++row) {
        if (page->DeviceListCtrl()->GetItemText(row, 4) == QString::fromStdString(lab.ip(1))) {
            shared = row;
            break;
        }
    }
    ASSERT_GE(shared, 0);
    clickCell(shared, 2);
    EXPECT_TRUE(in<QLabel>(page.get(), "conflictLabel")->isVisible());
    EXPECT_EQ(in<QLabel>(page.get(), "conflictLabel")->text(),
              "Ip address conflict!Please modify IP at first!");
    EXPECT_FALSE(button(page->SystemPage(), "saveButton")->isEnabled());
    EXPECT_FALSE(button(page->NetworkPage(), "saveButton")->isEnabled());
    EXPECT_TRUE(driver.Calls().empty()) << "nothing is read from either camera";

    // Another camera clears the label.
    const int clean = shared == 0 ? 3 : 0;
    clickCell(clean, 2);
    EXPECT_FALSE(in<QLabel>(page.get(), "conflictLabel")->isVisible());
    EXPECT_TRUE(button(page->NetworkPage(), "saveButton")->isEnabled());
}

TEST_F(BatchSetDlgTest, ChecksSwitchCheckedModeAndClicksPickOneCamera) {
    // The selection rules are the device list's; the page follows them.
    addCameras(3);
    clickCell(0, 0);
    clickCell(1, 0);
    EXPECT_TRUE(page->IsCheckedMode());
    EXPECT_FALSE(sys("deviceNameEdit")->isEnabled()) << "every checked camera keeps its name";
    driver.Clear();
    clickCell(0, 3);
    EXPECT_TRUE(driver.Calls("GetSystemDate").empty()) << "no camera is loaded";
    driver.Clear();
    clickCell(1, 3); // the last check goes: that camera is shown
    EXPECT_FALSE(page->IsCheckedMode());
    EXPECT_TRUE(sys("deviceNameEdit")->isEnabled());
    ASSERT_EQ(driver.Calls("Login").size(), 1u);
    EXPECT_EQ(driver.Calls("Login")[0].ip, lab.ip(1));

    QTest::mouseClick(in<QCheckBox>(page.get(), "selectAll"), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_EQ(page->Devices().CheckedDevices().size(), 3u);
}

TEST_F(BatchSetDlgTest, SystemSaveSendsDateNameAndPasswordInOrder) {
    addCameras(2);
    clickCell(1, 2);
    services.lines.clear();

    sys("deviceNameEdit")->setText(QStringLiteral(" Cam 1 "));
    chooseOption("manualTimeOption");
    EXPECT_TRUE(in<QDateTimeEdit>(page->SystemPage(), "datePicker")->isEnabled());
    EXPECT_FALSE(in<QComboBox>(page->SystemPage(), "timeZoneList")->isEnabled());
    const QDateTime may7(QDate(2013, 5, 7), QTime(9, 5, 3));
    in<QDateTimeEdit>(page->SystemPage(), "datePicker")->setDateTime(may7);
    in<QDateTimeEdit>(page->SystemPage(), "timePicker")->setDateTime(may7);
    saveSystem();
    EXPECT_EQ(driver.lastDate.useTimeServer, 0);
    EXPECT_STREQ(driver.lastDate.date, "2013/05/07");
    EXPECT_STREQ(driver.lastDate.time, "09:05:03");
    EXPECT_EQ(driver.lastName, "%43%61%6D%20%31");
    EXPECT_EQ(lab.host.snapshot(lab.key(1))->identity.deviceName, "Cam 1");
    EXPECT_EQ(services.lines, (QStringList{line(1, "Modify System Date Succeed."),
                                           line(1, "Modify Device Name Succeed.")}))
        << "the password equals the default: no change, no reboot";

    chooseOption("timeServerOption");
    EXPECT_TRUE(in<QComboBox>(page->SystemPage(), "timeZoneList")->isEnabled());
    in<QComboBox>(page->SystemPage(), "timeZoneList")->setCurrentIndex(20);
    saveSystem();
    EXPECT_EQ(driver.lastDate.useTimeServer, 1);
    EXPECT_STREQ(driver.lastDate.timeServer, orv::batchset::kDefaultTimeServer);
    EXPECT_EQ(driver.lastDate.timeZone, 20);

    // Field checks stop the save before any camera is touched.
    driver.Clear();
    sys("confirmPasswordEdit")->setText(QStringLiteral("other"));
    saveSystem();
    sys("passwordEdit")->clear();
    saveSystem();
    sys("deviceNameEdit")->setText(QStringLiteral("   "));
    saveSystem();
    EXPECT_EQ(messages, (QStringList{"The two passwords do not match!",
                                     "Password Field can't be empty.", "Field can't be empty."}));
    EXPECT_TRUE(driver.Calls().empty());
}

TEST_F(BatchSetDlgTest, ATypedPasswordGoesToItsCameraOnceAndMayBecomeTheDefault) {
    addCameras(3);
    auto typePassword = [this](const char* text) {
        for (const char* name : {"passwordEdit", "confirmPasswordEdit"}) {
            sys(name)->clear();
            Type(sys(name), QString::fromLatin1(text));
        }
    };
    clickCell(0, 2);
    services.lines.clear();
    driver.Clear();
    typePassword("n3w");
    answerYes = false;
    saveSystem();
    EXPECT_EQ(services.lines,
              (QStringList{line(0, "Modify Device Name Succeed."),
                           line(0, "Modify Password Succeed."), line(0, "Reboot Succeed.")}));
    EXPECT_EQ(lab.host.snapshot(lab.key(0))->identity.adminPassword, "n3w");
    ASSERT_EQ(messages.size(), 1) << "the offer to make it the default";
    EXPECT_EQ(services.password, testcams::kPassword) << "declined";
    EXPECT_EQ(sys("passwordEdit")->text(), testcams::kPassword) << "the fields show the default";
    // The reboot queue restarts the camera within its next cycle; on a slow
    // machine that is after this point, so wait for it before counting.
    ASSERT_TRUE(waitFor([&] { return driver.Calls("RebootSystem").size() == 1; }, 3s));
    driver.Clear();
    saveSystem();
    EXPECT_TRUE(driver.Calls("ModifyPassword").empty())
        << "sent once, for the Save it was typed for";

    // Another camera starts from the default password: saving its name
    // leaves its password and does not restart it.
    clickCell(1, 2);
    EXPECT_EQ(sys("confirmPasswordEdit")->text(), testcams::kPassword);
    driver.Clear();
    saveSystem();
    EXPECT_TRUE(driver.Calls("ModifyPassword").empty());
    EXPECT_TRUE(driver.Calls("RebootSystem").empty());

    answerYes = true;
    typePassword("n3w2");
    saveSystem();
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(services.password, "n3w2") << "accepted: later logins use it";
    EXPECT_EQ(lab.host.snapshot(lab.key(1))->identity.adminPassword, "n3w2");
    ASSERT_EQ(plainQuestions.size(), 2) << "asked before each password, naming the risk";
    EXPECT_TRUE(plainQuestions[0].startsWith(QStringLiteral("1 of the cameras")))
        << plainQuestions[0].toStdString();
    EXPECT_TRUE(
        plainQuestions[0].contains(QStringLiteral("knows or guesses the current password")));

    // Declined: the camera keeps its password and is not restarted.
    clickCell(2, 2);
    services.lines.clear();
    answerPlain = false;
    typePassword("n3w3");
    saveSystem();
    EXPECT_EQ(lab.host.snapshot(lab.key(2))->identity.adminPassword, testcams::kPassword);
    EXPECT_EQ(services.lines.filter(QStringLiteral("Reboot")).size(), 0);
    EXPECT_EQ(services.lines.filter(QStringLiteral("Modify Password Failed.")).size(), 1);
}

TEST_F(BatchSetDlgTest, CamerasRefusedForAnotherKeyAreTrustedAgainOnlyOnAPersonsYes) {
    addCameras(3);
    const std::vector<orv::device::DeviceInfo> cameras = page->Devices().Devices();
    ASSERT_EQ(cameras.size(), 3u);
    // Camera 1 showed another key; camera 2 simply did not answer.
    orv::jobs::JobSpec order;
    order.targets = cameras;
    order.operations = {"Modify Password"};
    order.work = [&cameras](orv::jobs::CameraRun& run) {
        if (run.Device().id == cameras[1].id) {
            run.ReportFailure("Modify Password", orv::jobs::Reason::IdentityChanged, "2026-12-01");
        } else if (run.Device().id == cameras[2].id) {
            run.ReportFailure("Modify Password", orv::jobs::Reason::NoAnswer);
        } else {
            run.Report("Modify Password", orv::device::Status(orv::device::Done{}));
        }
    };
    CJobPanel* panel = page->JobPanel();
    panel->Track(jobs.Start(order), cameras);
    WaitForJobs(jobs);
    auto* trustAgain =
        panel->ResultsWindow()->findChild<QPushButton*>(QStringLiteral("trustAgain"));
    ASSERT_NE(trustAgain, nullptr);
    EXPECT_TRUE(trustAgain->isEnabled());
    EXPECT_EQ(trustAgain->text(), QStringLiteral("Trust again..."));
    panel->ResultsWindow()->show();
    SaveScreenshot(*panel->ResultsWindow(), QStringLiteral("results-trust-again"));

    services.lines.clear();
    answerYes = false;
    trustAgain->click();
    ASSERT_EQ(messages.size(), 1);
    const QString shown =
        QString::fromStdString(cameras[1].MacText()) + "  " + cameras[1].AddressText();
    EXPECT_TRUE(messages[0].contains(shown)) << messages[0].toStdString();
    EXPECT_FALSE(messages[0].contains(cameras[2].AddressText() + ","));
    EXPECT_TRUE(messages[0].contains(QStringLiteral("a stand-in at their address")));
    EXPECT_TRUE(services.trustedAgain.empty()) << "No forgets nothing";

    answerYes = true;
    trustAgain->click();
    EXPECT_EQ(services.trustedAgain, std::vector<orv::device::DeviceId>{cameras[1].id});
    EXPECT_EQ(services.lines, QStringList{"Trust again: " + shown.simplified() + "."});
}

TEST_F(BatchSetDlgTest, ComputerTimeIsTakenAtTheMomentOfSave) {
    addCameras(1);
    chooseOption("computerTimeOption");
    clickCell(0, 2); // the camera's clock (2024) fills the pickers
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    saveSystem();
    const QDateTime sent = QDateTime::fromString(QString::fromLatin1(driver.lastDate.date) + ' ' +
                                                     QString::fromLatin1(driver.lastDate.time),
                                                 QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    EXPECT_GE(sent, before);
    EXPECT_LE(sent, QDateTime::currentDateTime());
}

TEST_F(BatchSetDlgTest, TextsStopWhereTheirRecordFieldsEndAndReachTheCameraWhole) {
    // The camera's own DDNS user name of 31 bytes cannot go back whole.
    QvDdnsInfo ddns{};
    ddns.enable = 1;
    std::memset(ddns.user, 'x', sizeof ddns.user - 1);
    std::strcpy(ddns.password, "pw");
    std::strcpy(ddns.host, "cam.example.org");
    ASSERT_EQ(Qv_Ipc_SetDDNS(lab.login(0), &ddns), 0);
    addCameras(1);
    clickCell(0, 2);
    driver.Clear();
    saveNetwork();
    EXPECT_EQ(messages, QStringList{"Username is too long for the camera."});
    EXPECT_TRUE(driver.Calls("SetDdns").empty());

    auto type = [](QLineEdit* edit, const QString& text) {
        edit->clear();
        Type(edit, text);
    };
    type(net("ddnsUserEdit"), QString(40, 'u'));
    saveNetwork();
    EXPECT_EQ(QString::fromStdString(config(0)["ddns"]["user"]), net("ddnsUserEdit")->text());
    EXPECT_FALSE(net("ddnsUserEdit")->text().isEmpty());

    type(sys("deviceNameEdit"), QString(40, QChar(0xE9))); // two UTF-8 bytes each
    // Quote and backslash reach the camera as typed (escaped once, by the driver).
    type(sys("passwordEdit"), QStringLiteral("it's\\ok") + QString(20, 'p'));
    type(sys("confirmPasswordEdit"), QStringLiteral("it's\\ok") + QString(20, 'p'));
    const QString typed = sys("passwordEdit")->text();
    EXPECT_TRUE(typed.startsWith(QStringLiteral("it's\\okp"))) << typed.toStdString();
    saveSystem();
    const camsim::CameraIdentity identity = lab.host.snapshot(lab.key(0))->identity;
    EXPECT_EQ(QString::fromStdString(identity.deviceName), sys("deviceNameEdit")->text());
    EXPECT_EQ(QString::fromStdString(identity.adminPassword), typed);
}

TEST_F(BatchSetDlgTest, NetworkSaveSendsPortsThenDdnsAndASecondLoadShowsThem) {
    addCameras(3);
    clickCell(2, 2);
    services.lines.clear();
    net("httpPortEdit")->setText(QString::number(lab.port()));
    net("onvifPortEdit")->setText(QStringLiteral("8899"));
    net("rtspPort1Edit")->setText(QStringLiteral("8554"));
    net("rtspPort2Edit")->setText(QStringLiteral("8555"));
    auto* enable = in<QCheckBox>(page->NetworkPage(), "ddnsEnable");
    EXPECT_FALSE(net("ddnsUserEdit")->isEnabled());
    QTest::mouseClick(enable, Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_TRUE(net("ddnsUserEdit")->isEnabled());
    EXPECT_FALSE(net("ddnsHashEdit")->isEnabled()) << "entry 0 needs no hash";
    auto* providers = in<QComboBox>(page->NetworkPage(), "providerList");
    providers->setCurrentIndex(orv::batchset::kHashProvider);
    emit providers->activated(orv::batchset::kHashProvider);
    EXPECT_TRUE(net("ddnsHashEdit")->isEnabled());
    net("ddnsUserEdit")->setText(QStringLiteral("u1"));
    net("ddnsPasswordEdit")->setText(QStringLiteral("p1"));
    net("ddnsHostEdit")->setText(QStringLiteral("cam2.example.org"));
    net("ddnsHashEdit")->setText(QStringLiteral("h4sh"));
    saveNetwork();
    EXPECT_EQ(services.lines,
              (QStringList{line(2, "Modify Port Succeed."), line(2, "Modify DDNS Succeed.")}));
    EXPECT_EQ(config(2)["ports"]["onvif"], 8899);
    EXPECT_EQ(config(2)["ddns"]["hash"], "h4sh");
    EXPECT_EQ(config(2)["ddns"]["provider"], orv::batchset::kProviders[1].recordText);

    // What the camera keeps comes back on the next load.
    clickCell(0, 2);
    EXPECT_EQ(net("onvifPortEdit")->text(), "8000") << "the factory ONVIF port";
    clickCell(2, 2);
    EXPECT_EQ(net("onvifPortEdit")->text(), "8899");
    EXPECT_EQ(net("rtspPort2Edit")->text(), "8555");
    EXPECT_EQ(providers->currentIndex(), orv::batchset::kHashProvider);
    EXPECT_EQ(net("ddnsHashEdit")->text(), "h4sh");
}

TEST_F(BatchSetDlgTest, CheckedRunsReachEveryCheckedCameraWithASummaryLine) {
    addCameras(4);
    clickCell(0, 0);
    clickCell(2, 0);
    clickCell(3, 0);
    net("httpPortEdit")->setText(QString::number(lab.port()));
    net("onvifPortEdit")->setText(QStringLiteral("7000"));
    saveNetwork();
    sys("deviceNameEdit")->setText(QStringLiteral("Same"));
    saveSystem();
    EXPECT_EQ(services.lines, QStringList{"Modify Port: 3 succeeded, 0 failed."})
        << "DDNS untouched, and the System Save had nothing to send: no date, no names, the "
           "same password";
    EXPECT_EQ(messages, QStringList{QStringLiteral("HTTP Port %1, ONVIF Port 7000 will change on 3 "
                                                   "cameras. Go on??")
                                        .arg(lab.port())})
        << "both typed over the start values";
    EXPECT_EQ(config(3)["ports"]["onvif"], 7000);
    EXPECT_EQ(config(1).count("ports"), 0u) << "not checked";
}

TEST_F(BatchSetDlgTest, ResultsFollowTheListOrderAndTheSummaryFollowsTheLanguage) {
    addCameras(3);
    // The first camera of the list answers last.
    lab.server.setFaults(lab.key(0), camsim::FaultPlan{.delay = std::chrono::milliseconds(300)});
    QTest::mouseClick(in<QCheckBox>(page.get(), "selectAll"), Qt::LeftButton);
    WaitForJobs(jobs);
    net("onvifPortEdit")->setText(QStringLiteral("7100"));
    saveNetwork();
    lab.server.clearFaults(lab.key(0));
    CJobPanel* panel = page->JobPanel();
    QLabel* summary = in<QLabel>(panel, "jobSummary");
    EXPECT_EQ(summary->text(), "3 cameras: 3 succeeded, 0 failed.");
    TempDir out;
    chosenFiles = {QString::fromStdString((out.path() / "results.csv").string())};
    AnswerFileDialogs(false);
    panel->ResultsWindow();
    in<QPushButton>(panel->ResultsWindow(), "exportResults")->click();
    QFile csv(chosenFiles[0]);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    QStringList ips;
    for (const QByteArray& line : csv.readAll().split('\n').mid(1)) {
        if (!line.isEmpty()) {
            ips << QString::fromUtf8(line.split(',').value(2));
        }
    }
    EXPECT_EQ(ips,
              (QStringList{QString::fromStdString(lab.ip(0)), QString::fromStdString(lab.ip(1)),
                           QString::fromStdString(lab.ip(2))}));

    TheLanguage().SelectLanguage(L"Deutsch");
    page->SetLanguageText();
    EXPECT_EQ(summary->text(), "3 Kameras: 3 erfolgreich, 0 fehlgeschlagen.");
}

TEST_F(BatchSetDlgTest, ACheckedSaveChangesOnlyWhatWasTouchedAndKeepsEachCamerasOwnValues) {
    addCameras(3);
    // Each camera has ports of its own; DDNS is off everywhere.
    for (int i = 0; i < 3; ++i) {
        QvPortInfo ports{lab.port(), 8000 + i, 554 + i, 600 + i, 0};
        ASSERT_EQ(Qv_Ipc_SetPortInfo(lab.login(i), &ports), 0);
    }
    QTest::mouseClick(in<QCheckBox>(page.get(), "selectAll"), Qt::LeftButton);
    WaitForJobs(jobs);
    // Only DDNS is touched: no camera's ports move, whatever the fields show.
    QCheckBox* enable = in<QCheckBox>(page->NetworkPage(), "ddnsEnable");
    QTest::mouseClick(enable, Qt::LeftButton);
    for (const auto& [field, text] : {std::pair{"ddnsUserEdit", "u"},
                                      {"ddnsPasswordEdit", "p"},
                                      {"ddnsHostEdit", "cam.example.org"}}) {
        net(field)->clear();
        Type(net(field), QString::fromLatin1(text));
    }
    saveNetwork();
    EXPECT_EQ(messages, QStringList{"DDNS Parameters Setup will change on 3 cameras. Go on??"});
    EXPECT_EQ(services.lines, QStringList{"Modify DDNS: 3 succeeded, 0 failed."});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(config(i)["ports"]["onvif"], 8000 + i) << i;
        EXPECT_EQ(config(i)["ports"]["rtsp2"], 600 + i) << i;
        EXPECT_EQ(config(i)["ddns"]["host"], "cam.example.org") << i;
    }

    // A port typed over the value shown counts as touched; an emptied one
    // keeps each camera's own. A camera whose own ports would then collide
    // keeps them and says why; No sends nothing.
    messages.clear();
    services.lines.clear();
    net("rtspPort1Edit")->clear();
    net("onvifPortEdit")->clear();
    Type(net("onvifPortEdit"), QStringLiteral("602"));
    answerYes = false;
    saveNetwork();
    EXPECT_EQ(config(0)["ports"]["onvif"], 8000) << "declined";
    answerYes = true;
    saveNetwork();
    EXPECT_EQ(messages, (QStringList{"ONVIF Port 602 will change on 3 cameras. Go on??",
                                     "ONVIF Port 602 will change on 3 cameras. Go on??"}));
    EXPECT_EQ(services.lines, QStringList{"Modify Port: 2 succeeded, 1 failed."});
    EXPECT_EQ(config(0)["ports"]["onvif"], 602);
    EXPECT_EQ(config(0)["ports"]["rtsp1"], 554);
    EXPECT_EQ(config(1)["ports"]["rtsp1"], 555);
    EXPECT_EQ(config(2)["ports"]["onvif"], 8002) << "its RTSP Port2 is 602";
    const auto& results = page->JobPanel()->Results().Results();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(orv::jobs::ReasonText(results[2]),
              "two of the camera's ports would be the same: RTSP2 602 = ONVIF");

    // Nothing touched: nothing sent, and the installer is told.
    messages.clear();
    saveNetwork();
    EXPECT_EQ(messages, QStringList{"Nothing was changed: every camera keeps its own settings."});
}

TEST_F(BatchSetDlgTest, ARebootOfCheckedCamerasAsksOnceAndReachesEach) {
    addCameras(3);
    QTest::mouseClick(in<QCheckBox>(page.get(), "selectAll"), Qt::LeftButton);
    WaitForJobs(jobs);
    QTest::mouseClick(button(page->SystemPage(), "rebootButton"), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_EQ(messages, QStringList{"Are you sure to reboot the selected devices??"});
    EXPECT_EQ(services.lines, QStringList{"Reboot: 3 succeeded, 0 failed."});
    ASSERT_TRUE(waitFor([&] { return driver.Calls("RebootSystem").size() == 3; }, 3s));
}

TEST_F(BatchSetDlgTest, ARestoreHoldsRebootsForItsPauseButNotWebPages) {
    // 125 cycles of 8 ms stand for the 25 s of 125 cycles of 200 ms.
    makePage({8ms, 125});
    addCameras(2);
    clickCell(0, 2);
    QTest::mouseClick(button(page->SystemPage(), "restoreButton"), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_EQ(messages, QStringList{"Are you sure to restore the selected devices??"});
    EXPECT_EQ(services.lines.last(), line(0, "Restore Succeed."));
    EXPECT_TRUE(page->Reboots().RestorePauseOn());
    // A double-click during the pause opens its page at once; the reboot
    // still waits for the pause.
    const QRect cell =
        page->DeviceListCtrl()->visualRect(page->DeviceListCtrl()->model()->index(1, 3));
    DoubleClick(page->DeviceListCtrl()->viewport(), cell.center());
    {
        std::lock_guard lock(urlLock);
        EXPECT_EQ(urls, QStringList{"http://" + QString::fromStdString(lab.ip(1))});
    }
    EXPECT_TRUE(page->Reboots().RestorePauseOn());
    EXPECT_TRUE(driver.Calls("RebootSystem").empty());
    ASSERT_TRUE(waitFor([&] { return !driver.Calls("RebootSystem").empty(); }, 5s));
}

TEST_F(BatchSetDlgTest, ClosingTheProgramDropsRebootsNotYetMade) {
    addCameras(1);
    clickCell(0, 2);
    page->Reboots().StartRestorePause(true);
    QTest::mouseClick(button(page->SystemPage(), "rebootButton"), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_EQ(services.lines.last(), line(0, "Reboot Succeed."));
    page.reset();
    EXPECT_EQ(jobs.Reboots().QueuedReboots(), 1u) << "the engine's queue outlives a page";
    QElapsedTimer closing;
    closing.start();
    jobs.Shutdown();
    EXPECT_LT(closing.elapsed(), 150) << "the queue stops without finishing its cycle";
    EXPECT_EQ(jobs.Reboots().QueuedReboots(), 0u);
    EXPECT_TRUE(driver.Calls("RebootSystem").empty());
}

TEST_F(BatchSetDlgTest, SecondTimerAdvancesTheClockAndCutsLongNames) {
    auto* time = in<QDateTimeEdit>(page->SystemPage(), "timePicker");
    time->setDateTime(QDateTime(QDate(2013, 12, 31), QTime(23, 59, 59)));
    page->SystemPage()->OnSecondTick();
    EXPECT_EQ(time->dateTime(), QDateTime(QDate(2014, 1, 1), QTime(0, 0, 0)));

    sys("deviceNameEdit")->setText(QString(20, QChar(0x4E2D)));
    page->SystemPage()->OnSecondTick();
    EXPECT_EQ(sys("deviceNameEdit")->text(), QString(10, QChar(0x4E2D)));

    // Enter and Escape stop at the sub-page.
    for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        press.ignore();
        QCoreApplication::sendEvent(page->SystemPage(), &press);
        EXPECT_TRUE(press.isAccepted());
    }
}
