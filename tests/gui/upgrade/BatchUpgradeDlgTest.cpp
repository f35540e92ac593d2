// The Batch Upgrade page against virtual cameras on loopback: the family
// filter with Select All, the checked-set checks, Browse with the size
// limit, single and checked-mode upgrades.

#include "DeviceRecords.h"
#include "GuiTestBase.h"
#include "RecordingDriver.h"
#include "RecordingServices.h"
#include "TestCameras.h"

#include "pages/common/JobPanel.h"
#include "pages/upgrade/BatchUpgradeDlg.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

#include <cstdio>
#include <cstring>
#include <fstream>

#include <unistd.h>

namespace {

// A file of `size` bytes without writing them (a hole reads as zeros).
std::string sparseFile(const TempDir& dir, const std::string& name, off_t size) {
    const std::string path = (dir.path() / name).string();
    std::ofstream(path, std::ios::binary).flush();
    EXPECT_EQ(::truncate(path.c_str(), size), 0);
    return path;
}

class BatchUpgradeDlgTest : public GuiTestBase {
protected:
    testcams::Lab lab{4};
    RecordingServices services;
    RecordingDriver driver;
    orv::jobs::CJobEngine jobs{driver.Set()};
    std::unique_ptr<CBatchUpgradeDlg> page;
    TempDir files;

    void SetUp() override {
        GuiTestBase::SetUp();
        page = std::make_unique<CBatchUpgradeDlg>(services, jobs);
        page->resize(1000, 600);
        page->show();
        AnswerMessagesWith(true);
        AnswerFileDialogs(false);
    }
    void TearDown() override {
        page.reset();
        GuiTestBase::TearDown();
    }

    tagQvIpcInfo camera(int i, const char* version = "13.1.0.5") const {
        tagQvIpcInfo r = Camera(static_cast<unsigned char>(0xa0 + i), lab.ip(i).c_str(),
                                ("Cam" + std::to_string(i)).c_str(), testcams::kModel);
        std::snprintf(r.Version, sizeof r.Version, "%s", version);
        r.HttpPort = lab.port();
        return r;
    }
    void deliver(const tagQvIpcInfo& record) { page->OnDevicesFound({Found(record)}); }
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
    void check(int camera) { clickCell(rowOf(lab.ip(camera)), 0); }
    void select(int camera) { clickCell(rowOf(lab.ip(camera)), 2); }
    template <class T>
    T* child(const char* name) {
        T* c = page->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QPushButton* upgradeButton() { return child<QPushButton>("upgradeButton"); }
    QLabel* label() { return child<QLabel>("messageLabel"); }
    void upgrade() {
        QTest::mouseClick(upgradeButton(), Qt::LeftButton);
        WaitForJobs(jobs);
    }
    QString line(int i, const char* outcome) const {
        const tagQvIpcInfo r = camera(i);
        return QString::asprintf("[%.2X:%.2X:%.2X:%.2X:%.2X:%.2X] %s Upgrade %s", r.Mac[0],
                                 r.Mac[1], r.Mac[2], r.Mac[3], r.Mac[4], r.Mac[5], r.IpAddr,
                                 outcome);
    }
    void setPath(const std::string& path) {
        child<QLineEdit>("firmwarePathEdit")->setText(QString::fromStdString(path));
    }
    std::string image(const char* name, const std::string& bytes = "QVFW:13.7.0.1\nbody") {
        files.write(name, bytes);
        return (files.path() / name).string();
    }
};

} // namespace

TEST_F(BatchUpgradeDlgTest, FamilyFilterWithSelectAllKeepsOneFamilyChecked) {
    deliver(camera(0, "12.0.4.3"));
    deliver(camera(1, "13.1.0.5"));
    deliver(camera(2, "12.2.0.1"));
    deliver(camera(3, "21.0.0.9"));
    auto* list = page->DeviceListCtrl();
    EXPECT_EQ(list->GetItemText(0, 9), "12.0.4.3") << "the list is sorted by version";
    EXPECT_EQ(list->GetItemText(3, 9), "21.0.0.9");

    auto* filter = child<QComboBox>("familyFilter");
    ASSERT_EQ(filter->count(), 7);
    EXPECT_EQ(filter->currentIndex(), 0);
    filter->setCurrentIndex(2);
    EXPECT_FALSE(page->IsCheckedMode()) << "the filter never checks a row by itself";
    QTest::mouseClick(child<QCheckBox>("selectAll"), Qt::LeftButton);
    WaitForJobs(jobs);
    std::vector<bool> checks;
    for (int row = 0; row < list->GetItemCount(); ++row) {
        checks.push_back(list->GetCheck(row));
    }
    EXPECT_EQ(checks, (std::vector<bool>{true, true, false, false}));
    EXPECT_TRUE(page->IsCheckedMode());
    EXPECT_FALSE(label()->isVisible());
    EXPECT_TRUE(upgradeButton()->isEnabled());

    // A family none of the checked rows belongs to ends checked mode.
    filter->setCurrentIndex(4);
    EXPECT_FALSE(page->IsCheckedMode());
    // Entry 0 with Select All checks everything again: two families, so the
    // model test objects.
    filter->setCurrentIndex(0);
    QTest::mouseClick(child<QCheckBox>("selectAll"), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_TRUE(label()->isVisible());
    EXPECT_EQ(label()->text(), "The model of devices is unmatched.");
    EXPECT_FALSE(upgradeButton()->isEnabled());
    SaveScreenshot(*page, QStringLiteral("batch-upgrade-page"));
}

TEST_F(BatchUpgradeDlgTest, CheckedSetValidatesVersionsAndAddresses) {
    deliver(camera(0, "13.1.0.5"));
    deliver(camera(1, "14.1.0.5"));
    deliver(camera(2, "13.2.0.1"));
    check(0);
    check(2);
    EXPECT_FALSE(label()->isVisible());
    EXPECT_TRUE(upgradeButton()->isEnabled());
    check(1);
    EXPECT_TRUE(label()->isVisible());
    EXPECT_EQ(label()->text(), "The model of devices is unmatched.");
    EXPECT_FALSE(upgradeButton()->isEnabled());
    check(1); // unchecked again: 13.1.0.5 and 13.2.0.1 validate

    // Another camera answering from camera 0's address: the checked camera
    // now conflicts with an unchecked one.
    tagQvIpcInfo twin = camera(3, "13.1.0.5");
    std::snprintf(twin.IpAddr, sizeof twin.IpAddr, "%s", lab.ip(0).c_str());
    deliver(twin);

    // A click on a row's texts clears its mark; with no mark left the row
    // becomes the current one, and its address conflict shows.
    select(2);
    EXPECT_TRUE(page->IsCheckedMode()) << "camera 0 is still checked";
    clickCell(rowOf(lab.ip(0)), 2);
    EXPECT_FALSE(page->IsCheckedMode());
    EXPECT_EQ(label()->text(), "Ip address conflict!Please modify IP at first!");
    EXPECT_TRUE(label()->isVisible());
    select(1);
    EXPECT_FALSE(label()->isVisible());
    EXPECT_TRUE(upgradeButton()->isEnabled());
}

TEST_F(BatchUpgradeDlgTest, BrowseRefusesImagesFromOneHundredAndOneMebibytesOn) {
    chosenFiles = {QString::fromStdString(image("QVFImage_21.bin"))};
    QTest::mouseClick(child<QPushButton>("browseButton"), Qt::LeftButton);
    EXPECT_EQ(child<QLineEdit>("firmwarePathEdit")->text(), chosenFiles.front());
    chosenFiles = {QString::fromStdString(sparseFile(files, "QVFImage_22.bin", 105906176))};
    QTest::mouseClick(child<QPushButton>("browseButton"), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_EQ(child<QLineEdit>("firmwarePathEdit")->text(), "");
    EXPECT_EQ(messages, QStringList{"File size is too big."});

    // Cancelling keeps the field.
    setPath("/kept");
    chosenFiles.clear();
    QTest::mouseClick(child<QPushButton>("browseButton"), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_EQ(child<QLineEdit>("firmwarePathEdit")->text(), "/kept");
}

TEST_F(BatchUpgradeDlgTest, SingleUpgradeWritesOneLineAndRefusesWhatDoesNotFit) {
    deliver(camera(0));
    deliver(camera(1));
    EXPECT_FALSE(upgradeButton()->isEnabled()) << "off until a camera is chosen";
    page->Upgrade();
    WaitForJobs(jobs);
    EXPECT_EQ(messages, QStringList{"Please select a fireware file."});
    messages.clear();

    setPath(image("QVFImage_21.bin"));
    page->Upgrade();
    WaitForJobs(jobs);
    EXPECT_EQ(messages, QStringList{"Please select one device."});
    messages.clear();

    select(1);
    ASSERT_TRUE(upgradeButton()->isEnabled());
    upgrade();
    EXPECT_EQ(services.lines, QStringList{line(1, "Succeed.")});
    EXPECT_EQ(lab.installedVersion(1), "13.7.0.1");
    EXPECT_EQ(lab.installedVersion(0), "");
    EXPECT_EQ(child<QProgressBar>("progressBar")->value(), 100);
    EXPECT_TRUE(child<QProgressBar>("progressBar")->isVisible());

    // A wrong password: the line says Failed.
    services.password = QStringLiteral("guess");
    setPath(image("QVFImage_21.bin"));
    upgrade();
    EXPECT_EQ(services.lines.back(), line(1, "Failed."));
}

TEST_F(BatchUpgradeDlgTest, CheckedBatchSkipsARefusedLoginWritesNoLinesAndFillsTheBar) {
    for (int i = 0; i < 4; ++i) {
        deliver(camera(i));
    }
    camsim::FaultPlan refuse;
    refuse.refuseCredentials = true;
    lab.server.setFaults(lab.key(1), refuse);
    for (int i = 0; i < 3; ++i) {
        check(i);
    }
    ASSERT_TRUE(page->IsCheckedMode());
    // No row is highlighted: the first checked camera is the reference.
    page->DeviceListCtrl()->clearSelection();
    ASSERT_EQ(page->DeviceListCtrl()->GetNextSelectedItem(-1), -1);
    setPath(image("QVFImage_21.bin"));
    upgrade();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(services.lines, QStringList{"Upgrade: 2 succeeded, 1 failed."})
        << "a batch writes its summary, not a line per camera";
    EXPECT_EQ(lab.installedVersion(0), "13.7.0.1");
    EXPECT_EQ(lab.installedVersion(1), "") << "its login was refused";
    EXPECT_EQ(lab.installedVersion(2), "13.7.0.1");
    EXPECT_EQ(lab.installedVersion(3), "") << "not checked";
    EXPECT_EQ(driver.Calls("Login").size(), 3u);
    EXPECT_EQ(driver.Uploads().size(), 2u);
    EXPECT_EQ(child<QProgressBar>("progressBar")->value(), 100);
}

// "Upgrade in waves": the first wave is one camera; when it fails and the
// stop is after one failure, no other camera is asked at all and each says
// why. The wave settings wait while the job runs.
TEST_F(BatchUpgradeDlgTest, AFailedFirstWaveLeavesEveryOtherCameraUntouched) {
    for (int i = 0; i < 4; ++i) {
        deliver(camera(i));
        lab.server.setFaults(lab.key(i), camsim::FaultPlan{.refuseCredentials = true});
    }
    for (int i = 0; i < 4; ++i) {
        check(i);
    }
    ASSERT_TRUE(page->IsCheckedMode());
    auto* waves = child<QCheckBox>("wavesCheck");
    EXPECT_FALSE(child<QSpinBox>("stopAfterFailures")->isEnabled()) << "only in waves";
    waves->click();
    child<QSpinBox>("secondWaveShare")->setValue(50);
    child<QSpinBox>("stopAfterFailures")->setValue(1);
    setPath(image("QVFImage_21.bin"));
    QTest::mouseClick(upgradeButton(), Qt::LeftButton);
    EXPECT_FALSE(waves->isEnabled()) << "while the job runs";
    WaitForJobs(jobs);
    EXPECT_TRUE(waves->isEnabled());

    EXPECT_EQ(driver.Calls("Login").size(), 1u) << "the first wave only";
    EXPECT_TRUE(driver.Uploads().empty());
    int notStarted = 0;
    for (const orv::jobs::OperationResult& r : page->JobPanel()->Results().Results()) {
        if (r.outcome == orv::jobs::Outcome::Cancelled) {
            EXPECT_EQ(orv::jobs::ReasonText(r),
                      "not started: the job stopped after 1 failed cameras");
            ++notStarted;
        } else {
            EXPECT_EQ(r.reason, orv::jobs::Reason::WrongCredentials);
        }
    }
    EXPECT_EQ(notStarted, 3);
}
