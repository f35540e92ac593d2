#include "operations/network/NetworkRules.h"
#include "DeviceRecords.h"
#include "MakerDrivers.h"
#include "operations/common/ResultLines.h"
#include "text/FieldText.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace orv::network;
using orv::device::Ipv4Text;

namespace {

CheckedForm check(const NetworkForm& form, bool checked) {
    return CheckForm(form, MakerDrivers(), checked);
}

NetworkForm validForm() {
    return {L"admin", L"kt7391", L"Tor 1", L"192.0.2.50", L"255.255.255.0", L"192.0.2.1", L"8080"};
}

std::wstring errorOf(const NetworkForm& form, bool checked = false) {
    const auto result = check(form, checked);
    return result.error ? result.error->defaultText : L"";
}

tagQvIpcInfo device(unsigned char last, const char* name, const char* ip = "192.0.2.9") {
    tagQvIpcInfo d{};
    const unsigned char mac[8] = {0x00, 0x1B, 0x2C, 0x3D, 0x4E, last, 0xAA, 0xBB};
    std::memcpy(d.Mac, mac, 8);
    std::snprintf(d.DevName, sizeof d.DevName, "%s", name);
    std::snprintf(d.IpAddr, sizeof d.IpAddr, "%s", ip);
    std::snprintf(d.NetMask, sizeof d.NetMask, "255.255.255.0");
    std::snprintf(d.Gateway, sizeof d.Gateway, "192.0.2.1");
    d.HttpPort = 80;
    return d;
}

} // namespace

TEST(NetworkRules, AddressesNeedFourNumbersInRange) {
    EXPECT_TRUE(IsValidAddress(L"192.168.1.254"));
    EXPECT_FALSE(IsValidAddress(L"192.168.1.255"));
    EXPECT_FALSE(IsValidAddress(L"192.168.1"));
    EXPECT_FALSE(IsValidAddress(L"192.168.1.x"));
    EXPECT_FALSE(IsValidAddress(L"192.-1.1.1"));
    EXPECT_TRUE(IsValidAddress(L" 10.0.0.1 "));
    EXPECT_TRUE(IsValidAddress(L"10.0.0.1.99")) << "text after the fourth number is ignored";
    EXPECT_TRUE(IsValidAddress(L"0.0.0.0"));
    EXPECT_FALSE(IsValidAddress(L"99999999999999.1.1.1"));

    EXPECT_TRUE(IsValidNetmask(L"255.255.255.0"));
    EXPECT_TRUE(IsValidNetmask(L"255.0.255.0")) << "contiguity is not checked";
    EXPECT_FALSE(IsValidNetmask(L"0.255.255.0"));
    EXPECT_FALSE(IsValidNetmask(L"256.0.0.0"));
}

TEST(NetworkRules, ChecksRunInOrderAndStopAtTheFirstFailure) {
    NetworkForm f = validForm();
    f.user = L"  ";
    f.ip = L"bad";
    EXPECT_EQ(errorOf(f), L"Username Field can't be empty.");
    f = validForm();
    f.password = L"";
    EXPECT_EQ(errorOf(f), L"Password Field can't be empty.");
    f = validForm();
    f.deviceName = L" ";
    EXPECT_EQ(errorOf(f), L"Field can't be empty.");
    EXPECT_EQ(errorOf(f, true), L"") << "checked mode keeps each device's own name";
    f = validForm();
    f.ip = L"192.168.1.255";
    EXPECT_EQ(errorOf(f), L"Invalid IP address.");
    f.ip = L"";
    EXPECT_EQ(errorOf(f), L"Field can't be empty.");
    f = validForm();
    f.netmask = L"0.255.255.0";
    EXPECT_EQ(errorOf(f), L"Invalid Netmask.");
    f = validForm();
    f.gateway = L"192.0.2.255";
    EXPECT_EQ(errorOf(f), L"Invalid Gateway.");
    for (const wchar_t* port : {L"1023", L"65536", L"abc", L"-8080"}) {
        f = validForm();
        f.port = port;
        EXPECT_EQ(errorOf(f), L"Please input the port between 1024 and 65535.") << port;
    }
    for (const wchar_t* port : {L"1024", L"65535", L"8080xyz"}) {
        f = validForm();
        f.port = port;
        EXPECT_EQ(errorOf(f), L"") << port;
    }
}

TEST(NetworkRules, TheChangeCarriesTrimmedTextsAndTheGatewayAsDns) {
    NetworkForm f = validForm();
    f.user = L" o'neil ";
    f.password = L"a\\b";
    f.deviceName = L"Hof 北 ";
    f.ip = L" 192.0.2.50 trailing";
    const auto result = check(f, false);
    ASSERT_TRUE(result.change);
    const orv::device::AddressChange& c = *result.change;
    EXPECT_EQ(result.credentials.user, "o'neil") << "escaping is the driver's, at the wire";
    EXPECT_EQ(result.credentials.password, "a\\b");
    EXPECT_EQ(c.name, QStringLiteral("Hof 北"));
    EXPECT_EQ(Ipv4Text(c.address), "192.0.2.50");
    EXPECT_EQ(Ipv4Text(c.netmask), "255.255.255.0");
    EXPECT_EQ(Ipv4Text(c.dns), "192.0.2.1");
    EXPECT_EQ(c.httpPort, 8080);

    // What the camera's fields cannot take whole is refused by name.
    f = validForm();
    f.password = std::wstring(8, L'\'');
    auto refused = check(f, false);
    ASSERT_TRUE(refused.error && refused.field);
    EXPECT_EQ(refused.error->defaultText, std::wstring(orv::kTooLongForCamera.defaultText));
    EXPECT_EQ(refused.field->defaultText, std::wstring(kPasswordLabel.defaultText))
        << "eight apostrophes are sixteen bytes escaped; the field keeps fourteen";
    f = validForm();
    f.deviceName = std::wstring(32, L'\'');
    refused = check(f, false);
    ASSERT_TRUE(refused.field);
    EXPECT_EQ(refused.field->defaultText, std::wstring(kDeviceNameLabel.defaultText));
    EXPECT_FALSE(check(f, true).error) << "checked mode keeps each camera's name";
}

TEST(NetworkRules, ConsecutiveAddressesWrapPast254) {
    NetworkForm f = validForm();
    f.ip = L"192.168.1.250";
    const auto form = check(f, true);
    std::vector<orv::device::DeviceInfo> devices;
    for (unsigned char i = 0; i < 7; ++i) {
        devices.push_back(Found(device(i, "cam")));
    }
    const auto requests = BuildCheckedRequests(form, devices, false);
    ASSERT_EQ(requests.size(), 7u);
    const char* expected[] = {"192.168.1.250", "192.168.1.251", "192.168.1.252", "192.168.1.253",
                              "192.168.1.254", "192.168.1.1",   "192.168.1.1"};
    for (size_t k = 0; k < 7; ++k) {
        EXPECT_EQ(Ipv4Text(requests[k].change.address), expected[k]);
        EXPECT_EQ(requests[k].device.id, devices[k].id) << "each request goes to its own camera";
        EXPECT_EQ(requests[k].credentials.user, "admin");
    }

    f.ip = L"10.0.0.0";
    const auto fromZero =
        BuildCheckedRequests(check(f, true), {devices[0], devices[1], devices[2]}, false);
    EXPECT_EQ(Ipv4Text(fromZero[0].change.address), "10.0.0.1");
    EXPECT_EQ(Ipv4Text(fromZero[1].change.address), "10.0.0.1");
    EXPECT_EQ(Ipv4Text(fromZero[2].change.address), "10.0.0.2");
}

TEST(NetworkRules, CheckedModeKeepsEachDevicesNameAndWhatIsLeftEmpty) {
    NetworkForm f = validForm();
    f.netmask = L"";
    f.gateway = L" ";
    f.port = L"";
    const auto form = check(f, true);
    ASSERT_TRUE(form.keepNetmask && form.keepGateway && form.keepPort);
    tagQvIpcInfo own = device(3, "Süd");
    std::snprintf(own.NetMask, sizeof own.NetMask, "255.255.0.0");
    std::snprintf(own.Gateway, sizeof own.Gateway, "192.0.2.254");
    std::snprintf(own.Dns, sizeof own.Dns, "192.0.2.53");
    own.HttpPort = 8081;
    const auto requests = BuildCheckedRequests(
        form, {Found(device(1, "Nord")), Found(device(2, "Lager's")), Found(own)}, true);
    ASSERT_EQ(requests.size(), 3u);
    for (const auto& r : requests) {
        EXPECT_EQ(Ipv4Text(r.change.address), "192.0.2.50");
    }
    EXPECT_EQ(requests[0].change.name, "Nord");
    EXPECT_EQ(requests[1].change.name, "Lager's");
    const orv::device::AddressChange& kept = requests[2].change;
    EXPECT_EQ(kept.name, QStringLiteral("Süd"));
    EXPECT_EQ(Ipv4Text(kept.netmask), "255.255.0.0");
    EXPECT_EQ(Ipv4Text(kept.gateway), "192.0.2.254");
    EXPECT_EQ(Ipv4Text(kept.dns), "192.0.2.53") << "a kept gateway keeps its DNS too";
    EXPECT_EQ(kept.httpPort, 8081);
    EXPECT_TRUE(BuildCheckedRequests(form, {}, true).empty());
}

TEST(NetworkRules, AnUnchangedDeviceNeedsNoRequest) {
    tagQvIpcInfo d = device(1, "Tor 1", "192.0.2.50");
    d.HttpPort = 8080;
    auto change = *check(validForm(), false).change;
    change.name = QStringLiteral("TOR 1");
    EXPECT_TRUE(RequestChangesNothing(change, Found(d)));
    d.HttpPort = 80;
    EXPECT_FALSE(RequestChangesNothing(change, Found(d)));
    d.HttpPort = 8080;
    change.name = QStringLiteral("Tor 2");
    EXPECT_FALSE(RequestChangesNothing(change, Found(d)));
    change.name = QStringLiteral("Tor 1");
    std::snprintf(d.Gateway, sizeof d.Gateway, "192.0.2.254");
    EXPECT_FALSE(RequestChangesNothing(change, Found(d)));
}

TEST(RecordText, AFieldTakesExactlyWhatTheConversionKeepsWhole) {
    // Judged against the conversion every text for a camera goes through.
    for (const int codePage : {orv::kCpUtf8, orv::kCpAnsi}) {
        for (const std::wstring piece :
             {L"a", L"\\", L"'", L"\u00e9", L"\u5317", L"a\u00e9\u5317'"}) {
            std::wstring text;
            for (int n = 0; n < 40; ++n, text += piece) {
                char field[32] = {};
                const bool kept = WideToMulti(codePage, text.c_str(), field, 32, true) > 0;
                EXPECT_EQ(orv::FitsRecordField(text, codePage, 32), kept || text.empty());
                const std::wstring cut = orv::CutToRecordField(text, codePage, 32);
                EXPECT_EQ(text.substr(0, cut.size()), cut);
                EXPECT_TRUE(orv::FitsRecordField(cut, codePage, 32));
                if (cut.size() < text.size()) {
                    EXPECT_FALSE(orv::FitsRecordField(text.substr(0, cut.size() + 1), codePage, 32))
                        << "the longest beginning that fits";
                }
            }
        }
    }
}

TEST(ResultLines, ModifyLinesNameTheDevice) {
    const orv::device::DeviceInfo d = Found(device(0x5F, "x", "192.168.1.20"));
    EXPECT_EQ(orv::ModifyResultLine(d, true),
              "[00:1B:2C:3D:4E:5F] Modify IP,Port,Netmask to 192.168.1.20, 80, 255.255.255.0 "
              "Succeed.");
    EXPECT_EQ(orv::ModifyResultLine(d, false),
              "[00:1B:2C:3D:4E:5F] Modify IP,Port,Netmask to 192.168.1.20, 80, 255.255.255.0 "
              "Failed.");
}
