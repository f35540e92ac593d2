#include "DeviceRecords.h"
#include "GuiTestBase.h"
#include "RecordingDriver.h"
#include "RecordingServices.h"

#include "TempDir.h"

#include "pages/network/AddressPlanDlg.h"
#include "pages/network/SearchDlg.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"
#include "ui/controls/NameEdit.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cstring>

namespace {

class SearchDlgTest : public GuiTestBase {
protected:
    RecordingServices services;
    RecordingDriver driver;
    orv::jobs::CJobEngine jobs{driver.Set()};
    std::unique_ptr<CSearchDlg> page;

    void SetUp() override {
        GuiTestBase::SetUp();
        page = std::make_unique<CSearchDlg>(services, jobs);
        page->resize(1000, 500);
        page->show();
        AnswerMessagesWith(false);
    }
    void TearDown() override {
        page.reset();
        GuiTestBase::TearDown();
    }

    void deliver(const tagQvIpcInfo& record) { page->OnDevicesFound({Found(record)}); }
    void addCameras(int n) {
        for (int i = 1; i <= n; ++i) {
            deliver(Camera(static_cast<unsigned char>(i),
                           ("192.168.1." + std::to_string(10 + i)).c_str(),
                           ("Cam " + std::to_string(i)).c_str()));
        }
    }
    template <class T>
    T* child(const char* name) {
        return page->findChild<T*>(QString::fromLatin1(name));
    }
    QLineEdit* edit(const char* name) { return child<QLineEdit>(name); }
    void clickCell(int row, int column) {
        auto* list = page->DeviceListCtrl();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, column)).center());
        WaitForJobs(jobs);
    }
    void fill(const char* ip, const char* mask, const char* gateway, const char* port) {
        edit("ipEdit")->setText(QString::fromLatin1(ip));
        edit("netmaskEdit")->setText(QString::fromLatin1(mask));
        edit("gatewayEdit")->setText(QString::fromLatin1(gateway));
        edit("httpPortEdit")->setText(QString::fromLatin1(port));
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            page->OnTick();
        }
    }
    void modify() { QTest::mouseClick(child<QPushButton>("modifyButton"), Qt::LeftButton); }
    // Each camera of the last requests took its change and answers.
    void answerAtNewAddresses() {
        for (const tagQvIpcInfo& r : services.requests) {
            page->OnModifyDone(Found(r));
        }
        WaitForJobs(jobs);
    }
};

} // namespace

TEST_F(SearchDlgTest, ClickingARowEditsThatCamera) {
    addCameras(3);
    EXPECT_FALSE(child<QPushButton>("modifyButton")->isEnabled());
    clickCell(1, 2);
    EXPECT_FALSE(page->IsCheckedMode());
    EXPECT_FALSE(page->DeviceListCtrl()->GetCheck(1)) << "a click on the texts clears the check";
    EXPECT_TRUE(child<QPushButton>("modifyButton")->isEnabled());
    EXPECT_EQ(edit("deviceNameEdit")->text(), "Cam 2");
    EXPECT_EQ(edit("ipEdit")->text(), "192.168.1.12");
    EXPECT_EQ(edit("httpPortEdit")->text(), "80");
    EXPECT_FALSE(edit("dnsEdit")->isVisible());
    SaveScreenshot(*page, QStringLiteral("network-settings-single"));
}

TEST_F(SearchDlgTest, OneCameraGetsNewSettingsOnce) {
    addCameras(2);
    clickCell(0, 3);
    edit("deviceNameEdit")->setText(QStringLiteral(" Hof Nord "));
    fill("192.168.1.60", "255.255.0.0", "192.168.1.254", "8080");
    modify();
    ASSERT_EQ(services.requests.size(), 1u);
    const tagQvIpcInfo& r = services.requests[0];
    EXPECT_EQ(std::memcmp(r.Mac, Camera(1, "").Mac, 8), 0);
    EXPECT_STREQ(r.DevName, "Hof Nord") << "the rules build the rest of the request";
    EXPECT_STREQ(r.IpAddr, "192.168.1.60");
    EXPECT_FALSE(child<QPushButton>("modifyButton")->isEnabled());

    // The camera confirms: its row changes and one line reports it.
    tagQvIpcInfo done = r;
    page->OnModifyDone(Found(done));
    EXPECT_EQ(page->DeviceListCtrl()->GetItemText(0, 4), "192.168.1.60");
    ASSERT_EQ(services.lines.size(), 1);
    EXPECT_EQ(services.lines[0], "[02:4F:56:10:00:01] Modify IP,Port,Netmask to 192.168.1.60, "
                                 "8080, 255.255.0.0 Succeed.");

    // The timer enables Modify again within five seconds.
    ticks(50);
    EXPECT_TRUE(child<QPushButton>("modifyButton")->isEnabled());
}

TEST_F(SearchDlgTest, NothingIsSentWithoutAChangeOrWithBadFields) {
    tagQvIpcInfo camera = Camera(1, "192.168.1.11", "Cam 1");
    camera.HttpPort = 8080;
    deliver(camera);
    clickCell(0, 2);
    modify();
    EXPECT_TRUE(services.requests.empty());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(child<QPushButton>("modifyButton")->isEnabled()) << "an unchanged form stays ready";

    // The checks are the rules'; the page shows their message.
    fill("192.168.1.20", "255.255.255.0", "192.168.1.1", "1023");
    modify();
    EXPECT_EQ(messages, QStringList{"Please input the port between 1024 and 65535."});
    EXPECT_TRUE(services.requests.empty());
}

TEST_F(SearchDlgTest, CheckedCamerasGetConsecutiveAddresses) {
    addCameras(3);
    clickCell(0, 0);
    EXPECT_TRUE(page->IsCheckedMode());
    EXPECT_TRUE(child<QCheckBox>("sameIp")->isVisible());
    EXPECT_FALSE(edit("deviceNameEdit")->isVisible());
    EXPECT_EQ(edit("ipEdit")->text(), "") << "checked mode starts from an empty template";

    QTest::mouseClick(child<QCheckBox>("selectAll"), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_EQ(child<QLabel>("ipLabel")->text(), "Start IP Address:");
    fill("10.1.1.253", "255.0.0.0", "10.1.1.1", "8000");
    SaveScreenshot(*page, QStringLiteral("network-settings-checked"));
    AnswerMessagesWith(true);
    modify();
    EXPECT_TRUE(services.requests.empty()) << "in checked mode Modify waits for the timer";
    ticks(50);
    modify();
    ASSERT_EQ(services.requests.size(), 3u);
    EXPECT_STREQ(services.requests[0].IpAddr, "10.1.1.253");
    EXPECT_STREQ(services.requests[1].IpAddr, "10.1.1.254");
    EXPECT_STREQ(services.requests[2].DevName, "Cam 3") << "each camera keeps its name";

    // With Same IP every checked camera gets the same address.
    services.requests.clear();
    QTest::mouseClick(child<QCheckBox>("sameIp"), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_EQ(child<QLabel>("ipLabel")->text(), "IP Address:");
    fill("10.1.1.9", "255.0.0.0", "10.1.1.1", "8000");
    ticks(50);
    modify();
    ASSERT_EQ(services.requests.size(), 3u);
    for (const auto& r : services.requests) {
        EXPECT_STREQ(r.IpAddr, "10.1.1.9");
    }
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(messages.value(1), "IP Address, Netmask, Gateway, HTTP Port will change on 3 "
                                 "cameras. Go on?");
}

TEST_F(SearchDlgTest, CheckedModifyKeepsEachCamerasOwnValuesWhereFieldsStayEmpty) {
    // Factory cameras serve on port 80, each with its own gateway.
    for (int i = 1; i <= 3; ++i) {
        tagQvIpcInfo camera = Camera(static_cast<unsigned char>(i),
                                     ("192.168.1." + std::to_string(10 + i)).c_str(), "Cam");
        camera.HttpPort = 80;
        std::snprintf(camera.Gateway, sizeof camera.Gateway, "192.168.1.%d", 250 + i);
        deliver(camera);
    }
    QTest::mouseClick(child<QCheckBox>("selectAll"), Qt::LeftButton);
    WaitForJobs(jobs);
    ticks(50);
    AnswerMessagesWith(true);
    fill("10.1.1.20", "", "", "");
    modify();
    EXPECT_EQ(messages, QStringList{"Start IP Address will change on 3 cameras. Go on?"});
    ASSERT_EQ(services.requests.size(), 3u);
    EXPECT_EQ(services.requests[2].HttpPort, 80) << "an empty port keeps the camera's";
    EXPECT_STREQ(services.requests[2].Gateway, "192.168.1.253");
    EXPECT_STREQ(services.requests[2].IpAddr, "10.1.1.22");
    answerAtNewAddresses();

    // A port that does not change is never refused; one that changes is
    // held to 1024-65535.
    services.requests.clear();
    messages.clear();
    ticks(50);
    fill("10.1.1.30", "", "", "80");
    modify();
    EXPECT_EQ(services.requests.size(), 3u);
    answerAtNewAddresses();
    services.requests.clear();
    messages.clear();
    ticks(50);
    fill("10.1.1.40", "", "", "81");
    modify();
    EXPECT_EQ(messages, QStringList{"Please input the port between 1024 and 65535."});
    EXPECT_TRUE(services.requests.empty());
}

TEST_F(SearchDlgTest, UncheckingTheLastCameraLeavesCheckedMode) {
    addCameras(2);
    clickCell(1, 0);
    EXPECT_TRUE(page->IsCheckedMode());
    clickCell(1, 0);
    EXPECT_FALSE(page->IsCheckedMode());
    EXPECT_TRUE(edit("deviceNameEdit")->isVisible());
    EXPECT_FALSE(child<QCheckBox>("sameIp")->isVisible());

    // A double-click checks the camera and offers its web page.
    auto* list = page->DeviceListCtrl();
    DoubleClick(list->viewport(), list->visualRect(list->model()->index(1, 3)).center());
    WaitForJobs(jobs);
    EXPECT_TRUE(list->GetCheck(1));
    EXPECT_TRUE(page->IsCheckedMode());
    EXPECT_EQ(openedUrls, QStringList{"http://192.168.1.12"});
}

TEST_F(SearchDlgTest, LongDeviceNamesAreCutWithinASecondToWhatTheirFieldTakes) {
    addCameras(1);
    clickCell(0, 2);
    // Two UTF-8 bytes each: 40 bytes, of which the name field takes 30.
    edit("deviceNameEdit")->setText(QString(20, QChar(0xE9)));
    ticks(10);
    EXPECT_EQ(edit("deviceNameEdit")->text(), QString(15, QChar(0xE9)));
    EXPECT_EQ(edit("deviceNameEdit")->cursorPosition(), 15);
}

TEST(NameEdit, DropsTypedSeparatorsButTakesPastedText) {
    orv::ui::CNameEdit name;
    QTest::keyClicks(&name, QStringLiteral("a;b=c'd+e"));
    EXPECT_EQ(name.text(), "abcde");
    name.clear();
    name.insert(QStringLiteral("x;y"));
    EXPECT_EQ(name.text(), "x;y");
    for (char16_t c : {u';', u'\uFF1B', u'=', u'\'', u'\u3001', u'\u2018', u'\u2019', u'+'}) {
        EXPECT_TRUE(orv::ui::CNameEdit::IsRefusedCharacter(QChar(c)));
    }
    EXPECT_FALSE(orv::ui::CNameEdit::IsRefusedCharacter(QChar(u'-')));
}

TEST_F(SearchDlgTest, AnExportedListEditedIntoAPlanChangesOnlyItsMatchedCameras) {
    addCameras(3);
    SaveScreenshot(*page, QStringLiteral("network-settings"));
    TempDir files;
    std::string chosen = (files.path() / "list.csv").string();
    orv::ui::SetFileDialogAnswer(
        [&](const QString&, bool) { return QStringList{QString::fromStdString(chosen)}; });
    page->findChild<QAction*>(QStringLiteral("exportListAction"))->trigger();
    const std::string list = files.read("list.csv");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 4) << list;
    EXPECT_NE(list.find("Cam 2,02:4F:56:10:00:02,192.168.1.12,"), std::string::npos) << list;

    // The installer's edit: camera 1 moves and is renamed, camera 2 asks for
    // camera 3's address, and a camera the list does not have.
    files.write("plan.csv", "mac;ip;name\n02:4f:56:10:00:01;192.168.1.51;Gate\n"
                            "02:4f:56:10:00:02;192.168.1.13;\n02:4f:56:10:00:09;192.168.1.60;\n");
    chosen = (files.path() / "plan.csv").string();
    QString summary;
    CAddressPlanDlg::SetReviewAnswer([&](CAddressPlanDlg& dialog) {
        summary = dialog.Summary()->text();
        SaveScreenshot(dialog, QStringLiteral("address-plan"));
        return true;
    });
    page->findChild<QAction*>(QStringLiteral("importPlanAction"))->trigger();
    EXPECT_EQ(summary, "1 matched, 1 missing, 1 conflicting; Apply changes 1 cameras.");
    ASSERT_EQ(services.requests.size(), 1u);
    EXPECT_STREQ(services.requests[0].IpAddr, "192.168.1.51");
    EXPECT_STREQ(services.requests[0].DevName, "Gate");
    EXPECT_EQ(services.requests[0].Mac[5], 1);
    page->OnModifyDone(Found(services.requests[0]));
    WaitForJobs(jobs);

    // A faulty plan names its line and field and sends nothing.
    files.write("plan.csv", "mac,ip\n02:4f:56:10:00:01,300.1.1.1\n");
    page->findChild<QAction*>(QStringLiteral("importPlanAction"))->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("plan.csv:2: ip")) << messages[0].toStdString();
    EXPECT_EQ(services.requests.size(), 1u);
    CAddressPlanDlg::SetReviewAnswer(nullptr);
    orv::ui::SetFileDialogAnswer(nullptr);
}
