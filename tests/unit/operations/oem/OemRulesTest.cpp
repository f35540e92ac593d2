// The OEM rules: the information file's bytes, the checks of Upload, the
// image selection of Browse, and the upload loop against cameras on
// loopback with its result lines and reboot handles.

#include "DeviceRecords.h"
#include "JobWait.h"
#include "RecordingDriver.h"
#include "TempDir.h"
#include "TestCameras.h"

#include "operations/oem/OemRules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace oem = orv::oem;

namespace {

oem::OemForm form(std::wstring company = L"Acme", std::wstring version = L"3") {
    return {L"admin", L"kt7391",          std::move(company), L"site1",
            L"X1",    std::move(version), L"/tmp/a.bin"};
}

std::string contentOf(const oem::OemForm& f) {
    const oem::CheckedOem checked = oem::CheckOemForm(f);
    EXPECT_TRUE(checked.upload);
    return checked.upload ? oem::OemFileContent(*checked.upload) : std::string();
}

} // namespace

TEST(OemFile, SixCrLfLinesWithTheCompanyTwice) {
    EXPECT_EQ(contentOf(form()), "[oemsec]\r\ncompany=Acme\r\nmanufacture=Acme\r\nwebsite=site1\r\n"
                                 "model=X1\r\nsoftversion=3\r\n");
    // The company is trimmed, website and model are taken as typed.
    oem::OemForm spaced = form(L"  Acme ");
    spaced.website = L" site1";
    EXPECT_EQ(contentOf(spaced),
              "[oemsec]\r\ncompany=Acme\r\nmanufacture=Acme\r\nwebsite= site1\r\n"
              "model=X1\r\nsoftversion=3\r\n");
}

TEST(OemFile, EscapesAndVersionNumbers) {
    EXPECT_NE(contentOf(form(L"A\\B")).find("company=A\\\\B\r\nmanufacture=A\\\\B\r\n"),
              std::string::npos);
    EXPECT_NE(contentOf(form(L"O'Neil")).find("company=O\\'Neil\r\n"), std::string::npos);
    EXPECT_NE(contentOf(form(L"Acme", L"")).find("softversion=0\r\n"), std::string::npos);
    EXPECT_NE(contentOf(form(L"Acme", L" 12ab")).find("softversion=12\r\n"), std::string::npos);
    EXPECT_NE(contentOf(form(L"Acme", L"v2")).find("softversion=0\r\n"), std::string::npos);
    EXPECT_EQ(oem::ReadSoftVersion("-4"), -4);
}

TEST(OemFile, LongFieldsAreCutToTheirBuffersAndTheFileTo511Bytes) {
    oem::OemUpload upload;
    std::memset(upload.company, 'c', sizeof upload.company - 1);
    std::memset(upload.website, 'w', sizeof upload.website - 1);
    std::memset(upload.model, 'm', sizeof upload.model - 1);
    upload.softVersion = 1234567;
    const std::string full = oem::OemFileContent(upload);
    EXPECT_LT(full.size(), 511u) << "the largest fields still fit";
    // The 24-byte buffer takes 22 bytes of text; a longer company is
    // refused by name rather than written empty.
    const oem::CheckedOem checked = oem::CheckOemForm(form(std::wstring(22, L'c')));
    ASSERT_TRUE(checked.upload);
    EXPECT_EQ(std::strlen(checked.upload->company), 22u);
    const oem::CheckedOem over = oem::CheckOemForm(form(std::wstring(21, L'c') + L"'"));
    EXPECT_FALSE(over.upload) << "the escaped apostrophe makes 23 bytes";
    ASSERT_TRUE(over.field);
    EXPECT_EQ(std::wstring(over.field->defaultText), L"Company:");
}

TEST(OemCheck, FirstFailedFieldWinsInItsOrder) {
    auto errorOf = [](oem::OemForm f) {
        const oem::CheckedOem c = oem::CheckOemForm(f);
        return c.error ? std::wstring(c.error->defaultText) : std::wstring();
    };
    oem::OemForm f = form(L" ");
    f.images = L" ";
    EXPECT_EQ(errorOf(f), L"Company can't be empty.");
    f.company = L"Acme";
    EXPECT_EQ(errorOf(f), L"Please select a fireware file.");
    f.password = L"  ";
    EXPECT_EQ(errorOf(f), L"Password Field can't be empty.");
    f.user = L"";
    EXPECT_EQ(errorOf(f), L"Username Field can't be empty.");
    EXPECT_EQ(errorOf(form()), L"");
}

TEST(OemImages, BrowseKeepsTenSkipsLargeFilesAndUploadSplitsAtStars) {
    TempDir dir;
    std::vector<std::wstring> chosen;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "img" + std::to_string(i) + ".bmp";
        dir.write(name, i == 1 ? std::string(3 * 1048576, 'x') : std::string("small"));
        chosen.push_back((dir.path() / name).wstring());
    }
    const std::vector<std::wstring> joined = oem::SplitImageField(oem::JoinImageSelection(chosen));
    ASSERT_EQ(joined.size(), 10u) << "the 3 MiB file is skipped, the next ten are kept";
    EXPECT_EQ(joined.front(), chosen[0]);
    EXPECT_EQ(joined[1], chosen[2]);
    EXPECT_EQ(joined.back(), chosen[10]);

    std::vector<std::wstring> twelveSmall;
    for (int i = 0; i < 12; ++i) {
        if (i != 1) {
            twelveSmall.push_back(chosen[i]);
        }
    }
    twelveSmall.push_back(chosen[0]);
    const auto keptTen = oem::SplitImageField(oem::JoinImageSelection(twelveSmall));
    EXPECT_EQ(keptTen, std::vector<std::wstring>(twelveSmall.begin(), twelveSmall.begin() + 10));

    // The 2 MiB boundary.
    dir.write("edge.bmp", std::string(2097151, 'e'));
    dir.write("over.bmp", std::string(2097152, 'o'));
    EXPECT_EQ(oem::JoinImageSelection(
                  {(dir.path() / "over.bmp").wstring(), (dir.path() / "edge.bmp").wstring()}),
              (dir.path() / "edge.bmp").wstring());
    EXPECT_EQ(oem::JoinImageSelection({(dir.path() / "over.bmp").wstring()}), L"");

    EXPECT_EQ(oem::SplitImageField(L"*a**b*"), (std::vector<std::wstring>{L"a", L"b"}));
}

TEST(OemFile, WrittenAnewAndAFailureLeavesOnlyTheLogLine) {
    TempDir dir;
    const std::string path = oem::OemFilePath(dir.str());
    EXPECT_EQ(path, dir.str() + "/qvoem.cfg");
    dir.write("qvoem.cfg", std::string(2000, 'o'));
    ASSERT_TRUE(oem::WriteOemFile(path, "[oemsec]\r\n"));
    EXPECT_EQ(dir.read("qvoem.cfg"), "[oemsec]\r\n") << "the old, longer file is replaced";
    EXPECT_FALSE(oem::WriteOemFile(dir.str() + "/no/such/dir/qvoem.cfg", "x"));
    EXPECT_LE(oem::OemFilePath(std::string(400, 'd')).size(), 259u);
}

class OemUploadTest : public ::testing::Test {
protected:
    testcams::Lab lab{3};
    RecordingDriver driver;
    TempDir dir;

    orv::device::DeviceInfo device(int i) const {
        tagQvIpcInfo r{};
        const unsigned char mac[8] = {0x02, 0x4f, 0x56, 0x10, 0x00, static_cast<unsigned char>(i)};
        std::memcpy(r.Mac, mac, sizeof mac);
        std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", lab.ip(i).c_str());
        r.HttpPort = lab.port();
        return Found(r);
    }
    nlohmann::json oemOf(int i) const { return lab.host.snapshot(lab.key(i))->config["oem"]; }
};

TEST_F(OemUploadTest, OneLinePerCameraImagesAfterTheInformationFileAndRebootsQueued) {
    dir.write("logo.bmp", "logo");
    dir.write("it's/o'mark.bmp", "quote");
    oem::OemForm f = form();
    f.images =
        (dir.path() / "logo.bmp").wstring() + L"*" + (dir.path() / "it's" / "o'mark.bmp").wstring();
    const oem::CheckedOem checked = oem::CheckOemForm(f);
    ASSERT_TRUE(checked.upload);
    const std::string cfg = oem::OemFilePath(dir.str());
    ASSERT_TRUE(oem::WriteOemFile(cfg, oem::OemFileContent(*checked.upload)));
    camsim::FaultPlan refuse;
    refuse.refuseCredentials = true;
    lab.server.setFaults(lab.key(1), refuse);

    std::mutex lock;
    std::vector<std::string> reboots;
    orv::jobs::CJobEngine engine(driver.Set(), 1); // one camera after another
    std::vector<bool> took;
    const auto queue = [&](std::shared_ptr<orv::device::IDeviceSession> camera) {
        std::lock_guard guard(lock);
        reboots.push_back(camera->Device().AddressText().toStdString());
    };
    for (const auto& r :
         RunJob(engine, oem::UploadOemJob({device(0), device(1), device(2)}, *checked.upload,
                                          QString::fromStdString(cfg), queue))) {
        took.push_back(r.outcome == orv::jobs::Outcome::Succeeded);
    }
    EXPECT_EQ(took, (std::vector<bool>{true, false, true}));
    const auto logins = driver.Calls("Login");
    ASSERT_EQ(logins.size(), 3u);
    EXPECT_EQ(reboots, (std::vector<std::string>{lab.ip(0), lab.ip(2)}));

    const auto uploads = driver.Uploads();
    ASSERT_EQ(uploads.size(), 6u);
    EXPECT_EQ(uploads[0].path, cfg) << "the information file goes first, as formatted";
    EXPECT_EQ(uploads[1].path, (dir.path() / "logo.bmp").string());
    EXPECT_EQ(uploads[2].path, dir.str() + "/it's/o'mark.bmp")
        << "the path as typed: the driver escapes it for the device API";
    for (int i : {0, 2}) {
        const nlohmann::json stored = oemOf(i);
        EXPECT_EQ(stored["info"]["company"], "Acme");
        EXPECT_EQ(stored["info"]["manufacture"], "Acme");
        EXPECT_EQ(stored["info"]["softversion"], "3");
        ASSERT_EQ(stored["images"].size(), 2u) << static_cast<int>(uploads[2].fault);
        EXPECT_EQ(stored["images"][1]["name"], "o'mark.bmp");
    }
    EXPECT_TRUE(oemOf(1)["images"].empty());
}

TEST_F(OemUploadTest, ACameraThatRefusesTheInformationFileGetsNoImagesAndNoReboot) {
    const std::string cfg = oem::OemFilePath(dir.str());
    dir.write("logo.bmp", "logo");
    oem::OemForm f = form();
    f.images = (dir.path() / "logo.bmp").wstring();
    const oem::CheckedOem checked = oem::CheckOemForm(f);
    ASSERT_TRUE(checked.upload);
    // No information file at the path: the camera is asked for nothing else.
    bool rebooted = false;
    orv::jobs::CJobEngine engine(driver.Set());
    const auto results =
        RunJob(engine, oem::UploadOemJob({device(0)}, *checked.upload, QString::fromStdString(cfg),
                                         [&](auto) { rebooted = true; }));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome, orv::jobs::Outcome::Failed);
    EXPECT_FALSE(rebooted);
    EXPECT_EQ(driver.Uploads().size(), 1u);
}
