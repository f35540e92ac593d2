// The Batch Upgrade rules: families and the family filter, the checked-set
// checks, the image name and size rules, the checks before the first device
// call, and the upgrade loops against cameras on loopback.

#include "DeviceRecords.h"
#include "JobWait.h"
#include "RecordingDriver.h"
#include "TempDir.h"
#include "TestCameras.h"

#include "operations/upgrade/UpgradeRules.h"
#include "text/TextConv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

namespace up = orv::upgrade;

namespace {

up::ListRow row(const char* ip, const char* version, bool checked) {
    up::ListRow r;
    r.ip = ip;
    r.version = version;
    r.checked = checked;
    return r;
}

std::vector<bool> checksOf(const std::vector<up::ListRow>& rows) {
    std::vector<bool> checks;
    for (const auto& r : rows) {
        checks.push_back(r.checked);
    }
    return checks;
}

} // namespace

TEST(UpgradeNameRule, PrefixAnywhereThenPlatformAndCmosAgainstTheModel) {
    // Platform 2 wants a fifth model character 3, CMOS 1 a sixth character 6.
    EXPECT_EQ(up::CheckFirmwareName("abcQVFImage_21.bin", "QVIP3651").verdict,
              up::NameVerdict::Accepted);
    EXPECT_EQ(up::CheckFirmwareName("abcQVFImage_21.bin", "QVIP4651").verdict,
              up::NameVerdict::PlatformDiffers);
    const up::NameCheck cmos = up::CheckFirmwareName("abcQVFImage_21.bin", "QVIP3951");
    EXPECT_EQ(cmos.verdict, up::NameVerdict::CmosDiffers);
    EXPECT_EQ(cmos.fromPrefix, "QVFImage_21.bin") << "the log line names the file from the prefix";
    // The other CMOS characters and what they demand.
    EXPECT_EQ(up::CheckFirmwareName("QVFImage_22.bin", "QVIP33").verdict,
              up::NameVerdict::Accepted);
    EXPECT_EQ(up::CheckFirmwareName("QVFImage_23.bin", "QVIP34").verdict,
              up::NameVerdict::Accepted);
    EXPECT_EQ(up::CheckFirmwareName("QVFImage_24.bin", "QVIP39").verdict,
              up::NameVerdict::Accepted);
    EXPECT_EQ(up::CheckFirmwareName("QVFImage_24.bin", "QVIP36").verdict,
              up::NameVerdict::CmosDiffers);
    // CMOS 5 (or any other character) imposes nothing.
    for (const char* model : {"QVIP3651", "QVIP3X", "QVIP3"}) {
        EXPECT_EQ(up::CheckFirmwareName("QVFImage_25.bin", model).verdict,
                  up::NameVerdict::Accepted)
            << model;
    }
    // The prefix is case-sensitive; a second occurrence does not count.
    EXPECT_EQ(up::CheckFirmwareName("qvfimage_21.bin", "QVIP3651").verdict,
              up::NameVerdict::NoPrefix);
    EXPECT_EQ(up::CheckFirmwareName("QVFImage_91QVFImage_21.bin", "QVIP3651").verdict,
              up::NameVerdict::PlatformDiffers);
    // A name that ends with the prefix has no platform character to match.
    EXPECT_EQ(up::CheckFirmwareName("QVFImage_", "QVIP3651").verdict,
              up::NameVerdict::PlatformDiffers);
}

TEST(UpgradeSizeRule, AHundredAndOneMebibytesLessOneByteIsTheLargestImage) {
    EXPECT_TRUE(up::FirmwareSizeAccepted(105906175));
    EXPECT_FALSE(up::FirmwareSizeAccepted(105906176));
    EXPECT_TRUE(up::FirmwareSizeAccepted(1));
}

TEST(UpgradeFamilies, FirstTwoVersionCharactersGiveTheFamilyAndTheFilterOnlyRemovesMarks) {
    EXPECT_EQ(up::ModelFamily("11.1.2.10"), 1);
    EXPECT_EQ(up::ModelFamily("12.0.4.3"), 2);
    EXPECT_EQ(up::ModelFamily("14"), 4);
    EXPECT_EQ(up::ModelFamily("21.0.0.1"), 5);
    EXPECT_EQ(up::ModelFamily("22.3"), 6);
    EXPECT_EQ(up::ModelFamily("15.1.0.0"), 0);
    EXPECT_EQ(up::ModelFamily("1"), 0);
    EXPECT_EQ(up::ModelFamily(""), 0);

    const std::vector<up::ListRow> rows{row("1", "12.0.1.1", true), row("2", "13.0.1.1", true),
                                        row("3", "12.9.9.9", false), row("4", "99", true)};
    // Entry "12.XX.XX.XX" with Select All: only the 12 rows stay checked.
    std::vector<up::ListRow> all = rows;
    for (auto& r : all) {
        r.checked = true;
    }
    EXPECT_EQ(up::ApplyFamilyFilter(2, true, all), (std::vector<bool>{true, false, true, false}));
    // Without Select All an unchecked row of the family stays unchecked.
    EXPECT_EQ(up::ApplyFamilyFilter(2, false, rows),
              (std::vector<bool>{true, false, false, false}));
    // Entry 0 checks everything under Select All, else leaves the marks.
    EXPECT_EQ(up::ApplyFamilyFilter(0, true, rows), (std::vector<bool>(4, true)));
    EXPECT_EQ(up::ApplyFamilyFilter(0, false, rows), checksOf(rows));
}

TEST(UpgradeCheckedSet, AddressConflictComesBeforeVersionMismatch) {
    EXPECT_EQ(up::ValidateCheckedSet(
                  {row("10.0.0.1", "13.1.0.5", true), row("10.0.0.2", "14.1.0.5", true)}, true),
              up::SetVerdict::ModelMismatch);
    EXPECT_EQ(up::ValidateCheckedSet(
                  {row("10.0.0.1", "13.1.0.5", true), row("10.0.0.2", "13.2.0.1", true)}, true),
              up::SetVerdict::Valid);
    // Only the checked rows' versions count.
    EXPECT_EQ(up::ValidateCheckedSet(
                  {row("10.0.0.1", "13.1.0.5", true), row("10.0.0.2", "14.1.0.5", false)}, true),
              up::SetVerdict::Valid);
    // A checked row sharing its address with an unchecked one conflicts,
    // whatever the versions; the OEM page has no model test.
    const std::vector<up::ListRow> conflicting{row("10.0.0.1", "13.1.0.5", true),
                                               row("10.0.0.7", "14.1.0.5", true),
                                               row("10.0.0.7", "13.1.0.5", false)};
    EXPECT_EQ(up::ValidateCheckedSet(conflicting, true), up::SetVerdict::AddressConflict);
    EXPECT_EQ(up::ValidateCheckedSet(conflicting, false), up::SetVerdict::AddressConflict);
    EXPECT_EQ(
        up::ValidateCheckedSet({row("10.0.0.1", "13", true), row("10.0.0.1", "14", false)}, false),
        up::SetVerdict::AddressConflict);
    EXPECT_EQ(up::ValidateCheckedSet({row("10.0.0.1", "13", false), row("10.0.0.1", "14", false),
                                      row("10.0.0.2", "14", true)},
                                     true),
              up::SetVerdict::Valid)
        << "a conflict between unchecked rows does not concern the checked set";
    EXPECT_TRUE(up::HasAddressConflict({row("fe80::A", "", false), row("FE80::a", "", false)}, 0))
        << "letter case is ignored";
    EXPECT_FALSE(up::HasAddressConflict({row("10.0.0.1", "", false)}, 0));
}

TEST(UpgradeCheckedSet, OtherMakersCamerasShareAnImageOnlyWithinOneModel) {
    const auto onvif = [](const char* ip, const char* model) {
        up::ListRow r = row(ip, "13.1.0.5", true);
        r.makerImage = false;
        r.model = model;
        return r;
    };
    EXPECT_EQ(up::ValidateCheckedSet({onvif("1", "Kestrel K7"), onvif("2", "Kestrel K7")}, true),
              up::SetVerdict::Valid);
    EXPECT_EQ(up::ValidateCheckedSet({onvif("1", "Kestrel K7"), onvif("2", "Kestrel K9")}, true),
              up::SetVerdict::ModelMismatch);
    // The same version text does not make the maker's camera and another
    // maker's take one image.
    EXPECT_EQ(up::ValidateCheckedSet({row("1", "13.1.0.5", true), onvif("2", "Kestrel K7")}, true),
              up::SetVerdict::ModelMismatch);
}

class UpgradeCheckTest : public ::testing::Test {
protected:
    TempDir dir;
    std::wstring file(const char* name, const std::string& bytes) {
        dir.write(name, bytes);
        return (dir.path() / name).wstring();
    }
};

TEST_F(UpgradeCheckTest, StopsInTheDescribedOrderBeforeAnyDeviceCall) {
    const std::wstring good = file("QVFImage_21.bin", "image");
    EXPECT_EQ(up::CheckUpgrade(L"   ", std::string("QVIP3651")).stop, up::UpgradeStop::EmptyPath);
    EXPECT_EQ(up::CheckUpgrade(L"   ", std::string("QVIP3651")).message->id,
              std::wstring_view(L"90014"));
    EXPECT_EQ(
        up::CheckUpgrade((dir.path() / "missing.bin").wstring(), std::string("QVIP3651")).stop,
        up::UpgradeStop::Unreadable);
    EXPECT_EQ(up::CheckUpgrade(file("QVFImage_21e.bin", ""), std::nullopt).stop,
              up::UpgradeStop::EmptyFile)
        << "an empty file ends silently, before the device question";
    EXPECT_EQ(up::CheckUpgrade(file("qvfimage_21.bin", "x"), std::nullopt).stop,
              up::UpgradeStop::NoPrefix)
        << "a name without the prefix ends before the device question";
    const up::UpgradeCheck noDevice = up::CheckUpgrade(good, std::nullopt);
    EXPECT_EQ(noDevice.stop, up::UpgradeStop::NoDevice);
    EXPECT_EQ(std::wstring(noDevice.message->id), L"90010");
    EXPECT_EQ(up::CheckUpgrade(good, std::string()).stop, up::UpgradeStop::EmptyModel);
    EXPECT_FALSE(up::CheckUpgrade(good, std::string()).message);
    const up::UpgradeCheck platform = up::CheckUpgrade(good, std::string("QVIP4651"));
    EXPECT_EQ(platform.stop, up::UpgradeStop::PlatformDiffers);
    EXPECT_EQ(std::wstring(platform.message->id), L"90011");
    EXPECT_EQ(up::CheckUpgrade(good, std::string("QVIP3951")).stop, up::UpgradeStop::CmosDiffers);
    // The reference model counts with 31 characters at most.
    EXPECT_EQ(up::CheckUpgrade(good, std::string("QVIP3651") + std::string(40, 'x')).stop,
              up::UpgradeStop::None);

    // Surrounding blanks go; the path stays as typed (the driver escapes it).
    const std::wstring quoted = file("it's QVFImage_21.bin", "image");
    const up::UpgradeCheck ok = up::CheckUpgrade(L"  " + quoted + L" ", std::string("QVIP3651"));
    ASSERT_EQ(ok.stop, up::UpgradeStop::None);
    EXPECT_EQ(ok.path, QString::fromStdString(dir.str() + "/it's QVFImage_21.bin"));
}

TEST_F(UpgradeCheckTest, AnotherMakersCameraTakesItsOwnImagesButNotTheMakers) {
    const up::ImageTarget kestrel("K7", false);
    const up::UpgradeCheck own = up::CheckUpgrade(file("k7-7.1.bin", "FW K7 7.1"), kestrel);
    EXPECT_EQ(own.stop, up::UpgradeStop::None) << "no naming rule for another maker's images";
    EXPECT_FALSE(own.path.isEmpty());
    const up::UpgradeCheck makers = up::CheckUpgrade(file("QVFImage_21.bin", "image"), kestrel);
    EXPECT_EQ(makers.stop, up::UpgradeStop::MakerImage);
    EXPECT_EQ(std::wstring(makers.message->id), L"90011");
    EXPECT_EQ(up::CheckUpgrade(file("k7.bin", ""), kestrel).stop, up::UpgradeStop::EmptyFile);
    EXPECT_EQ(up::CheckUpgrade(file("k7-7.1.bin", "x"), up::ImageTarget("", false)).stop,
              up::UpgradeStop::EmptyModel);
}

class UpgradeLoopTest : public ::testing::Test {
protected:
    testcams::Lab lab{3};
    RecordingDriver driver;
    TempDir dir;
    const orv::device::Credentials login{QStringLiteral("admin"),
                                         QString::fromLatin1(testcams::kPassword)};

    tagQvIpcInfo device(int i) const {
        tagQvIpcInfo r{};
        std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", lab.ip(i).c_str());
        r.HttpPort = lab.port();
        std::snprintf(r.Model, sizeof r.Model, "%s", testcams::kModel);
        return r;
    }
};

TEST_F(UpgradeLoopTest, EachCameraTakesTheImageOnlyAfterItsLoginAndSaysWhyNot) {
    dir.write("QVFImage_21.bin", "QVFW:13.9.0.1\nimage body");
    dir.write("QVFImage_31.bin", "image");
    const QString fits = QString::fromStdString((dir.path() / "QVFImage_21.bin").string());
    const QString other = QString::fromStdString((dir.path() / "QVFImage_31.bin").string());
    camsim::FaultPlan refuse;
    refuse.refuseCredentials = true;
    lab.server.setFaults(lab.key(1), refuse);
    orv::jobs::CJobEngine engine(driver.Set());
    const auto results = RunJob(engine, up::UpgradeJob(Found({device(0), device(1)}), login, fits));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(driver.Uploads().size(), 1u) << "no firmware call without a login";
    EXPECT_EQ(lab.installedVersion(0), "13.9.0.1");
    EXPECT_EQ(lab.installedVersion(1), "");

    // A camera the image's name does not fit gets no byte of it, and its
    // reason names both models; one whose list entry claims a model it does
    // not have refuses the image itself.
    driver.Clear();
    lab.server.setFaults(lab.key(1), camsim::FaultPlan{});
    tagQvIpcInfo claims = device(1);
    std::snprintf(claims.Model, sizeof claims.Model, "QVIP4651");
    const auto refused = RunJob(engine, up::UpgradeJob(Found({device(2), claims}), login, other));
    ASSERT_EQ(refused.size(), 2u);
    std::map<std::string, std::string> reasons;
    for (const orv::jobs::OperationResult& r : refused) {
        EXPECT_EQ(r.outcome, orv::jobs::Outcome::Failed);
        reasons[r.device.AddressText().toStdString()] = orv::jobs::ReasonText(r);
    }
    EXPECT_EQ(reasons[lab.ip(2)],
              "not made for this camera's model: the image is for model ????46, the camera is "
              "QVIP3651");
    EXPECT_EQ(reasons[lab.ip(1)], "file rejected by the camera");
    ASSERT_EQ(driver.Uploads().size(), 1u);
    EXPECT_TRUE(driver.Calls("Login").size() == 1u) << "no login for the camera the image misses";

    // Another maker's camera is not sent the maker's image, though its model
    // text would fit the name.
    driver.Clear();
    orv::device::DeviceInfo foreign = Found(device(0));
    foreign.services = {{orv::device::Protocol::Onvif,
                         QString::fromStdString("http://" + lab.ip(0) + "/onvif/device_service"),
                         {}}};
    const auto foreignResults = RunJob(engine, up::UpgradeJob({foreign}, login, fits));
    ASSERT_EQ(foreignResults.size(), 1u);
    EXPECT_EQ(orv::jobs::ReasonText(foreignResults.front()),
              "not made for this camera's model: the image is for model ????36, the camera is "
              "QVIP3651");
    EXPECT_TRUE(driver.Calls().empty());
}

TEST_F(UpgradeLoopTest, ACameraThatTookTheImageButDoesNotAnswerAgainInTimeFailsAsNotBack) {
    dir.write("QVFImage_21.bin", "QVFW:13.9.0.1\nimage body");
    const QString fits = QString::fromStdString((dir.path() / "QVFImage_21.bin").string());
    // A camera that is silent for 3 s once it took an image, and a job that
    // waits 1 s for it.
    camsim::DeviceApiOptions options = testcams::Lab::defaultOptions();
    options.rebootSilence = std::chrono::seconds(3);
    testcams::Lab slow{1, options};
    tagQvIpcInfo found{};
    std::snprintf(found.IpAddr, sizeof found.IpAddr, "%s", slow.ip(0).c_str());
    found.HttpPort = slow.port();
    std::snprintf(found.Model, sizeof found.Model, "%s", testcams::kModel);
    orv::device::DeviceInfo camera = Found(found);
    camera.firmware = QStringLiteral("13.1.0.5"); // as discovery told it
    orv::jobs::CJobEngine engine(driver.Set());
    up::Rollout rollout;
    rollout.backWithin = std::chrono::seconds(1);
    const auto results = RunJob(engine, up::UpgradeJob({camera}, login, fits, rollout));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome, orv::jobs::Outcome::Failed);
    EXPECT_EQ(orv::jobs::ReasonText(results[0]),
              "the camera took the image but did not answer again within 1 s");
    EXPECT_EQ(slow.installedVersion(0), "13.9.0.1") << "taken; only its answer is missing";
}
