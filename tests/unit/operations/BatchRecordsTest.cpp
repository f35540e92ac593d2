// The records the System and Network sub-pages send, built from their fields
// without a window: date texts, the time-server choice, the percent form of
// a device name, the port and DDNS checks and the provider a camera names.

#include "operations/batchset/NetworkParamRules.h"
#include "operations/batchset/SystemRecords.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace orv::batchset;

namespace {

const DateTime kMay7{2013, 5, 7, 9, 5, 3};

PortForm ports(const wchar_t* http, const wchar_t* onvif, const wchar_t* rtsp1,
               const wchar_t* rtsp2) {
    return {http, onvif, rtsp1, rtsp2};
}

std::wstring messageOf(const NetworkParams& params) {
    return params.error ? params.error->id : L"";
}

} // namespace

TEST(SystemDateRecord, EachOptionSendsItsOwnRecord) {
    for (const DateOption manual : {DateOption::Manual, DateOption::ComputerTime}) {
        const auto record = BuildSystemDate(manual, -1, kMay7);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->useTimeServer, 0);
        EXPECT_STREQ(record->date, "2013/05/07");
        EXPECT_STREQ(record->time, "09:05:03");
        EXPECT_EQ(record->timeZone, 0);
        EXPECT_STREQ(record->timeServer, "");
    }

    const auto server = BuildSystemDate(DateOption::TimeServer, 20, kMay7);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->useTimeServer, 1);
    EXPECT_STREQ(server->timeServer, kDefaultTimeServer);
    EXPECT_LE(std::strlen(kDefaultTimeServer), 31u);
    EXPECT_EQ(server->timeZone, 20);
    EXPECT_STREQ(server->date, "") << "the camera takes its time from the server";
    EXPECT_STREQ(server->time, "");

    EXPECT_FALSE(BuildSystemDate(DateOption::Keep, 20, kMay7)) << "keep sends nothing";

    // Nonsense from a broken picker still fits the fields.
    const auto huge = BuildSystemDate(DateOption::Manual, -1, {-2147483647, 99999, -1, 300, 7, 8});
    ASSERT_TRUE(huge);
    EXPECT_LT(strnlen(huge->date, sizeof huge->date), sizeof huge->date);
}

TEST(SystemDateRecord, CameraDateAndTimeReadAsThreeNumbersEach) {
    QvSystemDate record{};
    std::strcpy(record.date, "2013-05-07");
    std::strcpy(record.time, "09:05:03");
    EXPECT_EQ(ReadDeviceDateTime(record), kMay7);

    std::strcpy(record.date, "2013/05/07");
    EXPECT_FALSE(ReadDeviceDateTime(record)) << "a camera answers with dashes";
    std::strcpy(record.date, "2013-05");
    EXPECT_FALSE(ReadDeviceDateTime(record));
    std::strcpy(record.date, "2013-5-7");
    std::strcpy(record.time, "9:5:");
    EXPECT_FALSE(ReadDeviceDateTime(record));
    std::strcpy(record.time, "9:5:3");
    EXPECT_EQ(ReadDeviceDateTime(record), kMay7);
    // A date field without its terminator is read no further than its width.
    std::memset(record.date, '1', sizeof record.date);
    EXPECT_FALSE(ReadDeviceDateTime(record));
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
    EXPECT_EQ(messageOf(CheckNetworkParams(ports(L"", L"80", L"554", L""), off)), L"90016")
        << "only the first empty field counts";
    EXPECT_EQ(messageOf(CheckNetworkParams(ports(L"8080", L"", L"  ", L"555"), off)), L"90017");
    EXPECT_EQ(messageOf(CheckNetworkParams(ports(L"8080", L"", L"554", L" "), off)), L"90018");
    EXPECT_EQ(messageOf(CheckNetworkParams(ports(L"8080", L"", L"554", L"555"), off)), L"90019");
    EXPECT_EQ(messageOf(CheckNetworkParams(ports(L"80", L"80", L"554", L"555"), off)), L"90020");
    EXPECT_EQ(messageOf(CheckNetworkParams(ports(L"8080", L"80", L"555", L"555"), off)), L"90020");

    const NetworkParams ok = CheckNetworkParams(ports(L" 99999 ", L"80", L"554", L"555"), off);
    ASSERT_FALSE(ok.error);
    EXPECT_EQ(ok.ports.httpPort, 99999) << "no range check";
    EXPECT_EQ(ok.ports.onvifPort, 80);
    EXPECT_EQ(ok.ports.rtspPort1, 554);
    EXPECT_EQ(ok.ports.rtspPort2, 555);
    EXPECT_EQ(ok.ports.reserved, 0);
}

TEST(NetworkParamChecks, DdnsFieldsAreCheckedOnlyWhenEnabled) {
    const PortForm good = ports(L"8080", L"80", L"554", L"555");
    DdnsForm form{false, 2, L"", L"", L"", L""};
    NetworkParams off = CheckNetworkParams(good, form);
    ASSERT_FALSE(off.error);
    EXPECT_EQ(off.ddns.enable, 0);
    EXPECT_STREQ(off.ddns.provider, kProviders[2].recordText);
    form.user = L"ignored";
    off = CheckNetworkParams(good, form);
    EXPECT_STREQ(off.ddns.user, "") << "a disabled registration sends no texts";
    form.provider = 7;
    EXPECT_STREQ(CheckNetworkParams(good, form).ddns.provider, kProviders[3].recordText);

    form = {true, 0, L"", L"", L"", L""};
    EXPECT_EQ(messageOf(CheckNetworkParams(good, form)), L"90021");
    form.user = L" u ";
    EXPECT_EQ(messageOf(CheckNetworkParams(good, form)), L"90022");
    form.password = L"p'w";
    EXPECT_EQ(messageOf(CheckNetworkParams(good, form)), L"90023");
    form.host = L"cam.dynu.net";
    const NetworkParams on = CheckNetworkParams(good, form);
    ASSERT_FALSE(on.error) << "entry 0 needs no hash";
    EXPECT_EQ(on.ddns.enable, 1);
    EXPECT_STREQ(on.ddns.user, "u");
    EXPECT_STREQ(on.ddns.password, "p\\'w") << "texts go to the SDK escaped";
    EXPECT_STREQ(on.ddns.host, "cam.dynu.net");

    form.provider = kHashProvider;
    EXPECT_EQ(messageOf(CheckNetworkParams(good, form)), L"90024");
    form.hash = L"abc123";
    EXPECT_STREQ(CheckNetworkParams(good, form).ddns.hash, "abc123");
    // Port errors come before any DDNS field.
    EXPECT_EQ(messageOf(CheckNetworkParams(ports(L"80", L"80", L"1", L"2"),
                                           {true, 1, L"", L"", L"", L""})),
              L"90020");
}
