// The Video/Image sub-page inside the Batch Set page, against cameras of all
// five model classes on loopback: the lists each camera gets, the 5M and 3M
// rules, 50/60 Hz frame rates, MJPEG, the records a save sends and the
// reference camera of a checked set.

#include "DeviceRecords.h"
#include "GuiTestBase.h"
#include "RecordingDriver.h"
#include "RecordingServices.h"
#include "TestCameras.h"

#include "pages/batchset/BatchSetDlg.h"
#include "pages/batchset/VideoImageDlg.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <cstring>

using namespace std::chrono_literals;

namespace {

// Lab camera i has model kModels[i]; list row i is camera i (sorted by IP).
constexpr const char* kModels[] = {"QV-N3651", "QV-N3300", "QV-N3951", "QV-N3476", "QV-N2610"};
constexpr int kClass3 = 0;
constexpr int kClass5 = 1;
constexpr int kClass1 = 2;
constexpr int kClass4 = 3;
constexpr int kClass2 = 4;

QStringList items(const QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        out << list->itemText(i);
    }
    return out;
}

class VideoImageDlgTest : public GuiTestBase {
protected:
    testcams::Lab lab{5};
    RecordingServices services;
    RecordingDriver driver;
    orv::jobs::CJobEngine jobs{driver.Set()};
    std::unique_ptr<CBatchSetDlg> page;

    void SetUp() override {
        GuiTestBase::SetUp();
        for (int i = 0; i < 5; ++i) {
            camsim::CameraIdentity identity = lab.host.snapshot(lab.key(i))->identity;
            identity.model = kModels[i];
            lab.host.add(identity);
        }
        AnswerMessagesWith(true);
        page = std::make_unique<CBatchSetDlg>(services, jobs);
        page->resize(1000, 600);
        page->show();
        in<QTabWidget>(page.get(), "batchSubPages")->setCurrentIndex(2);
        for (int i = 0; i < 5; ++i) {
            tagQvIpcInfo r = Camera(static_cast<unsigned char>(0xb0 + i), lab.ip(i).c_str(),
                                    ("Cam" + std::to_string(i)).c_str(), kModels[i]);
            r.HttpPort = lab.port();
            page->OnDevicesFound({Found(r)});
        }
    }
    void TearDown() override {
        page.reset();
        GuiTestBase::TearDown();
    }

    CVideoImageDlg* video() { return dynamic_cast<CVideoImageDlg*>(page->VideoImagePage()); }
    template <class T>
    T* in(QWidget* parent, const char* name) {
        T* child = parent->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QComboBox* list(const char* name) { return in<QComboBox>(video(), name); }
    QLineEdit* edit(const char* name) { return in<QLineEdit>(video(), name); }
    QCheckBox* enable() { return in<QCheckBox>(video(), "secondaryEnable"); }
    // A choice made by the user, so the rules bound to it run.
    void choose(const char* name, const QString& text) {
        QComboBox* combo = list(name);
        const int index = combo->findText(text);
        ASSERT_GE(index, 0) << name << " has no " << text.toStdString();
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    void clickCell(int row, int column) {
        auto* view = page->DeviceListCtrl();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(view->model()->index(row, column)).center());
        WaitForJobs(jobs);
    }
    void load(int camera) { clickCell(camera, 2); }
    // A check by the user, and the read that follows once the click is over.
    void check(int row) {
        clickCell(row, 0);
        QCoreApplication::processEvents();
    }
    void save() {
        QTest::mouseClick(in<QPushButton>(video(), "saveButton"), Qt::LeftButton);
        WaitForJobs(jobs);
    }

    // Puts a stream into the camera as another tool would.
    void setStream(int camera, int stream, int frameSize, int enabled = 1, int codec = 0,
                   int frameRate = 25, int bitRate = 0) {
        const int h = lab.login(camera);
        QvVideoConfig r{};
        r.stream = static_cast<uint8_t>(stream);
        ASSERT_EQ(Qv_Ipc_GetVideoConfig(h, &r), 0);
        r.enabled = static_cast<uint8_t>(enabled);
        r.codec = static_cast<uint8_t>(codec);
        r.frameSize = frameSize;
        r.frameRate = frameRate;
        if (bitRate != 0) {
            r.bitRate = bitRate;
        }
        ASSERT_EQ(Qv_Ipc_SetVideoConfig(h, &r), 0);
    }
    void setFrequency(int camera, int frequency) {
        const int h = lab.login(camera);
        QvImagingConfig r{};
        ASSERT_EQ(Qv_Ipc_GetImagingConfig(h, &r), 0);
        r.powerLineFrequency = frequency;
        ASSERT_EQ(Qv_Ipc_SetImagingConfig(h, &r), 0);
    }
    nlohmann::json stream(int camera, int index) {
        return lab.host.snapshot(lab.key(camera))->config["streams"][index];
    }
    std::vector<std::string> setCalls() const {
        std::vector<std::string> out;
        for (const auto& call : driver.Calls()) {
            if (call.name.rfind("Set", 0) == 0) {
                out.push_back(call.name);
            }
        }
        return out;
    }
};

} // namespace

TEST_F(VideoImageDlgTest, BeforeAnyCameraEverySizeIsOfferedWithTheStartSelections) {
    EXPECT_EQ(items(list("primarySizeList")).size(), 7);
    EXPECT_EQ(list("primarySizeList")->currentText(), "720P(1280*720)");
    EXPECT_EQ(list("primaryRateList")->currentText(), "30");
    EXPECT_EQ(list("primaryBitRateList")->currentText(), "4096");
    EXPECT_EQ(list("secondaryBitRateList")->currentText(), "512");
    EXPECT_EQ(list("powerLineList")->currentText(), "50HZ");
    EXPECT_EQ(edit("primaryIFrameEdit")->text(), "20");
    EXPECT_EQ(edit("secondaryIFrameEdit")->text(), "30");
    EXPECT_FALSE(list("primaryCodecList")->isEnabled());
    EXPECT_FALSE(enable()->isChecked());
    EXPECT_FALSE(list("secondarySizeList")->isEnabled()) << "the secondary stream starts off";
    EXPECT_FALSE(in<QPushButton>(video(), "saveButton")->isEnabled());
    EXPECT_EQ(video()->KeptPowerLineFrequency(), 50);
}

TEST_F(VideoImageDlgTest, EachModelClassGetsItsPrimaryListFromARealLoad) {
    setStream(kClass1, 1, 6); // D1, the second entry of class 1
    struct Case {
        int camera;
        QStringList sizes;
        QString selected;
        int bitRates;
    };
    const QStringList all{"5M(2560*1920)",  "3M(2048*1536)",  "1080P(1920*1080)", "2M(1600*1200)",
                          "1.3M(1280*960)", "720P(1280*720)", "D1(704*576)"};
    for (const Case& c : {Case{kClass1, all.mid(5), "D1(704*576)", 13},
                          Case{kClass3, all.mid(2), "720P(1280*720)", 13},
                          Case{kClass5, all, "720P(1280*720)", 11}}) {
        driver.Clear();
        load(c.camera);
        EXPECT_EQ(items(list("primarySizeList")), c.sizes) << kModels[c.camera];
        EXPECT_EQ(list("primarySizeList")->currentText(), c.selected) << kModels[c.camera];
        EXPECT_EQ(list("primaryBitRateList")->count(), c.bitRates) << kModels[c.camera];
        EXPECT_EQ(list("primaryBitRateList")->currentText(), "4096");
        EXPECT_EQ(video()->KeptModel(), kModels[c.camera]);
    }
}

TEST_F(VideoImageDlgTest, FiveMegapixelSwitchesTheSecondaryStreamOffAndLocksIt) {
    setStream(kClass5, 1, 0, 1, 0, 8, 6144);
    setStream(kClass5, 0, 1, 1);
    load(kClass5);
    EXPECT_EQ(list("primarySizeList")->currentText(), "5M(2560*1920)");
    EXPECT_EQ(items(list("primaryRateList")), QStringList{"8"});
    EXPECT_FALSE(enable()->isChecked()) << "the camera said on; 5M wins";
    EXPECT_FALSE(enable()->isEnabled());
    for (const char* name : {"secondaryCodecList", "secondarySizeList", "secondaryRateList",
                             "secondaryBitRateList", "secondaryControlList"}) {
        EXPECT_FALSE(list(name)->isEnabled()) << name;
    }
    EXPECT_FALSE(edit("secondaryIFrameEdit")->isEnabled());

    save();
    EXPECT_EQ(services.lines.size(), 3);
    EXPECT_EQ(stream(kClass5, 1)["frameSize"], 0);
    EXPECT_EQ(stream(kClass5, 1)["frameRate"], 0) << "50 Hz: the camera picks the rate";
    EXPECT_EQ(stream(kClass5, 1)["bitRate"], 6144);
    EXPECT_EQ(stream(kClass5, 0)["enabled"], false);

    // Another size frees the check box but leaves it off.
    choose("primarySizeList", "1080P(1920*1080)");
    EXPECT_TRUE(enable()->isEnabled());
    EXPECT_FALSE(enable()->isChecked());
    EXPECT_EQ(items(list("primaryRateList")), (QStringList{"25", "15", "8"}));
}

TEST_F(VideoImageDlgTest, ThreeMegapixelOffers15And8AndForcesTheSmallestH264Secondary) {
    setStream(kClass4, 1, 1, 1, 0, 15);
    setStream(kClass4, 0, 3, 1, 2); // MJPEG "320*240"
    load(kClass4);
    EXPECT_EQ(list("primarySizeList")->currentText(), "3M(2048*1536)");
    EXPECT_EQ(items(list("primaryRateList")), (QStringList{"15", "8"}));
    EXPECT_EQ(items(list("secondarySizeList")), QStringList{"176*144"});
    EXPECT_EQ(list("secondaryCodecList")->currentText(), "H.264");
    EXPECT_FALSE(list("secondaryCodecList")->isEnabled());
    EXPECT_TRUE(enable()->isChecked());
    EXPECT_TRUE(list("secondaryBitRateList")->isEnabled()) << "H.264 has a bit rate";

    save();
    EXPECT_EQ(stream(kClass4, 1)["frameSize"], 1);
    EXPECT_EQ(stream(kClass4, 1)["frameRate"], 0);
    EXPECT_EQ(stream(kClass4, 0)["frameSize"], 2);
    EXPECT_EQ(stream(kClass4, 0)["codec"], 0);

    // Leaving 3M brings the normal secondary sizes back on the one shown
    // before, and the codec back to the user.
    choose("primarySizeList", "1080P(1920*1080)");
    EXPECT_EQ(items(list("secondarySizeList")),
              (QStringList{"640*480", "640*368", "320*240", "320*192"}));
    EXPECT_EQ(list("secondarySizeList")->currentText(), "320*240");
    EXPECT_TRUE(list("secondaryCodecList")->isEnabled());
    EXPECT_EQ(items(list("primaryRateList")), (QStringList{"25", "15", "8"}));
}

TEST_F(VideoImageDlgTest, FrameRateListsFollowTheMainsFrequency) {
    setFrequency(kClass2, 60);
    setStream(kClass2, 1, 4, 1, 0, 30);
    setStream(kClass2, 0, 0, 1, 0, 15);
    load(kClass2);
    EXPECT_EQ(video()->KeptPowerLineFrequency(), 60);
    EXPECT_EQ(items(list("primaryRateList")), (QStringList{"30", "25", "15", "8"}));
    EXPECT_EQ(items(list("secondaryRateList")), (QStringList{"30", "25", "15", "8"}));
    EXPECT_EQ(list("primaryRateList")->currentText(), "30");
    EXPECT_EQ(list("secondaryRateList")->currentText(), "15");

    // The Power Line Frequency list is a setting to send, not the lists' basis.
    choose("powerLineList", "50HZ");
    choose("primarySizeList", "D1(704*576)");
    EXPECT_EQ(items(list("primaryRateList")), (QStringList{"30", "25", "15", "8"}));
}

TEST_F(VideoImageDlgTest, ValuesWithoutAMatchingEntryAreSentBackAsTheCameraHasThem) {
    setStream(kClass1, 1, 5, 1, 0, 20, 3000);
    load(kClass1);
    EXPECT_EQ(list("primaryRateList")->currentText(), "25") << "stays on the rule's first entry";
    EXPECT_EQ(list("primaryBitRateList")->currentIndex(), -1);
    save();
    EXPECT_EQ(stream(kClass1, 1)["frameRate"], 25);
    EXPECT_EQ(stream(kClass1, 1)["bitRate"], 3000);
}

TEST_F(VideoImageDlgTest, MjpegDisablesTheSecondaryBitRateFieldsButTheirValuesAreSent) {
    setStream(kClass3, 0, 0, 1, 0);
    load(kClass3);
    ASSERT_TRUE(enable()->isChecked());
    list("secondaryBitRateList")->setCurrentIndex(list("secondaryBitRateList")->findText("768"));
    list("secondaryControlList")->setCurrentIndex(0);
    choose("secondaryCodecList", "MJPEG");
    EXPECT_FALSE(list("secondaryBitRateList")->isEnabled());
    EXPECT_FALSE(list("secondaryControlList")->isEnabled());
    EXPECT_TRUE(list("secondarySizeList")->isEnabled());
    // The Enable rule keeps MJPEG's fields off when the stream comes back on.
    QTest::mouseClick(enable(), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_FALSE(list("secondarySizeList")->isEnabled());
    QTest::mouseClick(enable(), Qt::LeftButton);
    WaitForJobs(jobs);
    EXPECT_TRUE(list("secondarySizeList")->isEnabled());
    EXPECT_FALSE(list("secondaryBitRateList")->isEnabled());

    save();
    EXPECT_EQ(stream(kClass3, 0)["codec"], 2);
    EXPECT_EQ(stream(kClass3, 0)["bitRate"], 768);
    EXPECT_EQ(stream(kClass3, 0)["bitRateControl"], 0);
    choose("secondaryCodecList", "MPEG4");
    EXPECT_TRUE(list("secondaryBitRateList")->isEnabled());
}

TEST_F(VideoImageDlgTest, SaveSendsImagingThenPrimaryThenSecondaryByteForByte) {
    // Options of the Video Previews page that a save here must not touch.
    QvImagingConfig before{};
    {
        const int h = lab.login(kClass3);
        ASSERT_EQ(Qv_Ipc_GetImagingConfig(h, &before), 0);
        before.irCutMode = 1;
        before.exposureLevel = 7;
        before.maxExposureTime = 3;
        before.powerLineFrequency = 60;
        ASSERT_EQ(Qv_Ipc_SetImagingConfig(h, &before), 0);
    }
    load(kClass3);
    driver.Clear();
    choose("powerLineList", "50HZ");
    choose("outdoorList", "Indoor");
    choose("localDisplayList", "PAL");
    choose("primarySizeList", "2M(1600*1200)");
    choose("primaryRateList", "15");
    choose("primaryBitRateList", "8192");
    choose("primaryControlList", "CBR");
    edit("primaryIFrameEdit")->setText("45");
    QTest::mouseClick(enable(), Qt::LeftButton);
    WaitForJobs(jobs);
    choose("secondaryCodecList", "MPEG4");
    choose("secondarySizeList", "320*192");
    choose("secondaryRateList", "8");
    choose("secondaryBitRateList", "1024");
    choose("secondaryControlList", "CBR");
    edit("secondaryIFrameEdit")->setText(" 9");
    save();

    EXPECT_EQ(setCalls(),
              (std::vector<std::string>{"SetImagingConfig", "SetVideoConfig", "SetVideoConfig"}));
    QvImagingConfig imaging = before;
    imaging.powerLineFrequency = 50;
    imaging.outdoorMode = 1;
    imaging.localDisplay = 2;
    EXPECT_EQ(std::memcmp(&driver.lastImaging, &imaging, sizeof imaging), 0);

    ASSERT_EQ(driver.sentStreams.size(), 2u);
    QvVideoConfig primary{};
    primary.stream = 1;
    primary.frameSize = 3;
    primary.frameRate = 15;
    primary.bitRate = 8192;
    primary.bitRateControl = 0;
    primary.iFrameInterval = 45;
    primary.deviceTag = 0x51A70001; // the camera's own, read just before
    EXPECT_EQ(std::memcmp(&driver.sentStreams[0], &primary, sizeof primary), 0);
    QvVideoConfig secondary{};
    secondary.stream = 0;
    secondary.enabled = 1;
    secondary.codec = 1;
    secondary.frameSize = 4;
    secondary.frameRate = 8;
    secondary.bitRate = 1024;
    secondary.iFrameInterval = 9;
    secondary.deviceTag = 0x51A70000;
    EXPECT_EQ(std::memcmp(&driver.sentStreams[1], &secondary, sizeof secondary), 0);

    // A second load shows what was saved.
    load(kClass2);
    load(kClass3);
    EXPECT_EQ(list("primarySizeList")->currentText(), "2M(1600*1200)");
    EXPECT_EQ(list("secondarySizeList")->currentText(), "320*192");
    EXPECT_EQ(list("localDisplayList")->currentText(), "PAL");
}

TEST_F(VideoImageDlgTest, AnEmptyIFrameFieldStopsTheSave) {
    load(kClass3);
    driver.Clear();
    edit("secondaryIFrameEdit")->setText(" ");
    save();
    EXPECT_EQ(messages, QStringList{"I-frame Field can't be empty."});
    EXPECT_TRUE(driver.Calls().empty());
}

TEST_F(VideoImageDlgTest, ACheckedSetTakesItsStreamListsFromItsMostLimitedCamera) {
    setStream(kClass1, 1, 6);
    setFrequency(kClass1, 60); // a checked set is shown at 50 Hz whatever the camera says
    driver.Clear();
    check(kClass3);
    ASSERT_TRUE(page->IsCheckedMode());
    ASSERT_EQ(driver.Calls("Login").size(), 1u);
    EXPECT_EQ(driver.Calls("Login")[0].ip, lab.ip(kClass3));
    EXPECT_EQ(list("primarySizeList")->count(), 5);

    driver.Clear();
    check(kClass1); // class 1 below the class-3 camera in the list
    std::vector<std::string> names;
    for (const auto& call : driver.Calls()) {
        names.push_back(call.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Login", "GetVideoConfig", "GetVideoConfig"}));
    ASSERT_EQ(driver.Calls("Login").size(), 1u);
    EXPECT_EQ(driver.Calls("Login")[0].ip, lab.ip(kClass1));
    EXPECT_EQ(items(list("primarySizeList")), (QStringList{"720P(1280*720)", "D1(704*576)"}));
    EXPECT_EQ(list("primarySizeList")->currentText(), "D1(704*576)");
    EXPECT_EQ(items(list("primaryRateList")), (QStringList{"25", "15", "8"}));
    EXPECT_EQ(video()->KeptPowerLineFrequency(), 50);

    check(kClass5); // the class-1 camera still speaks for the set

    // One save reaches all three, every camera with its own tag; what was
    // not touched stays each camera's own (the class-1 camera keeps its
    // primary frame rate and bit rate, every camera its secondary stream).
    const nlohmann::json ownPrimary = stream(kClass1, 1);
    const auto secondaryOf = [&](int camera) {
        QvVideoConfig r{};
        r.stream = 0;
        EXPECT_EQ(Qv_Ipc_GetVideoConfig(lab.login(camera), &r), 0);
        return std::vector<int>{r.enabled, r.codec, r.frameSize, r.frameRate, r.bitRate};
    };
    {
        // The class-5 camera's secondary stream differs from the reference
        // camera's.
        QvVideoConfig own{};
        own.stream = 0;
        ASSERT_EQ(Qv_Ipc_GetVideoConfig(lab.login(kClass5), &own), 0);
        own.enabled = 1;
        own.frameRate = 10;
        own.bitRate = 128;
        ASSERT_EQ(Qv_Ipc_SetVideoConfig(lab.login(kClass5), &own), 0);
    }
    const std::vector<int> ownSecondary = secondaryOf(kClass5);
    ASSERT_NE(ownSecondary, secondaryOf(kClass1));
    messages.clear();
    choose("primarySizeList", "720P(1280*720)");
    save();
    EXPECT_EQ(messages, QStringList{"Primary Stream Settings will change on 3 cameras. Go on?"});
    EXPECT_EQ(services.lines, QStringList{"Modify Video Stream: 3 succeeded, 0 failed."});
    for (int camera : {kClass3, kClass1, kClass5}) {
        EXPECT_EQ(stream(camera, 1)["frameSize"], 5) << kModels[camera];
    }
    EXPECT_EQ(stream(kClass1, 1)["bitRate"], ownPrimary["bitRate"]);
    EXPECT_EQ(stream(kClass1, 1)["iFrameInterval"], ownPrimary["iFrameInterval"]);
    EXPECT_EQ(secondaryOf(kClass5), ownSecondary);
    EXPECT_FALSE(lab.host.snapshot(lab.key(kClass2))->config.contains("streams"))
        << "an unchecked camera is neither read nor written";
    EXPECT_EQ(driver.Calls("SetVideoConfig").size(), 3u);
    EXPECT_TRUE(driver.Calls("SetImagingConfig").empty()) << "the image options were not touched";

    // Nothing touched since: nothing is sent.
    driver.Clear();
    messages.clear();
    save();
    EXPECT_EQ(messages, QStringList{"Nothing was changed: every camera keeps its own settings."});
    EXPECT_TRUE(setCalls().empty());
}

TEST_F(VideoImageDlgTest, AnUnreadableReferenceCameraBlocksTheSaveAndRefusalsAreReported) {
    load(kClass3);
    lab.server.setFaults(lab.key(kClass1), camsim::FaultPlan{.failCall = "stream.get"});
    check(kClass3);
    check(kClass1); // the reference camera of the set, whose streams cannot be read
    driver.Clear();
    save();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QString::fromStdString(lab.ip(kClass1))))
        << messages[0].toStdString();
    EXPECT_TRUE(driver.Calls("SetVideoConfig").empty()) << "nothing shown for this set is sent";

    lab.server.clearFaults(lab.key(kClass1));
    lab.server.setFaults(lab.key(kClass3), camsim::FaultPlan{.refuseCall = "stream.set"});
    check(kClass5); // the set changes: its reference is read again
    choose("localDisplayList", "PAL");
    choose("secondaryRateList", "8");
    save();
    EXPECT_EQ(services.lines, (QStringList{"Modify Image: 3 succeeded, 0 failed.",
                                           "Modify Video Stream: 2 succeeded, 1 failed."}));
}
