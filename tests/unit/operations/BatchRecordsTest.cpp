// The settings the System and Network sub-pages send, built from their
// fields without a window: the date options, the port and DDNS checks, what
// a camera keeps of a text and the provider a camera names.

#include "MakerDrivers.h"
#include "operations/batchset/NetworkParamRules.h"
#include "operations/batchset/SystemTime.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace orv::batchset;
namespace device = orv::device;

namespace {

NetworkParams checkParams(const PortForm& ports, const DdnsForm& ddns) {
    return CheckNetworkParams(ports, ddns, MakerDrivers());
}

const DateTime kMay7{2013, 5, 7, 9, 5, 3};

PortForm ports(const wchar_t* http, const wchar_t* onvif, const wchar_t* rtsp1,
               const wchar_t* rtsp2) {
    return {http, onvif, rtsp1, rtsp2};
}

std::wstring messageOf(const NetworkParams& params) {
    return params.error ? params.error->id : L"";
}

} // namespace

TEST(SystemDateSettings, EachOptionSendsItsOwnSettings) {
    for (const DateOption manual : {DateOption::Manual, DateOption::ComputerTime}) {
        const auto time = BuildSystemDate(manual, -1, kMay7);
        ASSERT_TRUE(time);
        EXPECT_FALSE(time->useTimeServer);
        EXPECT_EQ(time->local, kMay7);
        EXPECT_EQ(DateText(time->local), "2013/05/07");
        EXPECT_EQ(TimeText(time->local), "09:05:03");
        EXPECT_TRUE(time->timeServer.isEmpty());
    }

    const auto server = BuildSystemDate(DateOption::TimeServer, 20, kMay7);
    ASSERT_TRUE(server);
    EXPECT_TRUE(server->useTimeServer);
    EXPECT_EQ(server->timeServer, QString::fromLatin1(kDefaultTimeServer));
    EXPECT_LE(std::strlen(kDefaultTimeServer), 31u);
    EXPECT_EQ(TimeZoneIndex(*server), 20);
    EXPECT_EQ(server->utcOffsetHours, 8);
    EXPECT_EQ(server->local, DateTime{}) << "the camera takes its time from the server";

    EXPECT_FALSE(BuildSystemDate(DateOption::Keep, 20, kMay7)) << "keep sends nothing";

    // Nonsense from a broken picker is cut to the digits a camera reads.
    const auto huge = BuildSystemDate(DateOption::Manual, -1, {2147483647, 99999, -1, 300, 7, 8});
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->local, (DateTime{83647, 99, -1, 0, 7, 8}));
}

TEST(SystemDateSettings, ACameraDateWithoutMonthOrDayIsNoDate) {
    device::TimeSettings camera;
    camera.local = kMay7;
    EXPECT_EQ(ReadDeviceDateTime(camera), kMay7);
    camera.local.day = 0;
    EXPECT_FALSE(ReadDeviceDateTime(camera));
    camera.local = {2013, 0, 7, 9, 5, 3};
    EXPECT_FALSE(ReadDeviceDateTime(camera)) << "what a date that did not read leaves";

    camera.utcOffsetHours = 12;
    EXPECT_EQ(TimeZoneIndex(camera), 24);
    camera.utcOffsetHours = 13;
    EXPECT_EQ(TimeZoneIndex(camera), -1) << "outside the table";
    camera.utcOffsetHours = -13;
    EXPECT_EQ(TimeZoneIndex(camera), -1);
}

TEST(DdnsProviders, ARecordTextSelectsTheFirstListTextContainingIt) {
    EXPECT_EQ(ProviderIndexFor(L""), 0) << "the empty text is in every list text";
    for (int i = 0; i < kProviderCount; ++i) {
        const std::string record = kProviders[static_cast<size_t>(i)].recordText;
        EXPECT_EQ(ProviderIndexFor(std::wstring(record.begin(), record.end())), i) << record;
    }
    // Entry 2 is listed with a host prefix and named by its bare domain.
    EXPECT_NE(std::wstring(kProviders[2].listText),
              std::wstring(kProviders[2].recordText,
                           kProviders[2].recordText + std::strlen(kProviders[2].recordText)));
    EXPECT_EQ(ProviderIndexFor(L"example.net"), 3) << "anything else is the last entry";
    EXPECT_EQ(ProviderIndexFor(L"DYNU.COM"), 3) << "the search is case-sensitive";
}

TEST(NetworkParamChecks, EmptyPortsAreReportedInFieldOrderThenDuplicates) {
    const DdnsForm off;
    EXPECT_EQ(messageOf(checkParams(ports(L"", L"80", L"554", L""), off)), L"90016")
        << "only the first empty field counts";
    EXPECT_EQ(messageOf(checkParams(ports(L"8080", L"", L"  ", L"555"), off)), L"90017");
    EXPECT_EQ(messageOf(checkParams(ports(L"8080", L"", L"554", L" "), off)), L"90018");
    EXPECT_EQ(messageOf(checkParams(ports(L"8080", L"", L"554", L"555"), off)), L"90019");
    EXPECT_EQ(messageOf(checkParams(ports(L"80", L"80", L"554", L"555"), off)), L"90020");
    EXPECT_EQ(messageOf(checkParams(ports(L"8080", L"80", L"555", L"555"), off)), L"90020");

    const NetworkParams ok = checkParams(ports(L" 99999 ", L"80", L"554", L"555"), off);
    ASSERT_FALSE(ok.error);
    EXPECT_EQ(ok.ports.ports, (device::Ports{99999, 80, 554, 555})) << "no range check";
    EXPECT_TRUE(ok.ports.handback.empty()) << "nothing of any camera's";
}

TEST(NetworkParamChecks, APortChangeMayNotJoinTwoPortsButKeepsOnesTheCameraShares) {
    // Another maker's camera answers ONVIF on its HTTP port.
    device::PortSettings camera;
    camera.ports = {8080, 8080, 554, 0};
    PortChange rtsp;
    rtsp.rtsp1 = 8554;
    device::PortSettings moved = camera;
    EXPECT_EQ(ApplyPortChange(moved, rtsp), "");
    EXPECT_EQ(moved.ports, (device::Ports{8080, 8080, 8554, 0}));
    PortChange clash;
    clash.rtsp1 = 8080;
    device::PortSettings refused = camera;
    EXPECT_EQ(ApplyPortChange(refused, clash), "HTTP 8080 = RTSP1");
    EXPECT_EQ(refused.ports, camera.ports) << "a refused change leaves the settings";
}

TEST(NetworkParamChecks, DdnsFieldsAreCheckedOnlyWhenEnabled) {
    const PortForm good = ports(L"8080", L"80", L"554", L"555");
    DdnsForm form{false, 2, L"", L"", L"", L""};
    NetworkParams off = checkParams(good, form);
    ASSERT_FALSE(off.error);
    EXPECT_FALSE(off.ddns.enabled);
    EXPECT_EQ(off.ddns.provider, QString::fromLatin1(kProviders[2].recordText));
    form.user = L"ignored";
    off = checkParams(good, form);
    EXPECT_TRUE(off.ddns.user.isEmpty()) << "a disabled registration sends no texts";
    form.provider = 7;
    EXPECT_EQ(checkParams(good, form).ddns.provider, QString::fromLatin1(kProviders[3].recordText));

    form = {true, 0, L"", L"", L"", L""};
    EXPECT_EQ(messageOf(checkParams(good, form)), L"90021");
    form.user = L" u ";
    EXPECT_EQ(messageOf(checkParams(good, form)), L"90022");
    form.password = L"p'w";
    EXPECT_EQ(messageOf(checkParams(good, form)), L"90023");
    form.host = L"cam.dynu.net";
    const NetworkParams on = checkParams(good, form);
    ASSERT_FALSE(on.error) << "entry 0 needs no hash";
    EXPECT_TRUE(on.ddns.enabled);
    EXPECT_EQ(on.ddns.user, "u");
    EXPECT_EQ(on.ddns.password, "p'w") << "as typed: the driver escapes it";
    EXPECT_EQ(on.ddns.host, "cam.dynu.net");
    EXPECT_TRUE(on.ddns.hash.isEmpty());

    form.hash = std::wstring(200, L'h');
    EXPECT_FALSE(checkParams(good, form).error) << "a hash nobody uses is no error";
    EXPECT_TRUE(checkParams(good, form).ddns.hash.isEmpty()) << "and does not go out";
    form.provider = kHashProvider;
    const NetworkParams longHash = checkParams(good, form);
    EXPECT_EQ(messageOf(longHash), L"90029") << "a hash the provider needs must fit";
    ASSERT_TRUE(longHash.field);
    EXPECT_STREQ(longHash.field->id, kDdnsHashLabel.id);
    form.hash = L"";
    EXPECT_EQ(messageOf(checkParams(good, form)), L"90024");
    form.hash = L"abc123";
    EXPECT_EQ(checkParams(good, form).ddns.hash, "abc123");
    form.user = std::wstring(15, L'\'');
    EXPECT_FALSE(checkParams(good, form).error) << "thirty escaped bytes fit in 32";
    form.user += L'\'';
    ASSERT_TRUE(checkParams(good, form).field);
    EXPECT_STREQ(checkParams(good, form).field->id, kDdnsUserLabel.id);
    // Port errors come before any DDNS field.
    EXPECT_EQ(
        messageOf(checkParams(ports(L"80", L"80", L"1", L"2"), {true, 1, L"", L"", L"", L""})),
        L"90020");
}
