// Every call of the SDK against virtual cameras on loopback: what goes in
// comes back byte for byte, and the camera holds what was sent.

#include "TestCameras.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

using namespace testcams;

namespace {

template <typename Record>
bool sameBytes(const Record& a, const Record& b) {
    return std::memcmp(&a, &b, sizeof(Record)) == 0;
}

template <typename Record>
Record filled(unsigned char byte) {
    Record record;
    std::memset(&record, byte, sizeof record);
    return record;
}

class SdkRoundTrip : public ::testing::Test {
protected:
    void SetUp() override { Qv_Sdk_SetTimeouts(2500, 5000); }
    Lab lab{4};
};

TEST_F(SdkRoundTrip, LoginChecksTheCredentialsAndNeverReusesHandles) {
    EXPECT_EQ(lab.login(0, "wrong"), -1);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_AUTH);
    const int first = lab.login(0);
    const int second = lab.login(0);
    ASSERT_GT(first, 0);
    EXPECT_GT(second, first);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_NONE);

    EXPECT_EQ(Qv_Ipc_Login("127.0.0.300", "", lab.port(), "admin", kPassword, 0), -1);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_BAD_ARGUMENT);
    EXPECT_EQ(Qv_Ipc_Login(lab.ip(0).c_str(), "", lab.port(), "admin", "sixteen-bytes-xx", 0), -1);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_BAD_ARGUMENT);
}

TEST_F(SdkRoundTrip, UnknownHandlesFailWithoutTouchingTheCamera) {
    // Every camera answers only after a long delay: a call that went out
    // would take that long.
    for (int i = 0; i < 4; ++i) {
        camsim::FaultPlan plan;
        plan.delay = std::chrono::milliseconds(3000);
        lab.server.setFaults(lab.key(i), plan);
    }
    const auto start = std::chrono::steady_clock::now();
    QvPortInfo ports = filled<QvPortInfo>(0x5A);
    const QvPortInfo untouched = ports;
    for (const int handle : {-1, 0, 987654}) {
        EXPECT_NE(Qv_Ipc_GetPortInfo(handle, &ports), 0);
        EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_BAD_HANDLE);
        EXPECT_NE(Qv_Ipc_SetPortInfo(handle, &ports), 0);
        EXPECT_NE(Qv_Ipc_RebootSystem(handle), 0);
        EXPECT_NE(Qv_Ipc_SetDeviceName(handle, "%41"), 0);
        EXPECT_NE(Qv_Ipc_UpdateFirmware(handle, "/nonexistent"), 0);
        EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_BAD_HANDLE);
    }
    EXPECT_LT(secondsSince(start), 0.5);
    EXPECT_TRUE(sameBytes(ports, untouched));
}

TEST_F(SdkRoundTrip, RecordsComeBackByteForByte) {
    const int h = lab.login(1);
    ASSERT_GT(h, 0);

    QvDeviceInfo about = filled<QvDeviceInfo>(0xEE);
    ASSERT_EQ(Qv_Ipc_GetDeviceInfo(h, &about), 0);
    EXPECT_STREQ(about.model, testcams::kModel);
    EXPECT_STREQ(about.version, "13.1.0.5");
    EXPECT_STREQ(about.deviceName, "Cam1");

    // A new HTTP port: the camera moves its API there and the handle follows.
    QvPortInfo ports{freePort(), 8000, 1554, 1555, 0};
    ASSERT_EQ(Qv_Ipc_SetPortInfo(h, &ports), 0);
    EXPECT_EQ(lab.login(1), -1) << "nothing is left at the old port";
    QvPortInfo portsBack = filled<QvPortInfo>(0xEE);
    ASSERT_EQ(Qv_Ipc_GetPortInfo(h, &portsBack), 0);
    EXPECT_TRUE(sameBytes(ports, portsBack));

    QvDdnsInfo ddns{};
    ddns.enable = 1;
    std::strcpy(ddns.provider, "dyn.example.net");
    std::strcpy(ddns.user, "user1");
    std::strcpy(ddns.password, "secret");
    std::strcpy(ddns.hash, "abcdef0123");
    std::strcpy(ddns.host, "cam1.dyn.example.net");
    ASSERT_EQ(Qv_Ipc_SetDDNS(h, &ddns), 0);
    QvDdnsInfo ddnsBack = filled<QvDdnsInfo>(0xEE);
    ASSERT_EQ(Qv_Ipc_GetDDNS(h, &ddnsBack), 0);
    EXPECT_TRUE(sameBytes(ddns, ddnsBack));

    for (const std::uint8_t stream : {0, 1}) {
        QvVideoConfig current{};
        current.stream = stream;
        ASSERT_EQ(Qv_Ipc_GetVideoConfig(h, &current), 0);
        QvVideoConfig wanted{};
        wanted.stream = stream;
        wanted.enabled = 1;
        wanted.codec = 0;
        wanted.frameSize = stream == 1 ? 3 : 4;
        wanted.frameRate = 15;
        wanted.bitRate = stream == 1 ? 2048 : 384;
        wanted.bitRateControl = 0;
        wanted.iFrameInterval = 40 + stream;
        wanted.deviceTag = current.deviceTag; // kept from the device, as the page does
        ASSERT_EQ(Qv_Ipc_SetVideoConfig(h, &wanted), 0);
        QvVideoConfig back = filled<QvVideoConfig>(0xEE);
        back.stream = stream;
        ASSERT_EQ(Qv_Ipc_GetVideoConfig(h, &back), 0);
        EXPECT_TRUE(sameBytes(wanted, back)) << "stream " << int(stream);
    }

    QvImagingConfig imaging{};
    ASSERT_EQ(Qv_Ipc_GetImagingConfig(h, &imaging), 0);
    imaging.powerLineFrequency = 60;
    imaging.irCutMode = 0;
    imaging.localDisplay = 2;
    imaging.outdoorMode = 1;
    imaging.exposureLevel = 10;
    imaging.maxExposureTime = 4;
    ASSERT_EQ(Qv_Ipc_SetImagingConfig(h, &imaging), 0);
    QvImagingConfig imagingBack = filled<QvImagingConfig>(0xEE);
    ASSERT_EQ(Qv_Ipc_GetImagingConfig(h, &imagingBack), 0);
    EXPECT_TRUE(sameBytes(imaging, imagingBack));

    QvImagingSettings picture{255, 0, 127};
    ASSERT_EQ(Qv_Ipc_SetImagingSettings(h, &picture), 0);
    QvImagingSettings pictureBack = filled<QvImagingSettings>(0xEE);
    ASSERT_EQ(Qv_Ipc_GetImagingSettings(h, &pictureBack), 0);
    EXPECT_TRUE(sameBytes(picture, pictureBack));

    // The camera holds what was sent, not just the SDK's echo.
    const auto camera = lab.host.snapshot({lab.ip(1), ports.httpPort});
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->config["ddns"]["host"], "cam1.dyn.example.net");
    EXPECT_EQ(camera->config["picture"]["brightness"], 255);
    EXPECT_EQ(camera->config["ports"]["rtsp2"], 1555);
}

TEST_F(SdkRoundTrip, CamerasSharingAPortAreToldApartByAddress) {
    const int h0 = lab.login(0);
    const int h3 = lab.login(3);
    ASSERT_GT(h0, 0);
    ASSERT_GT(h3, 0);
    QvImagingSettings a{10, 20, 30};
    QvImagingSettings b{40, 50, 60};
    ASSERT_EQ(Qv_Ipc_SetImagingSettings(h0, &a), 0);
    ASSERT_EQ(Qv_Ipc_SetImagingSettings(h3, &b), 0);
    QvImagingSettings back{};
    ASSERT_EQ(Qv_Ipc_GetImagingSettings(h0, &back), 0);
    EXPECT_TRUE(sameBytes(a, back));
    ASSERT_EQ(Qv_Ipc_GetImagingSettings(h3, &back), 0);
    EXPECT_TRUE(sameBytes(b, back));
    EXPECT_EQ(lab.host.snapshot(lab.key(2))->config.count("picture"), 0u);
}

TEST_F(SdkRoundTrip, SystemDateFollowsTheCameraClock) {
    const int h = lab.login(0);
    ASSERT_GT(h, 0);
    QvSystemDate manual{};
    std::strcpy(manual.date, "2013/05/07");
    std::strcpy(manual.time, "09:05:03");
    ASSERT_EQ(Qv_Ipc_SetSystemDate(h, &manual), 0);
    QvSystemDate back = filled<QvSystemDate>(0xEE);
    ASSERT_EQ(Qv_Ipc_GetSystemDate(h, &back), 0);
    QvSystemDate expected{};
    std::strcpy(expected.date, "2013-05-07");
    std::strcpy(expected.timeServer, "pool.ntp.org");
    expected.timeZone = 20;
    // The clock runs on between the two calls; compare it apart.
    EXPECT_EQ(std::strncmp(back.time, "09:05:0", 7), 0) << back.time;
    std::memcpy(expected.time, back.time, sizeof back.time);
    EXPECT_TRUE(sameBytes(expected, back));

    QvSystemDate ntp{};
    ntp.useTimeServer = 1;
    std::strcpy(ntp.timeServer, "time.example.org");
    ntp.timeZone = 24;
    ASSERT_EQ(Qv_Ipc_SetSystemDate(h, &ntp), 0);
    ASSERT_EQ(Qv_Ipc_GetSystemDate(h, &back), 0);
    EXPECT_EQ(back.useTimeServer, 1);
    EXPECT_STREQ(back.timeServer, "time.example.org");
    EXPECT_EQ(back.timeZone, 24);

    ntp.timeZone = 25;
    EXPECT_NE(Qv_Ipc_SetSystemDate(h, &ntp), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_REJECTED);
    std::strcpy(manual.date, "2013/02/30");
    manual.useTimeServer = 0;
    EXPECT_NE(Qv_Ipc_SetSystemDate(h, &manual), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_REJECTED);
}

TEST_F(SdkRoundTrip, RefusedValuesLeaveCameraAndRecordAlone) {
    const int h = lab.login(2);
    ASSERT_GT(h, 0);
    QvVideoConfig stream{};
    stream.stream = 1;
    ASSERT_EQ(Qv_Ipc_GetVideoConfig(h, &stream), 0);
    const QvVideoConfig before = stream;
    stream.frameRate = 99;
    EXPECT_NE(Qv_Ipc_SetVideoConfig(h, &stream), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_REJECTED);
    stream.frameRate = before.frameRate;
    stream.frameSize = 0; // 5M is not offered to this model class
    EXPECT_NE(Qv_Ipc_SetVideoConfig(h, &stream), 0);
    QvVideoConfig back{};
    back.stream = 1;
    ASSERT_EQ(Qv_Ipc_GetVideoConfig(h, &back), 0);
    EXPECT_TRUE(sameBytes(before, back));

    QvPortInfo ports{80, 80, 554, 555, 0};
    EXPECT_NE(Qv_Ipc_SetPortInfo(h, &ports), 0);
    ports = {99999, 81, 554, 555, 0};
    EXPECT_NE(Qv_Ipc_SetPortInfo(h, &ports), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_REJECTED);

    // An imaging Set that did not start from a fresh read is refused.
    QvImagingConfig imaging{};
    imaging.powerLineFrequency = 50;
    EXPECT_NE(Qv_Ipc_SetImagingConfig(h, &imaging), 0);

    QvVideoConfig badStream{};
    badStream.stream = 2;
    EXPECT_NE(Qv_Ipc_GetVideoConfig(h, &badStream), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_BAD_ARGUMENT);
}

TEST_F(SdkRoundTrip, EscapedTextsArriveAsTheirPlainText) {
    const int h = lab.login(0);
    ASSERT_GT(h, 0);
    // a'b escaped is a\'b; each byte percent-encoded, the apostrophe kept.
    ASSERT_EQ(Qv_Ipc_SetDeviceName(h, "%61%5C'%62"), 0);
    EXPECT_EQ(lab.host.snapshot(lab.key(0))->identity.deviceName, "a'b");
    // A byte below 16 comes with a blank instead of a leading zero; it
    // decodes, and the camera refuses the control character it stands for.
    EXPECT_NE(Qv_Ipc_SetDeviceName(h, "%43% 9%31"), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_REJECTED);
    EXPECT_NE(Qv_Ipc_SetDeviceName(h, "%4"), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_BAD_ARGUMENT);

    ASSERT_EQ(Qv_Ipc_ModifyPassword(h, "admin", "a\\'b\\\\c"), 0);
    EXPECT_EQ(lab.host.snapshot(lab.key(0))->identity.adminPassword, "a'b\\c");
    // The same handle goes on working with the new password.
    QvPortInfo ports{};
    EXPECT_EQ(Qv_Ipc_GetPortInfo(h, &ports), 0);
    EXPECT_EQ(lab.login(0, kPassword), -1);
    EXPECT_GT(lab.login(0, "a\\'b\\\\c"), 0);
    EXPECT_NE(Qv_Ipc_ModifyPassword(h, "root", "x"), 0);

    QvDdnsInfo ddns{};
    std::strcpy(ddns.user, "o\\'hara");
    std::strcpy(ddns.host, "C:\\\\x");
    ASSERT_EQ(Qv_Ipc_SetDDNS(h, &ddns), 0);
    QvDdnsInfo back{};
    ASSERT_EQ(Qv_Ipc_GetDDNS(h, &back), 0);
    EXPECT_STREQ(back.user, "o'hara");
    EXPECT_STREQ(back.host, "C:\\x");
}

TEST_F(SdkRoundTrip, RebootSilencesTheCameraForAWhile) {
    const int h = lab.login(1);
    ASSERT_GT(h, 0);
    ASSERT_EQ(Qv_Ipc_RebootSystem(h), 0);
    EXPECT_EQ(lab.host.rebootCount(lab.key(1)), 1);
    const auto start = std::chrono::steady_clock::now();
    QvPortInfo ports{};
    EXPECT_NE(Qv_Ipc_GetPortInfo(h, &ports), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_NETWORK);
    EXPECT_LT(secondsSince(start), 0.5);
    // Another camera on the same port is not affected.
    EXPECT_GT(lab.login(2), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    EXPECT_EQ(Qv_Ipc_GetPortInfo(h, &ports), 0);
}

TEST_F(SdkRoundTrip, HandleOutlivesARebootMadeByAnotherClient) {
    const int h = lab.login(2);
    const int other = lab.login(2);
    ASSERT_GT(h, 0);
    ASSERT_GT(other, 0);
    QvImagingSettings picture{5, 6, 7};
    ASSERT_EQ(Qv_Ipc_SetImagingSettings(h, &picture), 0);
    ASSERT_EQ(Qv_Ipc_RebootSystem(other), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    // h still holds the nonce of the previous boot; the camera calls it stale
    // and the Set goes through on the retry, body and all.
    picture = {8, 9, 10};
    ASSERT_EQ(Qv_Ipc_SetImagingSettings(h, &picture), 0);
    EXPECT_EQ(lab.host.snapshot(lab.key(2))->config["picture"]["saturation"], 10);
}

TEST_F(SdkRoundTrip, RestoreReturnsToFactorySettingsAndReboots) {
    const int h = lab.login(0);
    ASSERT_GT(h, 0);
    QvImagingSettings picture{1, 2, 3};
    ASSERT_EQ(Qv_Ipc_SetImagingSettings(h, &picture), 0);
    ASSERT_EQ(Qv_Ipc_SetDeviceName(h, "%58"), 0);
    ASSERT_EQ(Qv_Ipc_RestoreSystem(h), 0);
    EXPECT_TRUE(lab.server.isRebooting(lab.key(0)));
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    ASSERT_EQ(Qv_Ipc_GetImagingSettings(h, &picture), 0);
    EXPECT_EQ(picture.brightness, 128);
    EXPECT_EQ(lab.host.snapshot(lab.key(0))->identity.deviceName, "IPCamera");
}

TEST_F(SdkRoundTrip, UploadsAreStoredAndCheckedAgainstTheModel) {
    const int h = lab.login(0);
    ASSERT_GT(h, 0);
    const std::string dir = ::testing::TempDir();
    const std::string image = dir + "abcQVFImage_21.bin";
    std::ofstream(image, std::ios::binary) << "QVFW:13.2.0.1\nimage bytes";
    ASSERT_EQ(Qv_Ipc_UpdateFirmware(h, image.c_str()), 0);
    auto camera = lab.host.snapshot(lab.key(0));
    EXPECT_EQ(camera->config["firmware"]["name"], "abcQVFImage_21.bin");
    // The image installs at once: the camera reboots by itself.
    EXPECT_EQ(camera->identity.version, "13.2.0.1");
    EXPECT_EQ(lab.host.rebootCount(lab.key(0)), 1);
    EXPECT_TRUE(lab.server.isRebooting(lab.key(0)));

    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    std::ofstream(image, std::ios::binary) << "QVFW:14.0.0.1\nanother family";
    EXPECT_NE(Qv_Ipc_UpdateFirmware(h, image.c_str()), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_REJECTED);
    // Platform 1 needs a fifth model character 2; lower-case prefix is no prefix.
    for (const char* name : {"QVFImage_11.bin", "qvfimage_21.bin", "QVFImage_22.bin"}) {
        const std::string wrong = dir + name;
        std::ofstream(wrong, std::ios::binary) << "x";
        EXPECT_NE(Qv_Ipc_UpdateFirmware(h, wrong.c_str()), 0) << name;
        EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_REJECTED) << name;
        std::remove(wrong.c_str());
    }
    EXPECT_NE(Qv_Ipc_UpdateFirmware(h, (dir + "missing_QVFImage_21.bin").c_str()), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_FILE);
    EXPECT_NE(Qv_Ipc_UpdateFirmware(h, dir.c_str()), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_FILE);

    const std::string info = dir + "qvoem.cfg";
    std::ofstream(info, std::ios::binary)
        << "[oemsec]\r\ncompany=Acme\r\nmanufacture=Acme\r\nwebsite=site1\r\nmodel=X1\r\n"
           "softversion=3\r\n";
    ASSERT_EQ(Qv_Ipc_UploadOemConfigFile(h, info.c_str()), 0);
    const std::string logo = dir + "logo.png";
    std::ofstream(logo, std::ios::binary) << "PNG";
    ASSERT_EQ(Qv_Ipc_UploadOemConfigFile(h, logo.c_str()), 0);
    camera = lab.host.snapshot(lab.key(0));
    EXPECT_EQ(camera->config["oem"]["info"]["company"], "Acme");
    EXPECT_EQ(camera->config["oem"]["info"]["softversion"], "3");
    ASSERT_EQ(camera->config["oem"]["images"].size(), 1u);
    EXPECT_EQ(camera->config["oem"]["images"][0]["md5"], "55505ba281b015ec31f03ccb151b2a34");
    std::remove(image.c_str());
    std::remove(info.c_str());
    std::remove(logo.c_str());
}

TEST_F(SdkRoundTrip, LivePlayRefusesAMissingWindowOrHandle) {
    const int h = lab.login(0);
    QvPlayInfo play{};
    EXPECT_NE(Qv_IpcClient_LivePlay(h, &play, 0, 0), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_BAD_ARGUMENT);
    EXPECT_NE(Qv_IpcClient_LivePlay(h, nullptr, 0, 0), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_BAD_ARGUMENT);
    play.window = 0x400001;
    EXPECT_NE(Qv_IpcClient_LivePlay(-1, &play, 0, 0), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_BAD_HANDLE);
    // Nothing plays on the handle: a stop is no failure.
    EXPECT_EQ(Qv_IpcClient_StopLivePlay(h), 0);
}

} // namespace
