// The Video Previews rules without a window: the slider scale, the lists,
// the settings the page sends and the bytes they reach the camera as.

#include "operations/preview/PreviewRules.h"
#include "protocols/qv/QvRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace orv::preview;

TEST(PreviewScale, DeviceValuesShowAsWholeSliderPositions) {
    EXPECT_EQ(SliderFromDevice(255), 100);
    EXPECT_EQ(SliderFromDevice(254), 99);
    EXPECT_EQ(SliderFromDevice(128), 50);
    EXPECT_EQ(SliderFromDevice(3), 1);
    EXPECT_EQ(SliderFromDevice(2), 0);
    EXPECT_EQ(SliderFromDevice(0), 0);
}

TEST(PreviewScale, SliderPositionsSendWholeDeviceValues) {
    EXPECT_EQ(DeviceFromSlider(50), 127);
    EXPECT_EQ(DeviceFromSlider(100), 255);
    EXPECT_EQ(DeviceFromSlider(1), 2);
    EXPECT_EQ(DeviceFromSlider(0), 0);
    // The scale loses the remainder both ways: Default's 128 comes back as 127.
    EXPECT_EQ(DeviceFromSlider(SliderFromDevice(128)), 127);
    const orv::device::PictureSettings defaults = DefaultPicture();
    EXPECT_EQ(SliderFromDevice(defaults.brightness), 50);
    EXPECT_EQ(defaults.contrast, 128);
    EXPECT_EQ(defaults.saturation, 128);
}

TEST(PreviewScale, AMovedSliderReplacesOnlyItsOwnField) {
    const orv::device::PictureSettings camera{10, 20, 30};
    const orv::device::PictureSettings b = WithSliderPosition(camera, PictureField::Brightness, 50);
    EXPECT_EQ(b.brightness, 127);
    EXPECT_EQ(b.contrast, 20);
    EXPECT_EQ(b.saturation, 30);
    const orv::device::PictureSettings c = WithSliderPosition(camera, PictureField::Contrast, 100);
    EXPECT_EQ(c.brightness, 10);
    EXPECT_EQ(c.contrast, 255);
    EXPECT_EQ(c.saturation, 30);
    const orv::device::PictureSettings s = WithSliderPosition(camera, PictureField::Saturation, 0);
    EXPECT_EQ(s.brightness, 10);
    EXPECT_EQ(s.contrast, 20);
    EXPECT_EQ(s.saturation, 0);
}

TEST(PreviewLists, ExposureTimesFollowThePowerLineFrequency) {
    const std::vector<std::string> at50 = {"1/5", "1/10", "1/25", "1/50", "1/100"};
    const std::vector<std::string> other = {"1/5", "1/15", "1/30", "1/50", "1/100"};
    EXPECT_EQ(ExposureTimeEntries(50), at50);
    EXPECT_EQ(ExposureTimeEntries(60), other);
    // Anything but 50 is the other list, an unknown frequency included.
    EXPECT_EQ(ExposureTimeEntries(0), other);
    EXPECT_EQ(ExposureTimeEntries(51), other);
}

TEST(PreviewLists, ExposureLevelsAndIrCutTextsInCodeOrder) {
    const std::vector<std::string> levels = ExposureLevelEntries();
    ASSERT_EQ(levels.size(), 11u);
    EXPECT_EQ(levels.front(), "0");
    EXPECT_EQ(levels[5], "5");
    EXPECT_EQ(levels.back(), "10");
    const auto& texts = IrCutTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(std::wstring(texts[0].id), L"70011");
    EXPECT_EQ(std::wstring(texts[0].english), L"Night Mode");
    EXPECT_EQ(std::wstring(texts[1].english), L"Day Mode");
    EXPECT_EQ(std::wstring(texts[2].id), L"70013");
    EXPECT_EQ(std::wstring(texts[2].english), L"Auto Mode");
}

TEST(PreviewRecords, CodesGoInAndOutAtTheirOffsetsAndNothingElseChanges) {
    QvImagingConfig before;
    std::memset(&before, 0xA5, sizeof before);
    orv::device::ImageSettings image = orv::qv::ImageOf(before);
    PutCodes(image, ImagingCodes{7, 3, 1});
    EXPECT_EQ(image.irCut, orv::device::IrCutMode::Day);
    EXPECT_EQ(CodesOf(image), (ImagingCodes{7, 3, 1}));
    const QvImagingConfig record = orv::qv::RecordOf(image);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    const auto* old = reinterpret_cast<const unsigned char*>(&before);
    EXPECT_EQ(bytes[8], 1);  // IR-cut
    EXPECT_EQ(bytes[21], 7); // exposure level
    EXPECT_EQ(bytes[22], 3); // maximum exposure time
    for (std::size_t i = 0; i < sizeof record; ++i) {
        if (i != 8 && i != 21 && i != 22) {
            EXPECT_EQ(bytes[i], old[i]) << "byte " << i;
        }
    }
    image = orv::qv::ImageOf(QvImagingConfig{});
    for (const std::uint8_t irCut : {2, 1, 0}) {
        PutCodes(image, ImagingCodes{0, 0, irCut});
        EXPECT_EQ(CodesOf(image).irCutMode, irCut) << "the list's order";
        EXPECT_EQ(orv::qv::RecordOf(image).irCutMode, irCut) << "the camera's code";
    }
}

TEST(PreviewRecords, PlayRecordCarriesTheWindowAtBytesFourToSeven) {
    const QvPlayInfo play = orv::qv::PlayRecordOf(0x04A00007u);
    ASSERT_EQ(sizeof play, 40u);
    unsigned char bytes[40];
    std::memcpy(bytes, &play, sizeof bytes);
    EXPECT_EQ(bytes[4], 0x07);
    EXPECT_EQ(bytes[5], 0x00);
    EXPECT_EQ(bytes[6], 0xA0);
    EXPECT_EQ(bytes[7], 0x04);
    for (int i = 0; i < 40; ++i) {
        if (i < 4 || i > 7) {
            EXPECT_EQ(bytes[i], 0) << "byte " << i;
        }
    }
    // A wider handle keeps its upper half in bytes 8 to 11.
    const QvPlayInfo wide = orv::qv::PlayRecordOf(0x0000001200000034ull);
    std::memcpy(bytes, &wide, sizeof bytes);
    EXPECT_EQ(bytes[4], 0x34);
    EXPECT_EQ(bytes[8], 0x12);
    EXPECT_EQ(bytes[9], 0);
}

} // namespace
