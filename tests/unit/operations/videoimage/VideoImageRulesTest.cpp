// The Video/Image rules: model classes, the lists each class and mains
// frequency offer, where a camera's values land, the reference camera of a
// checked set, the settings a save builds, and that the lists' sizes are the
// ones the maker's cameras name by code.

#include "operations/batchset/VideoImageRules.h"
#include "protocols/qv/QvRecords.h"

#include <gtest/gtest.h>

namespace bs = orv::batchset;
namespace device = orv::device;

namespace {

device::DeviceInfo withModel(const char* model) {
    device::DeviceInfo d;
    d.model = QString::fromLatin1(model);
    return d;
}

device::StreamSettings sized(int width, int height) {
    device::StreamSettings s;
    s.width = width;
    s.height = height;
    return s;
}

// A form as the page shows it for a class-3 camera at 60 Hz: 1080P, 25 fps,
// 4096 kbit/s VBR; secondary on, MPEG4 "320*240" 15 fps 384 CBR.
bs::VideoImageForm class3Form() {
    bs::VideoImageForm f;
    f.keptModel = "QVIP3651";
    f.keptPowerLineFrequency = 60;
    f.primary.codec = 0;
    f.primary.frameSize = 0;
    f.primary.frameRate = 25;
    f.primary.bitRate = 4096;
    f.primary.bitRateControl = 1;
    f.primary.iFrame = L"20";
    f.secondary.enabled = true;
    f.secondary.codec = 1;
    f.secondary.frameSize = 2;
    f.secondary.frameRate = 15;
    f.secondary.bitRate = 384;
    f.secondary.bitRateControl = 0;
    f.secondary.iFrame = L"30";
    f.powerLine = 0;
    f.outdoor = 1;
    f.localDisplay = 2;
    return f;
}

} // namespace

TEST(VideoImageModelClass, FirstMatchingRuleOfTheModelTextWins) {
    struct Case {
        const char* model;
        int expected;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"QV-N3951", 1},
             {"QV-N2951", 1}, // sixth "9" beats fifth "2"
             {"QV-N2610", 2},
             {"QV-N2656", 2}, // fifth "2" beats the class-4 pattern
             {"QV-N3651", 3},
             {"QV-N3573", 3},
             {"QV-N3762", 3},
             {"QV-N3476", 4},
             {"QV-N3556", 4},
             {"QV-N3654", 5}, // eighth "4" fits neither 3 nor 4
             {"QV-N3486", 5}, // seventh "8"
             {"QV-N3300", 5},
             {"QV-N365", 5}, // no eighth character
             {"QV-N", 5},
             {"", 5},
         }) {
        EXPECT_EQ(bs::ModelClass(c.model), c.expected) << c.model;
    }
}

TEST(VideoImageModelClass, TheClassIsReadFromTheReportedModel) {
    device::DeviceInfo d = withModel("QV-N3951");
    d.displayModel = QStringLiteral("Tor Kamera");
    EXPECT_EQ(bs::ModelText(d), "QV-N3951") << "not the model shown to people";
    EXPECT_EQ(bs::ModelClass(bs::ModelText(d)), 1);
}

TEST(VideoImagePrimarySizes, EachClassStartsAtItsFirstCodeAndPositionsFollowCodes) {
    const bs::Entries all = bs::AllPrimarySizes();
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(all[bs::kStartPrimarySize], "720P(1280*720)");
    struct Case {
        int modelClass;
        const char* first;
        size_t count;
    };
    for (const Case& c : std::initializer_list<Case>{{1, "720P(1280*720)", 2},
                                                     {2, "1.3M(1280*960)", 3},
                                                     {3, "1080P(1920*1080)", 5},
                                                     {4, "3M(2048*1536)", 6},
                                                     {5, "5M(2560*1920)", 7}}) {
        const bs::Entries list = bs::PrimarySizes(c.modelClass);
        ASSERT_EQ(list.size(), c.count) << c.modelClass;
        EXPECT_EQ(list.front(), c.first);
        EXPECT_EQ(list.back(), "D1(704*576)");
        for (int position = 0; position < static_cast<int>(list.size()); ++position) {
            const int code = bs::PrimarySizeAt(c.modelClass, position);
            EXPECT_EQ(all[static_cast<size_t>(code)], list[static_cast<size_t>(position)]);
            EXPECT_EQ(bs::PrimarySizePosition(c.modelClass, code), position);
        }
        EXPECT_EQ(bs::PrimarySizeAt(c.modelClass, static_cast<int>(c.count)), -1);
        EXPECT_EQ(bs::PrimarySizeAt(c.modelClass, -1), -1);
    }
    // Class 1 shows D1 second; codes its list lacks select nothing.
    EXPECT_EQ(bs::PrimarySizePosition(1, 6), 1);
    EXPECT_EQ(bs::PrimarySizePosition(1, 4), -1);
    EXPECT_EQ(bs::PrimarySizePosition(4, 0), -1);
    EXPECT_EQ(bs::PrimarySizePosition(5, 7), -1);
}

TEST(VideoImageSecondarySizes, NormalListSkips176AndThe3MListHoldsItAlone) {
    EXPECT_EQ(bs::SecondarySizes(false), (bs::Entries{"640*480", "640*368", "320*240", "320*192"}));
    EXPECT_EQ(bs::SecondarySizes(true), (bs::Entries{"176*144"}));
    // A camera's sizes land on their entries; "176*144" on "320*240".
    EXPECT_EQ(bs::SecondarySizePosition({640, 480}), 0);
    EXPECT_EQ(bs::SecondarySizePosition({640, 368}), 1);
    EXPECT_EQ(bs::SecondarySizePosition({176, 144}), 2);
    EXPECT_EQ(bs::SecondarySizePosition({320, 240}), 2);
    EXPECT_EQ(bs::SecondarySizePosition({320, 192}), 3);
    EXPECT_EQ(bs::SecondarySizePosition({0, 0}), -1) << "a size without a name";
    // What a save sends back for each position: the size its entry names.
    for (const bool for3M : {false, true}) {
        const bs::Entries list = bs::SecondarySizes(for3M);
        for (int i = 0; i < static_cast<int>(list.size()); ++i) {
            const bs::FrameSize size = bs::SecondarySize(i, for3M);
            EXPECT_EQ(std::to_string(size.width) + "*" + std::to_string(size.height),
                      list[static_cast<size_t>(i)]);
        }
    }
    EXPECT_EQ(bs::SecondarySize(4, false), bs::FrameSize{});
    EXPECT_EQ(bs::SecondarySize(-1, false), bs::FrameSize{});
}

TEST(VideoImageSizes, EveryEntryIsASizeTheMakersCamerasNameByCode) {
    const bs::Entries all = bs::AllPrimarySizes();
    for (int number = 0; number < static_cast<int>(all.size()); ++number) {
        const bs::FrameSize size = bs::PrimarySize(number);
        EXPECT_NE(all[static_cast<size_t>(number)].find(std::to_string(size.width) + "*" +
                                                        std::to_string(size.height)),
                  std::string::npos);
        EXPECT_EQ(bs::PrimarySizeNumber(size), number);
        EXPECT_GE(orv::qv::FrameSizeCode(device::StreamKind::Primary, size.width, size.height), 0)
            << all[static_cast<size_t>(number)];
    }
    EXPECT_EQ(bs::PrimarySize(7), bs::FrameSize{});
    EXPECT_EQ(bs::PrimarySizeNumber({0, 0}), -1);
    for (const bool for3M : {false, true}) {
        for (int i = 0; i < static_cast<int>(bs::SecondarySizes(for3M).size()); ++i) {
            const bs::FrameSize size = bs::SecondarySize(i, for3M);
            EXPECT_GE(
                orv::qv::FrameSizeCode(device::StreamKind::Secondary, size.width, size.height), 0);
        }
    }
}

TEST(VideoImageFrameRates, SixtyHertzStartsAt30OtherFrequenciesAt25) {
    const bs::Entries at60{"30", "25", "15", "8"};
    const bs::Entries at50{"25", "15", "8"};
    EXPECT_EQ(bs::NormalFrameRates(60), at60);
    EXPECT_EQ(bs::NormalFrameRates(50), at50);
    EXPECT_EQ(bs::NormalFrameRates(0), at50) << "a failed imaging read is not 60 Hz";
    EXPECT_EQ(bs::InitialFrameRates(), at60);
    for (int frequency : {50, 60}) {
        EXPECT_EQ(bs::PrimaryFrameRates(bs::kSize5M, frequency), (bs::Entries{"8"}));
        EXPECT_EQ(bs::PrimaryFrameRates(bs::kSize3M, frequency), (bs::Entries{"15", "8"}));
        for (int code : {2, 3, 4, 5, 6, -1}) {
            EXPECT_EQ(bs::PrimaryFrameRates(code, frequency), bs::NormalFrameRates(frequency));
        }
    }
}

TEST(VideoImageBitRates, OnlyClassesOneToThreeGoBeyond6144) {
    EXPECT_EQ(bs::InitialPrimaryBitRates().size(), 11u);
    EXPECT_EQ(bs::InitialPrimaryBitRates()[bs::kStartPrimaryBitRate], "4096");
    for (int c : {1, 2, 3}) {
        const bs::Entries list = bs::PrimaryBitRates(c);
        ASSERT_EQ(list.size(), 13u);
        EXPECT_EQ(list[11], "7168");
        EXPECT_EQ(list[12], "8192");
    }
    for (int c : {4, 5}) {
        EXPECT_EQ(bs::PrimaryBitRates(c), bs::InitialPrimaryBitRates());
    }
    EXPECT_EQ(bs::SecondaryBitRates()[bs::kStartSecondaryBitRate], "512");
}

TEST(VideoImageEntries, SelectionIsByLeadingNumber) {
    const bs::Entries rates = bs::NormalFrameRates(60);
    EXPECT_EQ(bs::EntryStartingWith(rates, 25), 1);
    EXPECT_EQ(bs::EntryStartingWith(rates, 8), 3);
    EXPECT_EQ(bs::EntryStartingWith(rates, 20), -1);
    EXPECT_EQ(bs::EntryStartingWith(rates, 0), -1);
    // A shorter number picks the first entry that begins with it.
    EXPECT_EQ(bs::EntryStartingWith(rates, 2), 1);
    const bs::Entries bitRates = bs::PrimaryBitRates(3);
    EXPECT_EQ(bs::EntryStartingWith(bitRates, 1024), 4);
    EXPECT_EQ(bs::EntryStartingWith(bitRates, 1000), -1);
    EXPECT_EQ(bs::EntryStartingWith(bitRates, 8192), 12);
    EXPECT_EQ(bs::EntryStartingWith(bs::PrimaryBitRates(5), 8192), -1);
    EXPECT_EQ(bs::EntryNumber("1536"), 1536);
    EXPECT_EQ(bs::EntryNumber("8"), 8);
    EXPECT_EQ(bs::PowerLinePosition(60), 0);
    EXPECT_EQ(bs::PowerLinePosition(50), 1);
    EXPECT_EQ(bs::PowerLinePosition(0), 1);
}

TEST(VideoImageReferenceDevice, FirstCheckedCameraOfTheLowestClass) {
    EXPECT_EQ(bs::ReferenceDevice({}), -1);
    // Classes 3, 3, 1, 1: the first class-1 camera, wherever it stands.
    EXPECT_EQ(bs::ReferenceDevice({withModel("QV-N3651"), withModel("QV-N3573"),
                                   withModel("QV-N3951"), withModel("QV-N3992")}),
              2);
    EXPECT_EQ(bs::ReferenceDevice({withModel("QV-N3951"), withModel("QV-N3651")}), 0);
    // Classes 5, 4, 2, 4.
    EXPECT_EQ(bs::ReferenceDevice({withModel("QV-N3300"), withModel("QV-N3476"),
                                   withModel("QV-N2610"), withModel("QV-N3556")}),
              2);
    EXPECT_EQ(bs::ReferenceDevice({withModel(""), withModel("QV-N3300")}), 0);
}

TEST(VideoImageSave, EmptyIFrameFieldsStopTheSave) {
    for (const auto& [primary, secondary] :
         std::initializer_list<std::pair<const wchar_t*, const wchar_t*>>{
             {L"", L"30"}, {L"  ", L"30"}, {L"20", L""}, {L"20", L" \t"}}) {
        bs::VideoImageForm f = class3Form();
        f.primary.iFrame = primary;
        f.secondary.iFrame = secondary;
        const bs::VideoImageParams p = bs::BuildVideoImageParams(f);
        ASSERT_TRUE(p.error);
        EXPECT_STREQ(p.error->id, L"90025");
    }
    bs::VideoImageForm f = class3Form();
    f.primary.iFrame = L" 7 ";
    f.secondary.iFrame = L"0";
    const bs::VideoImageParams p = bs::BuildVideoImageParams(f);
    ASSERT_FALSE(p.error);
    EXPECT_EQ(p.primary.iFrameInterval, 7);
    EXPECT_EQ(p.secondary.iFrameInterval, 0);
}

TEST(VideoImageSave, SettingsCarryTheValuesOfTheSelections) {
    const bs::VideoImageParams p = bs::BuildVideoImageParams(class3Form());
    ASSERT_FALSE(p.error);
    EXPECT_EQ(p.image.powerLineHz, 60);
    EXPECT_TRUE(p.image.indoor);
    EXPECT_EQ(p.image.localDisplay, device::LocalDisplay::Pal);

    const auto same = [](const device::StreamSettings& a, const device::StreamSettings& b) {
        return std::tie(a.enabled, a.codec, a.width, a.height, a.frameRate, a.bitRateKbps,
                        a.rateControl, a.iFrameInterval, a.handback) ==
               std::tie(b.enabled, b.codec, b.width, b.height, b.frameRate, b.bitRateKbps,
                        b.rateControl, b.iFrameInterval, b.handback);
    };
    device::StreamSettings primary = sized(1920, 1080); // class 3 position 0
    primary.enabled = false;
    primary.codec = device::VideoCodec::H264;
    primary.frameRate = 25;
    primary.bitRateKbps = 4096;
    primary.rateControl = device::RateControl::Variable;
    primary.iFrameInterval = 20;
    EXPECT_TRUE(same(p.primary, primary));

    device::StreamSettings secondary = sized(320, 240); // position 2
    secondary.enabled = true;
    secondary.codec = device::VideoCodec::Mpeg4;
    secondary.frameRate = 15;
    secondary.bitRateKbps = 384;
    secondary.rateControl = device::RateControl::Constant;
    secondary.iFrameInterval = 30;
    EXPECT_TRUE(same(p.secondary, secondary));

    bs::VideoImageForm f = class3Form();
    f.powerLine = 1;
    EXPECT_EQ(bs::BuildVideoImageParams(f).image.powerLineHz, 50);
}

TEST(VideoImageSave, LargestSizesAt50HzLeaveTheFrameRateToTheCamera) {
    struct Case {
        const char* model;
        int position;
        int frequency;
        int expectedCode;
        int expectedRate;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"QV-N3300", 0, 50, 0, 0},  // 5M
             {"QV-N3300", 0, 60, 0, 8},  // 5M at 60 Hz sends its entry
             {"QV-N3300", 1, 50, 1, 0},  // 3M
             {"QV-N3476", 0, 50, 1, 0},  // 3M of class 4
             {"QV-N3476", 0, 60, 1, 15}, // 3M at 60 Hz
             {"QV-N3476", 0, 0, 1, 15},  // only exactly 50 Hz
             {"QV-N3476", 1, 50, 2, 25}, // 1080P keeps its rate
         }) {
        bs::VideoImageForm f = class3Form();
        f.keptModel = c.model;
        f.keptPowerLineFrequency = c.frequency;
        f.primary.frameSize = c.position;
        f.primary.frameRate = c.expectedRate == 0 ? 15 : c.expectedRate;
        const bs::VideoImageParams p = bs::BuildVideoImageParams(f);
        EXPECT_EQ(bs::SizeOf(p.primary), bs::PrimarySize(c.expectedCode))
            << c.model << " " << c.position;
        EXPECT_EQ(p.primary.frameRate, c.expectedRate) << c.model << " " << c.frequency;
        // 3M sends "176*144" for the secondary stream whatever its list shows.
        const bs::FrameSize secondary =
            c.expectedCode == bs::kSize3M ? bs::FrameSize{176, 144} : bs::FrameSize{320, 240};
        EXPECT_EQ(bs::SizeOf(p.secondary), secondary);
    }
}

TEST(VideoImageSave, ListsWithoutSelectionKeepWhatTheCameraReported) {
    bs::VideoImageForm f = class3Form();
    f.shownPrimary = sized(1600, 1200);
    f.shownPrimary.frameRate = 20;
    f.shownPrimary.bitRateKbps = 3000;
    f.shownSecondary = sized(320, 192);
    f.shownSecondary.frameRate = 10;
    f.shownSecondary.bitRateKbps = 300;
    f.shownSecondary.codec = device::VideoCodec::Other;
    f.shownImage.powerLineHz = 60;
    f.shownImage.indoor = true;
    f.primary.frameRate.reset();
    f.primary.bitRate.reset();
    f.secondary.frameRate.reset();
    f.secondary.bitRate.reset();
    f.secondary.codec.reset();
    f.secondary.frameSize.reset();
    f.powerLine.reset();
    f.outdoor.reset();
    bs::VideoImageParams p = bs::BuildVideoImageParams(f);
    EXPECT_EQ(bs::SizeOf(p.primary), (bs::FrameSize{1920, 1080})) << "the selected size counts";
    EXPECT_EQ(p.primary.frameRate, 20);
    EXPECT_EQ(p.primary.bitRateKbps, 3000);
    EXPECT_EQ(p.secondary.frameRate, 10);
    EXPECT_EQ(p.secondary.bitRateKbps, 300);
    EXPECT_EQ(p.secondary.codec, device::VideoCodec::Other) << "the camera's own codec";
    EXPECT_EQ(bs::SizeOf(p.secondary), (bs::FrameSize{320, 192}));
    EXPECT_EQ(p.image.powerLineHz, 60);
    EXPECT_TRUE(p.image.indoor);
    EXPECT_EQ(p.image.localDisplay, device::LocalDisplay::Pal);

    // A size the class does not offer stays the camera's own.
    f.primary.frameSize.reset();
    p = bs::BuildVideoImageParams(f);
    EXPECT_EQ(bs::SizeOf(p.primary), (bs::FrameSize{1600, 1200}));
    EXPECT_EQ(bs::SelectedPrimarySize(f), 3);
}

TEST(VideoImageSave, ACodeWithoutANameGoesBackToTheCameraAsItCame) {
    // The camera reports a frame size and codec the maker's list has no
    // name for; a Save that leaves both lists unselected sends them back.
    QvVideoConfig camera{};
    camera.stream = 0;
    camera.enabled = 1;
    camera.codec = 7;
    camera.frameSize = 9;
    camera.deviceTag = 0x1234;
    const device::StreamSettings shown = orv::qv::StreamOf(camera);
    ASSERT_EQ(bs::SizeOf(shown), bs::FrameSize{});

    bs::VideoImageForm f = class3Form();
    f.shownSecondary = shown;
    f.secondary.frameSize.reset();
    f.secondary.codec.reset();
    device::StreamSettings sent = bs::BuildVideoImageParams(f).secondary;
    sent.handback = shown.handback; // the camera's own, read before the Set
    const QvVideoConfig wire = orv::qv::RecordOf(device::StreamKind::Secondary, sent);
    EXPECT_EQ(wire.frameSize, 9);
    EXPECT_EQ(wire.codec, 7);
    EXPECT_EQ(wire.deviceTag, 0x1234u);
    EXPECT_EQ(wire.frameRate, 15) << "the selections still count";

    f.secondary.frameSize = 0;
    sent = bs::BuildVideoImageParams(f).secondary;
    sent.handback = shown.handback;
    EXPECT_EQ(orv::qv::RecordOf(device::StreamKind::Secondary, sent).frameSize, 0)
        << "a chosen size replaces it";
}

TEST(VideoImageChecked, OnlyChangedOrHandSetFieldsReachTheCamerasOwn) {
    const bs::VideoImageParams shown = bs::BuildVideoImageParams(class3Form());
    bs::VideoImageForm f = class3Form();
    f.secondary.frameSize = 0;
    f.localDisplay = 0;
    const bs::VideoImageParams now = bs::BuildVideoImageParams(f);

    bs::StreamFields byHand;
    byHand.bitRate = true; // set to the value shown, by hand
    const bs::StreamFields fields = bs::ChangedStreamFields(shown.secondary, now.secondary, byHand);
    EXPECT_TRUE(fields.frameSize);
    EXPECT_TRUE(fields.bitRate);
    EXPECT_FALSE(fields.codec || fields.enabled || fields.frameRate || fields.bitRateControl ||
                 fields.iFrameInterval);

    device::StreamSettings camera = sized(640, 368);
    camera.codec = device::VideoCodec::Mjpeg;
    camera.bitRateKbps = 1024;
    camera.handback = "own";
    bs::MergeStream(camera, now.secondary, fields);
    EXPECT_EQ(bs::SizeOf(camera), (bs::FrameSize{640, 480}));
    EXPECT_EQ(camera.bitRateKbps, 384);
    EXPECT_EQ(camera.codec, device::VideoCodec::Mjpeg) << "untouched: the camera's";
    EXPECT_EQ(camera.handback, "own");

    const bs::ImagingFields image = bs::ChangedImagingFields(shown.image, now.image, {});
    EXPECT_TRUE(image.localDisplay);
    EXPECT_FALSE(image.powerLine || image.outdoor);
    device::ImageSettings own;
    own.powerLineHz = 50;
    own.localDisplay = device::LocalDisplay::Ntsc;
    bs::MergeImaging(own, now.image, image);
    EXPECT_EQ(own.localDisplay, device::LocalDisplay::Off);
    EXPECT_EQ(own.powerLineHz, 50);
}
