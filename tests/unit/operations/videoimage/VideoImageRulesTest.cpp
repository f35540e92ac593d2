// The Video/Image rules: model classes, the lists each class and mains
// frequency offer, where a camera's codes land, the reference camera of a
// checked set, and the records a save builds.

#include "operations/batchset/VideoImageRules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace bs = orv::batchset;

namespace {

tagQvIpcInfo withModel(const char* model) {
    tagQvIpcInfo r{};
    std::snprintf(r.Model, sizeof r.Model, "%s", model);
    return r;
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

TEST(VideoImageModelClass, ModelTextStopsAtTheFieldsEnd) {
    tagQvIpcInfo r{};
    std::memset(r.Model, '9', sizeof r.Model); // no terminator at all
    EXPECT_EQ(bs::ModelText(r).size(), sizeof r.Model);
    EXPECT_EQ(bs::ModelClass(bs::ModelText(r)), 1);
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
            const int code = bs::PrimarySizeCode(c.modelClass, position);
            EXPECT_EQ(all[static_cast<size_t>(code)], list[static_cast<size_t>(position)]);
            EXPECT_EQ(bs::PrimarySizePosition(c.modelClass, code), position);
        }
        EXPECT_EQ(bs::PrimarySizeCode(c.modelClass, static_cast<int>(c.count)), -1);
        EXPECT_EQ(bs::PrimarySizeCode(c.modelClass, -1), -1);
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
    // A camera's codes: 0-2 on the same position, 3 and 4 one lower.
    EXPECT_EQ(bs::SecondarySizePosition(0), 0);
    EXPECT_EQ(bs::SecondarySizePosition(1), 1);
    EXPECT_EQ(bs::SecondarySizePosition(2), 2);
    EXPECT_EQ(bs::SecondarySizePosition(3), 2);
    EXPECT_EQ(bs::SecondarySizePosition(4), 3);
    EXPECT_EQ(bs::SecondarySizePosition(5), -1);
    // What a save sends back for each position.
    EXPECT_EQ(bs::SecondarySizeCode(0, false), 0);
    EXPECT_EQ(bs::SecondarySizeCode(1, false), 1);
    EXPECT_EQ(bs::SecondarySizeCode(2, false), 3);
    EXPECT_EQ(bs::SecondarySizeCode(3, false), 4);
    EXPECT_EQ(bs::SecondarySizeCode(4, false), -1);
    EXPECT_EQ(bs::SecondarySizeCode(0, true), 2);
}

TEST(VideoImageFrameRates, SixtyHertzStartsAt30OtherFrequenciesAt25) {
    const bs::Entries at60{"30", "25", "15", "8"};
    const bs::Entries at50{"25", "15", "8"};
    EXPECT_EQ(bs::NormalFrameRates(60), at60);
    EXPECT_EQ(bs::NormalFrameRates(50), at50);
    EXPECT_EQ(bs::NormalFrameRates(0), at50) << "a failed imaging read is not 60 Hz";
    EXPECT_EQ(bs::InitialFrameRates(), at60);
    for (int frequency : {50, 60}) {
        EXPECT_EQ(bs::PrimaryFrameRates(bs::kCode5M, frequency), (bs::Entries{"8"}));
        EXPECT_EQ(bs::PrimaryFrameRates(bs::kCode3M, frequency), (bs::Entries{"15", "8"}));
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

TEST(VideoImageSave, RecordsCarryTheCodesOfTheSelections) {
    const bs::VideoImageParams p = bs::BuildVideoImageParams(class3Form());
    ASSERT_FALSE(p.error);
    EXPECT_EQ(p.imaging.powerLineFrequency, 60);
    EXPECT_EQ(p.imaging.outdoorMode, 1);
    EXPECT_EQ(p.imaging.localDisplay, 2);

    QvVideoConfig primary{};
    primary.stream = 1;
    primary.frameSize = 2; // class 3 position 0 is 1080P
    primary.frameRate = 25;
    primary.bitRate = 4096;
    primary.bitRateControl = 1;
    primary.iFrameInterval = 20;
    EXPECT_EQ(std::memcmp(&p.primary, &primary, sizeof primary), 0);

    QvVideoConfig secondary{};
    secondary.enabled = 1;
    secondary.codec = 1;
    secondary.frameSize = 3; // position 2 is "320*240"
    secondary.frameRate = 15;
    secondary.bitRate = 384;
    secondary.iFrameInterval = 30;
    EXPECT_EQ(std::memcmp(&p.secondary, &secondary, sizeof secondary), 0);

    bs::VideoImageForm f = class3Form();
    f.powerLine = 1;
    EXPECT_EQ(bs::BuildVideoImageParams(f).imaging.powerLineFrequency, 50);
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
        EXPECT_EQ(p.primary.frameSize, c.expectedCode) << c.model << " " << c.position;
        EXPECT_EQ(p.primary.frameRate, c.expectedRate) << c.model << " " << c.frequency;
        // 3M sends "176*144" for the secondary stream whatever its list shows.
        EXPECT_EQ(p.secondary.frameSize, c.expectedCode == bs::kCode3M ? 2 : 3);
    }
}

TEST(VideoImageSave, ListsWithoutSelectionKeepWhatTheCameraReported) {
    bs::VideoImageForm f = class3Form();
    f.shownPrimary.frameSize = 3;
    f.shownPrimary.frameRate = 20;
    f.shownPrimary.bitRate = 3000;
    f.shownSecondary.frameSize = 4;
    f.shownSecondary.frameRate = 10;
    f.shownSecondary.bitRate = 300;
    f.shownSecondary.codec = 2;
    f.shownImaging.powerLineFrequency = 60;
    f.shownImaging.outdoorMode = 1;
    f.primary.frameRate.reset();
    f.primary.bitRate.reset();
    f.secondary.frameRate.reset();
    f.secondary.bitRate.reset();
    f.secondary.codec.reset();
    f.secondary.frameSize.reset();
    f.powerLine.reset();
    f.outdoor.reset();
    bs::VideoImageParams p = bs::BuildVideoImageParams(f);
    EXPECT_EQ(p.primary.frameSize, 2) << "the selected size still counts";
    EXPECT_EQ(p.primary.frameRate, 20);
    EXPECT_EQ(p.primary.bitRate, 3000);
    EXPECT_EQ(p.secondary.frameRate, 10);
    EXPECT_EQ(p.secondary.bitRate, 300);
    EXPECT_EQ(p.secondary.codec, 2);
    EXPECT_EQ(p.secondary.frameSize, 4);
    EXPECT_EQ(p.imaging.powerLineFrequency, 60);
    EXPECT_EQ(p.imaging.outdoorMode, 1);
    EXPECT_EQ(p.imaging.localDisplay, 2);

    // A size the class does not offer stays the camera's own code.
    f.primary.frameSize.reset();
    p = bs::BuildVideoImageParams(f);
    EXPECT_EQ(p.primary.frameSize, 3);
    EXPECT_EQ(bs::SelectedPrimarySizeCode(f), 3);
}
