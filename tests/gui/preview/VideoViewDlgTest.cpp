// The Video Previews page against cameras on loopback, headless: what a
// selection reads, what the sliders, Default, Save and Cancel send, the
// lists, the login failure, and the keys the page swallows. Live video
// itself runs under a real X server in PlaybackTest.cpp.

#include "GuiTestBase.h"
#include "PreviewTestSupport.h"
#include "lang/Language.h"
#include "log/LogFile.h"

#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QSlider>

#include <fstream>
#include <sstream>

using namespace std::chrono_literals;

namespace {

class VideoViewDlgTest : public GuiTestBase {
protected:
    testcams::Lab lab{3};
    PreviewPage p;

    void SetUp() override {
        GuiTestBase::SetUp();
        Qv_Sdk_SetTimeouts(2500, 5000);
        p.Make();
        for (int i = 0; i < 3; ++i) {
            p.Deliver(lab, i);
        }
    }
    void TearDown() override {
        p.page.reset();
        GuiTestBase::TearDown();
    }
    template <class T>
    T* child(const char* name) {
        T* found = p.page->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QSlider* slider(const char* name) { return child<QSlider>(name); }
    QComboBox* list(const char* name) { return child<QComboBox>(name); }
    QPushButton* button(const char* name) { return child<QPushButton>(name); }
    void select(int camera) {
        p.ClickRow(p.RowOf(lab, camera));
        WaitForJobs(p.jobs);
    }
    // A choice made with the mouse: the list reports it as activated.
    void choose(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
};

TEST_F(VideoViewDlgTest, BeforeASelectionEverythingIsDisabledWithTheStartValues) {
    for (const char* name : {"brightness", "contrast", "saturation"}) {
        EXPECT_FALSE(slider(name)->isEnabled()) << name;
        EXPECT_EQ(slider(name)->maximum(), 100);
        EXPECT_EQ(slider(name)->pageStep(), 10);
    }
    for (const char* name : {"play", "save", "cancel", "default"}) {
        EXPECT_FALSE(button(name)->isEnabled()) << name;
    }
    EXPECT_EQ(list("exposureLevel")->currentText(), "5");
    EXPECT_EQ(list("maxExposureTime")->currentText(), "1/25");
    EXPECT_EQ(list("irCutMode")->currentText(), "Auto Mode");
    EXPECT_EQ(button("play")->text(), "Play");
    EXPECT_FALSE(p.page->LoggedIn());
    // Play without a current row does nothing.
    p.page->PlayOrStop();
    WaitForJobs(p.jobs);
    EXPECT_TRUE(p.driver.Calls("LivePlay").empty());
}

TEST_F(VideoViewDlgTest, SelectingACameraShowsItsPictureAndImagingValues) {
    EditCamera(lab, 1, [](nlohmann::json& c) {
        c["picture"] = {{"brightness", 255}, {"contrast", 50}, {"saturation", 128}};
        c["imaging"]["powerLineFrequency"] = 60;
        c["imaging"]["exposureLevel"] = 7;
        c["imaging"]["maxExposureTime"] = 1;
        c["imaging"]["irCutMode"] = 0;
    });
    select(1);
    EXPECT_TRUE(p.page->LoggedIn());
    EXPECT_EQ(slider("brightness")->value(), 100);
    EXPECT_EQ(slider("contrast")->value(), 19);
    EXPECT_EQ(slider("saturation")->value(), 50);
    EXPECT_EQ(slider("brightness")->toolTip(), "100");
    EXPECT_EQ(list("maxExposureTime")->itemText(1), "1/15");
    EXPECT_EQ(list("maxExposureTime")->itemText(2), "1/30");
    EXPECT_EQ(list("maxExposureTime")->currentText(), "1/15");
    EXPECT_EQ(list("exposureLevel")->currentText(), "7");
    EXPECT_EQ(list("irCutMode")->currentText(), "Night Mode");
    for (const char* name : {"play", "save", "default"}) {
        EXPECT_TRUE(button(name)->isEnabled()) << name;
    }
    EXPECT_FALSE(button("cancel")->isEnabled());
    // Showing the camera's values sent nothing back.
    EXPECT_TRUE(p.driver.Calls("SetImagingSettings").empty());

    // A camera at 50 Hz brings the other list back.
    select(0);
    EXPECT_EQ(list("maxExposureTime")->itemText(1), "1/10");
    EXPECT_EQ(list("maxExposureTime")->itemText(2), "1/25");
}

TEST_F(VideoViewDlgTest, ASliderMoveSendsItsFieldAndKeepsTheCamerasOthers) {
    EditCamera(lab, 0, [](nlohmann::json& c) { c["picture"]["brightness"] = 200; });
    select(0);
    ASSERT_EQ(slider("brightness")->value(), 78);
    // Someone else changed the contrast since the selection: a move of the
    // brightness slider keeps the camera's contrast, not the slider's.
    EditCamera(lab, 0, [](nlohmann::json& c) { c["picture"]["contrast"] = 77; });
    slider("brightness")->setFocus();
    slider("brightness")->setValue(50);
    WaitForJobs(p.jobs);
    auto picture = CameraConfig(lab, 0)["picture"];
    EXPECT_EQ(picture["brightness"], 127);
    EXPECT_EQ(picture["contrast"], 77);
    EXPECT_EQ(picture["saturation"], 128);

    // Default: 128 each, shown as 50.
    slider("contrast")->setValue(100);
    QTest::mouseClick(button("default"), Qt::LeftButton);
    WaitForJobs(p.jobs);
    picture = CameraConfig(lab, 0)["picture"];
    EXPECT_EQ(picture["brightness"], 128);
    EXPECT_EQ(picture["contrast"], 128);
    EXPECT_EQ(picture["saturation"], 128);
    for (const char* name : {"brightness", "contrast", "saturation"}) {
        EXPECT_EQ(slider(name)->value(), 50) << name;
    }
}

TEST_F(VideoViewDlgTest, SaveThenCancelWritesBackTheValuesReadAtSelection) {
    EditCamera(lab, 2, [](nlohmann::json& c) {
        c["imaging"]["irCutMode"] = 1;
        c["imaging"]["exposureLevel"] = 4;
    });
    select(2);
    const std::string deviceData = CameraConfig(lab, 2)["imaging"]["deviceData"];
    choose(list("irCutMode"), 0);
    choose(list("exposureLevel"), 9);
    EXPECT_TRUE(button("cancel")->isEnabled());
    // A list change alone sends nothing.
    EXPECT_EQ(CameraConfig(lab, 2)["imaging"]["irCutMode"], 1);

    QTest::mouseClick(button("save"), Qt::LeftButton);
    WaitForJobs(p.jobs);
    auto imaging = CameraConfig(lab, 2)["imaging"];
    EXPECT_EQ(imaging["irCutMode"], 0);
    EXPECT_EQ(imaging["exposureLevel"], 9);
    EXPECT_EQ(imaging["deviceData"], deviceData);

    QTest::mouseClick(button("cancel"), Qt::LeftButton);
    WaitForJobs(p.jobs);
    imaging = CameraConfig(lab, 2)["imaging"];
    EXPECT_EQ(imaging["irCutMode"], 1);
    EXPECT_EQ(imaging["exposureLevel"], 4);
    EXPECT_EQ(list("irCutMode")->currentText(), "Day Mode");
    EXPECT_EQ(list("exposureLevel")->currentText(), "4");
}

TEST_F(VideoViewDlgTest, CancelWithoutAnAnswerLeavesTheListsAsChosen) {
    select(0);
    choose(list("irCutMode"), 0);
    camsim::FaultPlan fault;
    fault.failCall = "imaging.get";
    lab.server.setFaults(lab.key(0), fault);
    QTest::mouseClick(button("cancel"), Qt::LeftButton);
    WaitForJobs(p.jobs);
    lab.server.clearFaults(lab.key(0));
    EXPECT_EQ(list("irCutMode")->currentText(), "Night Mode");
    EXPECT_EQ(CameraConfig(lab, 0)["imaging"]["irCutMode"], 2);
}

TEST_F(VideoViewDlgTest, ALoginFailureWritesOneLineAndSendsNothing) {
    select(0);
    ASSERT_EQ(slider("brightness")->value(), 50);
    p.services.password = QStringLiteral("wrong");
    select(1);
    EXPECT_FALSE(p.page->LoggedIn());
    ASSERT_EQ(p.services.lines.size(), 1);
    EXPECT_EQ(p.services.lines[0], orv::kLoginFailedLine);
    // The controls keep what they showed; moves and Default are ignored.
    EXPECT_EQ(slider("brightness")->value(), 50);
    slider("brightness")->setValue(90);
    QTest::mouseClick(button("default"), Qt::LeftButton);
    WaitForJobs(p.jobs);
    EXPECT_TRUE(p.driver.Calls("SetImagingSettings").empty());
    EXPECT_EQ(CameraConfig(lab, 1)["picture"]["brightness"], 128);
}

TEST_F(VideoViewDlgTest, AFailedPlayLogsTheSdkErrorAndStaysStopped) {
    // This camera names an RTSP port nobody listens on.
    EditCamera(lab, 0, [](nlohmann::json& c) { c["ports"]["rtsp1"] = testcams::freePort(); });
    select(0);
    QTest::mouseClick(button("play"), Qt::LeftButton);
    WaitForJobs(p.jobs);
    ASSERT_EQ(p.driver.Calls("LivePlay").size(), 1u);
    EXPECT_FALSE(p.page->IsPlaying());
    EXPECT_EQ(button("play")->text(), "Play");
    std::ifstream in(TheLogFile().CurrentPath());
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Last Error:"), std::string::npos);
}

TEST_F(VideoViewDlgTest, ALanguageChangeRebuildsTheIrCutListAndKeepsItsChoice) {
    select(0);
    choose(list("irCutMode"), 1);
    TheLanguage().SelectLanguage(L"Deutsch");
    p.page->SetLanguageText();
    EXPECT_EQ(list("irCutMode")->count(), 3);
    EXPECT_EQ(list("irCutMode")->currentIndex(), 1);
    EXPECT_EQ(list("irCutMode")->itemText(0), "Nachtmodus");
    EXPECT_EQ(button("play")->text(), "Abspielen");
}

TEST_F(VideoViewDlgTest, EnterAndEscapeDoNotCloseTheDialogAroundThePage) {
    QDialog dialog;
    p.page->setParent(&dialog);
    dialog.show();
    select(0);
    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(p.page.get(), static_cast<Qt::Key>(key));
        EXPECT_TRUE(dialog.isVisible()) << key;
    }
    p.page->setParent(nullptr);
}

} // namespace
