#include "operations/profile/Profile.h"
#include "MakerDrivers.h"
#include "protocols/qv/QvRecords.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using namespace orv::profile;

namespace {

// The field and text of a profile the reader refuses.
std::string refusal(const std::string& json) {
    const ReadResult r = ReadProfile(json);
    return r.error ? ErrorText("p.json", *r.error) : "accepted";
}

orv::device::DeviceInfo camera(int n, const char* model) {
    orv::device::DeviceInfo c;
    c.mac = orv::device::MacAddress{0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(n)};
    c.id = orv::device::DeviceId::OfMac(*c.mac);
    c.model = QString::fromLatin1(model);
    c.services = {{orv::device::Protocol::Maker, QStringLiteral("http://192.0.2.10:80"), {}}};
    return c;
}

// Another maker's camera: ONVIF only, one RTSP port.
orv::device::DeviceInfo onvifCamera(int n, const char* model) {
    orv::device::DeviceInfo c = camera(n, model);
    c.services = {{orv::device::Protocol::Onvif,
                   QStringLiteral("http://192.0.2.20/onvif/device_service"),
                   {}}};
    c.capabilities = c.capabilities.Without(orv::device::Capability::SecondRtspPort);
    return c;
}

BuildResult build(const std::string& json, const std::vector<orv::device::DeviceInfo>& targets) {
    const ReadResult r = ReadProfile(json);
    EXPECT_FALSE(r.error) << r.error->field << ": " << r.error->text;
    return BuildProfile(*r.profile, targets, MakerDrivers(), {2024, 5, 7, 9, 5, 3});
}

std::string buildError(const std::string& json,
                       const std::vector<orv::device::DeviceInfo>& targets) {
    const BuildResult b = build(json, targets);
    return b.error ? b.error->field + ": " + b.error->text : "built";
}

const orv::device::DeviceInfo kClass1 = camera(1, "QV-N3951"); // sixth character 9
const orv::device::DeviceInfo kClass4 = camera(4, "QV-N3476"); // seventh 7, eighth 6
const orv::device::DeviceInfo kClass5 = camera(5, "QV-N3300");

} // namespace

TEST(Profile, ReadingNamesTheKeyOrLineOfEveryFault) {
    EXPECT_EQ(refusal(R"({"ports": {"http": 80, "htpp": 81}})"), "p.json: ports.htpp: unknown key");
    EXPECT_EQ(refusal(R"({"ports": {"http": "80"}})"),
              "p.json: ports.http: must be a whole number from 0 to 99999");
    EXPECT_EQ(refusal(R"({"date": {"mode": "server", "time": "2024-05-07 09:05:03"}})"),
              "p.json: date.time: is given with mode manual, and only then");
    EXPECT_EQ(refusal(R"({"date": {"mode": "manual", "time": "2024-02-30 09:05:03"}})"),
              "p.json: date.time: must be a date and time as 2024-05-07 09:05:03");
    EXPECT_EQ(refusal(R"({"ddns": {"provider": "example.org"}})")
                  .find("ddns.provider: must be one of dynu.com"),
              8u);
    EXPECT_EQ(refusal(R"({"video": {"primary": {"frame_size": "D1"}}})"),
              "p.json: video.secondary: missing");
    EXPECT_EQ(refusal(R"({"image": {"power_line": 50}})"), "p.json: image.outdoor: missing");
    EXPECT_EQ(refusal("{}"), "p.json: sets nothing");
    EXPECT_EQ(refusal("{\n\"name\": \"a\",\n\"ports\": {]\n}").substr(0, 9), "p.json:3:");
    EXPECT_EQ(refusal(std::string(100, '[') + std::string(100, ']')),
              "p.json: nested deeper than a profile goes");
    const ReadResult zone = ReadProfile(R"({"date": {"mode": "server", "time_zone": "GMT+01"}})");
    ASSERT_TRUE(zone.profile);
    EXPECT_EQ(zone.profile->date->timeZone, 13);
}

TEST(Profile, NamesCountAndCarryTheMacAndMustFitTheCamera) {
    EXPECT_EQ(ExpandName("Gate {n:03} {mac}", 7, kClass1), "Gate 007 02:00:00:00:00:01");
    EXPECT_EQ(ExpandName("{n}{n}", 12, kClass1), "1212");
    EXPECT_FALSE(ExpandName("{ip}", 1, kClass1));
    EXPECT_FALSE(ExpandName("Gate {n", 1, kClass1));
    EXPECT_FALSE(ExpandName("{n:0Z1}", 1, kClass1)) << "a width that is no number";

    const BuildResult b = build(R"({"name": "Tür {n}", "name_start": 9})", {kClass1, kClass5});
    ASSERT_TRUE(b.built);
    EXPECT_EQ(b.built->names.at(kClass5.id).text, "Tür 10");
    // What the camera's name call takes: every byte but the kept signs in
    // percent form.
    EXPECT_EQ(orv::qv::NameForApi(QString::fromStdString(b.built->names.at(kClass1.id).text)),
              "%54%C3%BC%72%20%39");
    // The counter follows the addresses, lowest first and by number: .9
    // before .10, whatever order the cameras came in.
    orv::device::DeviceInfo at10 = kClass1;
    at10.address = *orv::device::ParseIpv4("192.0.2.10");
    orv::device::DeviceInfo at9 = kClass5;
    at9.address = *orv::device::ParseIpv4("192.0.2.9");
    const BuildResult byAddress = build(R"({"name": "Gate {n}"})", {at10, at9});
    ASSERT_TRUE(byAddress.built);
    EXPECT_EQ(byAddress.built->names.at(at9.id).text, "Gate 1");
    EXPECT_EQ(byAddress.built->names.at(at10.id).text, "Gate 2");
    EXPECT_EQ(buildError(R"({"name": "Camera {mac} {mac}"})", {kClass1}),
              "name: \"Camera 02:00:00:00:00:01 02:00:00:00:00:01\" is longer than a camera "
              "keeps");
}

TEST(Profile, StreamsFollowTheListsOfTheSetsMostLimitedCamera) {
    // Class 1 offers 720P and D1 only, whatever the other cameras offer.
    EXPECT_EQ(buildError(R"({"video": {"primary": {"frame_size": "1080P"}, "secondary": {}}})",
                         {kClass5, kClass1})
                  .find("video.primary.frame_size: is not offered for model class 1 (camera "
                        "02:00:00:00:00:01, QV-N3951) at 50 Hz; offered: 720P(1280*720), "
                        "D1(704*576)"),
              0u);
    // 5M keeps the secondary stream off; 3M takes H.264 at 176*144 only.
    EXPECT_EQ(buildError(R"({"video": {"primary": {"frame_size": "5M"},
                                       "secondary": {"enabled": true}}})",
                         {kClass5}),
              "video.secondary.enabled: the secondary stream stays off at primary frame size "
              "5M(2560*1920)");
    EXPECT_NE(buildError(R"({"video": {"primary": {"frame_size": "3M"},
                                       "secondary": {"codec": "MJPEG"}}})",
                         {kClass4})
                  .find("video.secondary.codec: is not offered"),
              std::string::npos);
    // 30 frames a second need 60 Hz mains.
    EXPECT_NE(buildError(R"({"video": {"primary": {"frame_size": "D1", "frame_rate": 30},
                                       "secondary": {}}})",
                         {kClass1})
                  .find("offered: 25, 15, 8"),
              std::string::npos);

    const BuildResult b = build(R"({"image": {"power_line": 50, "outdoor": "indoor",
                                               "local_display": "NTSC"},
                                     "video": {"primary": {"frame_size": "3M", "bit_rate": 6144},
                                               "secondary": {"enabled": true}}})",
                                {kClass4});
    ASSERT_TRUE(b.built) << b.error->text;
    EXPECT_EQ(b.built->primary->width, 2048);
    EXPECT_EQ(b.built->primary->height, 1536);
    EXPECT_EQ(b.built->primary->frameRate, 0) << "the camera picks it at 50 Hz";
    EXPECT_EQ(b.built->primary->bitRateKbps, 6144);
    EXPECT_EQ(b.built->secondary->width, 176);
    EXPECT_EQ(b.built->secondary->height, 144);
    EXPECT_TRUE(b.built->secondary->enabled);
    EXPECT_TRUE(b.built->image->indoor);
    EXPECT_EQ(b.built->image->localDisplay, orv::device::LocalDisplay::Ntsc);
    EXPECT_EQ(b.built->StepsFor(kClass4).size(), 3u);
    EXPECT_EQ(b.built->Describe(kClass4),
              (std::vector<std::string>{
                  "Modify Image: 50 Hz, Indoor, local display NTSC",
                  "Modify Video Stream: primary 3M(2048*1536), the camera's fps, 6144 kbit/s VBR, "
                  "I-frame interval 20",
                  "Modify Video Stream: secondary H.264 176*144, 25 fps, 512 kbit/s VBR, I-frame "
                  "interval 30"}));
    EXPECT_EQ(buildError(R"({"image": {"power_line": 60, "outdoor": "Outdoor",
                                       "local_display": "OFF"}})",
                         {kClass4}),
              "built");
}

TEST(Profile, AnotherMakersCameraIsGivenOnlyWhatTheProfileNames) {
    const orv::device::DeviceInfo k7 = onvifCamera(7, "K7");
    const BuildResult b =
        build(R"({"ports": {"http": 80, "onvif": 8000, "rtsp1": 8554, "rtsp2": 555},
                                     "video": {"primary": {"frame_size": "1080P", "i_frame": 40},
                                               "secondary": {}}})",
              {k7});
    ASSERT_TRUE(b.built) << b.error->text;
    EXPECT_EQ(b.built->Describe(k7),
              (std::vector<std::string>{
                  "Modify Port: ONVIF 8000, RTSP 8554",
                  "Modify Video Stream: primary 1920*1080, I-frame interval 40, the rest as the "
                  "camera has it"}))
        << "its HTTP port follows ONVIF; no second RTSP port, no secondary stream switched off";
    EXPECT_EQ(b.built->StepsFor(k7).size(), 2u);
    EXPECT_EQ(b.built->StepsFor(kClass1).size(), 3u) << "the maker's camera: whole settings";
}

TEST(Profile, PortAndDdnsChecksNameTheirKey) {
    EXPECT_EQ(buildError(R"({"ports": {"http": 80, "onvif": 80, "rtsp1": 554, "rtsp2": 555}})",
                         {kClass1}),
              "ports: Can not use the same port.");
    EXPECT_EQ(buildError(R"({"ports": {"http": 80, "onvif": 81, "rtsp1": 554}})", {kClass1}),
              "ports.rtsp2: RTSP Port2 can't be empty.");
    EXPECT_EQ(buildError(R"({"ddns": {"enable": true, "provider": "freedns.afraid.org",
                                      "user": "u", "password": "p", "host": "h"}})",
                         {kClass1}),
              "ddns.hash: Hash Field can't be empty.");
    EXPECT_EQ(buildError(R"({"ddns": {"enable": true, "user": "u", "host": "h",
                                      "password": "0123456789012345678901234567890123"}})",
                         {kClass1}),
              "ddns.password: is longer than a camera keeps");
    EXPECT_EQ(
        buildError(R"({"ddns": {"enable": false, "user": "0123456789012345678901234567890123"}})",
                   {kClass1}),
        "built");

    const BuildResult b = build(R"({"date": {"mode": "manual", "time": "2024-05-07 09:05:03"},
                                     "ports": {"http": 80, "onvif": 81, "rtsp1": 554, "rtsp2": 555},
                                     "ddns": {"enable": true, "user": "it's", "password": "p",
                                              "host": "h"}})",
                                {kClass1});
    ASSERT_TRUE(b.built);
    EXPECT_EQ(b.built->ddns->user, "it's") << "escaped by the driver, once";
    EXPECT_EQ(b.built->Describe(kClass1),
              (std::vector<std::string>{"Modify System Date: set to 2024/05/07 09:05:03",
                                        "Modify Port: HTTP 80, ONVIF 81, RTSP 554 and 555",
                                        "Modify DDNS: on, dynu.com, host h, user it's"}))
        << "texts as written: the driver escapes them for the camera";
}
