#include "operations/profile/Compliance.h"
#include "MakerDrivers.h"
#include "operations/batchset/BatchOperations.h"
#include "operations/profile/SiteProfile.h"

#include <gtest/gtest.h>

using namespace orv::profile;
namespace bs = orv::batchset;
namespace dev = orv::device;

namespace {

dev::DeviceInfo makerCamera(int n) {
    dev::DeviceInfo c;
    c.mac = dev::MacAddress{0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(n)};
    c.id = dev::DeviceId::OfMac(*c.mac);
    c.model = QStringLiteral("QV-N3300");
    c.firmware = QStringLiteral("13.1.0.5");
    c.services = {{dev::Protocol::Maker, QStringLiteral("http://192.0.2.10:80"), {}}};
    return c;
}

// Another maker's camera: ONVIF only, one RTSP port, HTTP and ONVIF on one.
dev::DeviceInfo onvifCamera(int n) {
    dev::DeviceInfo c = makerCamera(n);
    c.services = {
        {dev::Protocol::Onvif, QStringLiteral("http://192.0.2.20/onvif/device_service"), {}}};
    c.capabilities = c.capabilities.Without(dev::Capability::SecondRtspPort);
    return c;
}

// What a set-up camera reads as: on a time server in GMT+01, DDNS off.
bs::DeviceSettings setUp(const dev::DeviceInfo& camera) {
    bs::DeviceSettings s;
    s.device = camera;
    s.loggedIn = true;
    s.time = dev::TimeSettings{true, {}, QStringLiteral("pool.example"), 1, {}};
    s.ports = dev::PortSettings{{80, 8000, 554, 555}, {}};
    s.ddns = dev::DdnsSettings{};
    s.image = dev::ImageSettings{};
    s.image->powerLineHz = 50;
    s.image->indoor = true;
    s.image->localDisplay = dev::LocalDisplay::Pal;
    s.primary = dev::StreamSettings{true, dev::VideoCodec::H264,      1920, 1080, 25,
                                    4096, dev::RateControl::Variable, 20,   {}};
    s.secondary = dev::StreamSettings{true, dev::VideoCodec::H264,      640, 480, 15,
                                      512,  dev::RateControl::Constant, 30,  {}};
    return s;
}

// The profile taken from `source`, through its file form.
ProfileSpec taken(const bs::DeviceSettings& source) {
    const ReadResult read = ReadProfile(ProfileText(ProfileOf(source).profile));
    EXPECT_FALSE(read.error) << read.error->field << ": " << read.error->text;
    return read.profile.value_or(ProfileSpec{});
}

std::vector<Difference> judged(const ProfileSpec& profile, const bs::DeviceSettings& camera) {
    const std::vector<PerCamera> built = BuildPerCamera(profile, {camera.device}, MakerDrivers());
    EXPECT_TRUE(built[0].built.has_value()) << built[0].problem;
    return built[0].built ? Differences(*built[0].built, profile.firmware, camera)
                          : std::vector<Difference>{};
}

} // namespace

TEST(Compliance, AProfileTakenFromACameraHoldsItWholeAndNamesEveryFieldThatDrifted) {
    const bs::DeviceSettings source = setUp(makerCamera(1));
    const ProfileSpec profile = taken(source);
    EXPECT_EQ(profile.firmware, "13.1.0.5");
    EXPECT_FALSE(profile.name.has_value());
    EXPECT_TRUE(judged(profile, source).empty()) << DifferencesText(judged(profile, source));

    // Another camera of the site, changed behind the tool's back.
    bs::DeviceSettings drifted = setUp(makerCamera(2));
    drifted.device.firmware = QStringLiteral("13.0.2.1");
    drifted.time->utcOffsetHours = 3;
    drifted.ports->ports.rtsp = 8554;
    drifted.image->indoor = false;
    drifted.secondary->bitRateKbps = 1024;
    drifted.secondary->rateControl = dev::RateControl::Variable;
    const std::vector<Difference> expected = {{"firmware", "13.1.0.5", "13.0.2.1"},
                                              {"date.time_zone", "GMT+01", "GMT+03"},
                                              {"ports.rtsp1", "554", "8554"},
                                              {"image.outdoor", "Indoor", "Outdoor"},
                                              {"video.secondary.bit_rate", "512", "1024"},
                                              {"video.secondary.bit_rate_control", "CBR", "VBR"}};
    EXPECT_EQ(judged(profile, drifted), expected) << DifferencesText(judged(profile, drifted));

    // A secondary stream the profile wants off differs only in being on.
    bs::DeviceSettings off = source;
    off.secondary->enabled = false;
    off.secondary->bitRateKbps = 64;
    const ProfileSpec secondaryOff = taken(off);
    const std::vector<Difference> on = {{"video.secondary.enabled", "off", "on"}};
    EXPECT_EQ(judged(secondaryOff, source), on);

    // What was not read is said, never taken for a match.
    bs::DeviceSettings unread = source;
    unread.ports.reset();
    const std::vector<Difference> notRead = {{"ports", "named", kNotRead}};
    EXPECT_EQ(judged(profile, unread), notRead);
}

TEST(Compliance, WhatACameraHoldsForItselfIsLeftOutOfTheProfileAndNeverCompared) {
    bs::DeviceSettings source = setUp(makerCamera(1));
    source.time->useTimeServer = false;
    source.ddns = dev::DdnsSettings{true,
                                    QStringLiteral("dyndns"),
                                    QStringLiteral("u"),
                                    QStringLiteral("p"),
                                    {},
                                    QStringLiteral("cam1.example"),
                                    {}};
    const TakenProfile kept = ProfileOf(source);
    EXPECT_FALSE(kept.profile.date.has_value());
    EXPECT_FALSE(kept.profile.ddns.has_value());
    ASSERT_EQ(kept.leftOut.size(), 3u);
    EXPECT_NE(kept.leftOut[1].find("clock"), std::string::npos);
    EXPECT_NE(kept.leftOut[2].find("DDNS"), std::string::npos);
    // So another camera's clock, own host and name are no difference.
    bs::DeviceSettings other = source;
    other.device = makerCamera(2);
    other.device.name = QStringLiteral("Gate");
    other.ddns->host = QStringLiteral("cam2.example");
    other.time->local.hour = 3;
    const ReadResult read = ReadProfile(ProfileText(kept.profile));
    ASSERT_TRUE(read.profile);
    EXPECT_TRUE(judged(*read.profile, other).empty());

    // Another maker's camera is held to its ONVIF and RTSP port only: its
    // HTTP port is its ONVIF port, and it has no second RTSP port.
    bs::DeviceSettings onvif = setUp(onvifCamera(3));
    onvif.ports->ports = {8000, 8000, 554, 0};
    EXPECT_TRUE(judged(taken(setUp(makerCamera(1))), onvif).empty());
}

TEST(Compliance, ApplyingSendsEachCameraOnlyTheSettingsItDiffersIn) {
    const ProfileSpec profile = taken(setUp(makerCamera(1)));
    CheckedCamera ports{makerCamera(2), {{"ports.rtsp1", "554", "8554"}}, {}};
    CheckedCamera both{makerCamera(3),
                       {{"firmware", "13.1.0.5", "13.0"},
                        {"image.outdoor", "Indoor", "Outdoor"},
                        {"video.primary.bit_rate", "4096", "2048"}},
                       {}};
    CheckedCamera firmwareOnly{makerCamera(4), {{"firmware", "13.1.0.5", "13.0"}}, {}};
    std::string error;
    const std::optional<orv::jobs::JobSpec> job =
        ApplyJob(profile, {ports, both, firmwareOnly}, MakerDrivers(), {}, error);
    ASSERT_TRUE(job) << error;
    ASSERT_EQ(job->targets.size(), 2u) << "an upgrade, not a settings job, changes a firmware";
    EXPECT_EQ(job->targets[0].id, ports.device.id);
    const std::vector<std::string> operations = {"Modify Port", "Modify Image",
                                                 "Modify Video Stream", "Modify Video Stream"};
    EXPECT_EQ(job->operations, operations);

    EXPECT_FALSE(ApplyJob(profile, {firmwareOnly}, MakerDrivers(), {}, error));
    EXPECT_NE(error.find("upgrade"), std::string::npos);

    // A profile a camera's model has no list entry for (1080P on a model
    // of the first class) is that camera's problem, not the others'.
    dev::DeviceInfo small = makerCamera(5);
    small.model = QStringLiteral("QV-N3951");
    const std::vector<PerCamera> built =
        BuildPerCamera(profile, {makerCamera(6), small}, MakerDrivers());
    EXPECT_TRUE(built[0].built.has_value()) << built[0].problem;
    EXPECT_FALSE(built[1].built.has_value());
    EXPECT_NE(built[1].problem.find("video.primary.frame_size"), std::string::npos)
        << built[1].problem;
}
