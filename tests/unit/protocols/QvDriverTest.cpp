// The maker's driver: its records as device values and back, and sessions
// with simulated cameras on loopback, judged by what the cameras hold.

#include "protocols/qv/QvDriver.h"
#include "TestCameras.h"
#include "device/DriverSet.h"
#include "protocols/qv/QvRecords.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace orv::device;
using namespace orv::qv;

namespace {

template <class Record>
Record patterned() {
    Record r;
    auto* bytes = reinterpret_cast<unsigned char*>(&r);
    for (std::size_t i = 0; i < sizeof r; ++i) {
        bytes[i] = static_cast<unsigned char>(0x31 + i % 7);
    }
    return r;
}

template <class Record>
bool sameBytes(const Record& a, const Record& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

tagQvIpcInfo answer() {
    tagQvIpcInfo r{};
    const std::uint8_t mac[8] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x5A, 0xAB, 0xCD};
    std::memcpy(r.Mac, mac, sizeof mac);
    std::strcpy(r.DevName, "T\xC3\xBCr 3");
    std::strcpy(r.IpAddr, "192.0.2.10");
    r.HttpPort = 8080;
    std::strcpy(r.NetMask, "255.255.255.0");
    std::strcpy(r.Gateway, "192.0.2.1");
    std::strcpy(r.Dns, "192.0.2.1");
    std::strcpy(r.Model, "QVIP3651");
    std::strcpy(r.Version, "V2.1.0");
    return r;
}

} // namespace

TEST(QvRecords, AnAnswerBecomesADeviceAndItsWireIdGoesBackWhole) {
    const auto when = std::chrono::steady_clock::now();
    const DeviceInfo d = DeviceOf(answer(), when);
    EXPECT_EQ(d.id.Text(), "mac:00:11:22:33:44:5A");
    EXPECT_EQ(d.id, DeviceId::OfMac(d.id.Mac()));
    EXPECT_EQ(d.name, QString::fromUtf8("T\xC3\xBCr 3"));
    EXPECT_EQ(d.AddressText(), "192.0.2.10");
    EXPECT_EQ(Ipv4Text(d.netmask), "255.255.255.0");
    EXPECT_EQ(d.ports.http, 8080);
    EXPECT_EQ(d.ShownModel(), "QVIP3651") << "no display model: the model shows";
    EXPECT_EQ(d.firmware, "V2.1.0");
    EXPECT_TRUE(d.Speaks(Protocol::Maker));
    EXPECT_FALSE(d.Speaks(Protocol::Onvif));
    EXPECT_EQ(d.lastAnswer, when);
    // The two bytes after the MAC travel back in every request.
    // Callers not yet on device values take the record back: the same bytes
    // discovery gave, so their requests stay what they were.
    const tagQvIpcInfo again = RecordOf(d);
    const tagQvIpcInfo original = answer();
    EXPECT_EQ(std::memcmp(&again, &original, sizeof again), 0);
    const auto wire = WireIdOf(d);
    ASSERT_TRUE(wire);
    EXPECT_EQ((*wire)[6], 0xAB);
    EXPECT_EQ((*wire)[7], 0xCD);

    AddressChange change{*ParseIpv4("192.0.2.77"),
                         *ParseIpv4("255.255.0.0"),
                         *ParseIpv4("192.0.2.1"),
                         *ParseIpv4("192.0.2.1"),
                         8081,
                         QStringLiteral("O'Neil\\1")};
    const auto request =
        ModifyRequestOf(d, change, {QStringLiteral("admin"), QStringLiteral("pw")});
    ASSERT_TRUE(request);
    EXPECT_EQ(std::memcmp(request->Mac, wire->data(), 8), 0);
    EXPECT_STREQ(request->IpAddr, "192.0.2.77");
    EXPECT_STREQ(request->NetMask, "255.255.0.0");
    EXPECT_STREQ(request->Dns, "192.0.2.1");
    EXPECT_EQ(request->HttpPort, 8081);
    EXPECT_STREQ(request->DevName, "O\\'Neil\\\\1") << "texts go out escaped";
    EXPECT_STREQ(request->UserName, "admin");
    // A password its 16-byte field cannot take whole is refused, never cut;
    // a camera's own name that grows past its field when escaped is cut.
    EXPECT_FALSE(ModifyRequestOf(d, change, {QStringLiteral("admin"), QString(15, 'p')}));
    CQvDriver driver;
    EXPECT_FALSE(driver.Takes(TextField::Password, QString(15, 'p')));
    EXPECT_TRUE(driver.Takes(TextField::Password, QString(14, 'p')));
    EXPECT_FALSE(driver.Takes(TextField::User, QStringLiteral("a'") + QString(29, 'u')));
    change.name = QString(40, '\'');
    EXPECT_FALSE(driver.Takes(TextField::Name, change.name));
    const auto cut = ModifyRequestOf(d, change, {QStringLiteral("admin"), QStringLiteral("pw")});
    ASSERT_TRUE(cut);
    EXPECT_EQ(std::strlen(cut->DevName), 62u) << "31 escaped apostrophes: cut, never emptied";
    DeviceInfo found = d;
    found.services.clear();
    EXPECT_FALSE(ModifyRequestOf(found, change, {QStringLiteral("admin"), QStringLiteral("pw")}))
        << "a device the maker's discovery never found has no wire id";
}

TEST(QvRecords, SettingsMadeFromARecordGiveItsBytesBackAndChangeOnlyWhatChanged) {
    const auto imaging = [] {
        auto r = patterned<QvImagingConfig>();
        r.powerLineFrequency = 60;
        r.irCutMode = 2;
        r.localDisplay = 1;
        r.outdoorMode = 0;
        r.exposureLevel = 4;
        r.maxExposureTime = 3;
        return r;
    }();
    EXPECT_TRUE(sameBytes(RecordOf(ImageOf(imaging)), imaging));
    ImageSettings image = ImageOf(imaging);
    image.exposureLevel = 9;
    QvImagingConfig changed = imaging;
    changed.exposureLevel = 9;
    EXPECT_TRUE(sameBytes(RecordOf(image), changed)) << "the camera's own bytes go back";

    auto video = patterned<QvVideoConfig>();
    video.stream = 1;
    video.enabled = 1;
    video.codec = 0;
    video.frameSize = 5;
    video.bitRateControl = 1;
    const StreamSettings stream = StreamOf(video);
    EXPECT_EQ(std::pair(stream.width, stream.height), std::pair(1280, 720));
    EXPECT_TRUE(sameBytes(RecordOf(StreamKind::Primary, stream), video));
    video.frameSize = 9; // a size this tool has no name for
    EXPECT_TRUE(sameBytes(RecordOf(StreamKind::Primary, StreamOf(video)), video));
    // The secondary table is another one: code 2 is 176*144 there.
    EXPECT_EQ(FrameSizeOf(StreamKind::Secondary, 2), std::pair(176, 144));
    EXPECT_EQ(FrameSizeCode(StreamKind::Primary, 176, 144), -1);

    QvPortInfo ports{80, 8000, 554, 555, 0x5A5A};
    EXPECT_TRUE(sameBytes(RecordOf(PortsOf(ports)), ports));

    QvSystemDate date{};
    std::strcpy(date.date, "2026/12/06");
    std::strcpy(date.time, "17:05:09");
    std::strcpy(date.timeServer, "ntp.example.net");
    date.timeZone = 20;
    const TimeSettings time = TimeOf(date);
    EXPECT_EQ(time.local, (LocalDateTime{2026, 12, 6, 17, 5, 9}));
    EXPECT_EQ(time.utcOffsetHours, 8);
    EXPECT_TRUE(sameBytes(RecordOf(time), date));
    TimeSettings farEast = time;
    farEast.utcOffsetHours = 14;
    EXPECT_EQ(RecordOf(farEast).timeZone, 24) << "a zone beyond the record's range is clamped";

    DdnsSettings ddns;
    ddns.host = QString(128, 'h');
    EXPECT_FALSE(RecordOf(ddns)) << "a host its field cannot take whole";

    // A camera's own spellings and codes that read as an unchanged value go
    // back as they came: its date with dashes, a zone out of range, stream
    // and image codes beyond the named ones, a DDNS text that the escaping
    // would lengthen beyond its field.
    QvSystemDate own = date;
    std::strcpy(own.date, "2026-12-06");
    own.timeZone = 30;
    EXPECT_TRUE(sameBytes(RecordOf(TimeOf(own)), own));
    video.enabled = 2;
    video.bitRateControl = 5;
    EXPECT_TRUE(sameBytes(RecordOf(StreamKind::Primary, StreamOf(video)), video));
    auto odd = imaging;
    odd.irCutMode = 3;
    odd.localDisplay = 7;
    odd.outdoorMode = 2;
    EXPECT_TRUE(sameBytes(RecordOf(ImageOf(odd)), odd));
    QvDdnsInfo camera{};
    camera.enable = 3;
    std::memset(camera.user, '\\', sizeof camera.user - 1);
    std::strcpy(camera.host, "it's.example.org");
    EXPECT_TRUE(sameBytes(*RecordOf(DdnsOf(camera)), camera));
    DdnsSettings renamed = DdnsOf(camera);
    renamed.host = QStringLiteral("o'neil.example.org");
    const std::optional<QvDdnsInfo> sent = RecordOf(renamed);
    ASSERT_TRUE(sent);
    EXPECT_STREQ(sent->host, "o\\'neil.example.org") << "a changed text is escaped";
    EXPECT_EQ(std::memcmp(sent->user, camera.user, sizeof camera.user), 0) << "the rest stays";
}

TEST(QvRecords, EveryByteButTheSixteenSeparatorsIsPercentEncoded) {
    EXPECT_EQ(EscapeDeviceName("Cam 1"), "%43%61%6D%20%31");
    EXPECT_EQ(EscapeDeviceName("a.b"), "%61.%62");
    EXPECT_EQ(EscapeDeviceName("!@#$&*()=:/;?+'."), "!@#$&*()=:/;?+'.");
    // Below 16 the first digit is a blank; UTF-8 bytes go one by one.
    EXPECT_EQ(EscapeDeviceName("\x0A"), "% A");
    EXPECT_EQ(EscapeDeviceName("S\xC3\xBC"), "%53%C3%BC");
    EXPECT_EQ(EscapeDeviceName("a\\'b"), "%61%5C'%62") << "the escapes travel encoded";
    EXPECT_EQ(EscapeDeviceName(""), "");

    // 31 name bytes make 93 characters; the 128-byte buffer never overflows
    // and never ends in half a unit.
    const std::string longest(31, 'x');
    EXPECT_EQ(EscapeDeviceName(longest).size(), 93u);
    const std::string cut = EscapeDeviceName(std::string(60, 'x'));
    EXPECT_EQ(cut.size(), 126u);
    EXPECT_EQ(cut.substr(123), "%78");
}

TEST(QvSession, ASessionWithASimulatedCameraChangesWhatItWasToldAndReportsWhyItFailed) {
    testcams::Lab lab(2);
    DeviceInfo device;
    device.address = *ParseIpv4(lab.ip(0));
    device.ports.http = lab.port();
    CQvDriver driver;

    const auto refused = driver.Open(device, {QStringLiteral("admin"), QStringLiteral("nope")});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.FaultOf(), Fault::WrongCredentials);

    auto opened = driver.Open(device, {QStringLiteral("admin"), QString(testcams::kPassword)});
    ASSERT_TRUE(opened);
    IDeviceSession& session = *opened.Value();

    auto ports = session.GetPorts();
    ASSERT_TRUE(ports);
    PortSettings wanted = *ports;
    wanted.ports.rtsp2 = 1556;
    ASSERT_TRUE(session.SetPorts(wanted));
    ASSERT_TRUE(session.SetName(QString::fromUtf8("Gate 'B' \\ T\xC3\xBCr")));
    auto image = session.GetImage();
    ASSERT_TRUE(image);
    ImageSettings darker = *image;
    darker.exposureLevel = 7;
    ASSERT_TRUE(session.SetImage(darker));

    const auto camera = lab.host.snapshot(lab.key(0));
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->config["ports"]["rtsp2"], 1556);
    EXPECT_EQ(camera->config["ports"]["rtsp1"], ports->ports.rtsp) << "untouched ports stay";
    EXPECT_EQ(camera->identity.httpPort, ports->ports.http);
    EXPECT_EQ(camera->identity.deviceName, "Gate 'B' \\ T\xC3\xBCr");
    const auto back = session.GetImage();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->exposureLevel, 7);
    EXPECT_EQ(back->handback.substr(0, 4), image->handback.substr(0, 4))
        << "the camera's own imaging bytes survive";
    EXPECT_EQ(lab.host.snapshot(lab.key(1))->config.count("ports"), 0u)
        << "the other camera on the same port is untouched";

    const auto tooLong = session.SetName(QString(40, QLatin1Char('x')));
    EXPECT_FALSE(tooLong);

    DeviceInfo nobody = device;
    nobody.ports.http = testcams::freePort();
    const auto unreachable = driver.Open(nobody, {QStringLiteral("admin"), QStringLiteral("pw")});
    ASSERT_FALSE(unreachable);
    EXPECT_EQ(unreachable.FaultOf(), Fault::Unreachable);
}

TEST(QvDriver, FormsAskTheDriverWhatACameraKeepsOfATypedText) {
    CQvDriver driver;
    CDriverSet drivers;
    drivers.Add(driver);
    // The DDNS user's 32 bytes keep 30 once escaped; the host's 128 keep 126.
    EXPECT_TRUE(drivers.Takes(TextField::DdnsUser, QString(15, '\'')));
    EXPECT_FALSE(drivers.Takes(TextField::DdnsUser, QString(15, '\'') + 'x'));
    EXPECT_TRUE(drivers.Takes(TextField::DdnsHost, QString(126, 'h')));
    EXPECT_FALSE(drivers.Takes(TextField::DdnsHost, QString(127, 'h')));
    // A name keeps 30 bytes of UTF-8: ten three-byte characters, and a cut
    // never splits a character, nor a pair that makes one.
    const QString north = QString(11, QChar(0x5317));
    EXPECT_EQ(drivers.Cut(TextField::Name, north), QString(10, QChar(0x5317)));
    const QString emoji = QString::fromUcs4(U"\U0001F600\U0001F600\U0001F600\U0001F600"
                                            U"\U0001F600\U0001F600\U0001F600\U0001F600");
    const QString cut = drivers.Cut(TextField::Name, emoji);
    EXPECT_EQ(cut.size(), 14) << "seven four-byte characters, each a pair";
    EXPECT_FALSE(cut.back().isHighSurrogate());
    EXPECT_EQ(drivers.Cut(TextField::Name, QStringLiteral("Tor 1")), QStringLiteral("Tor 1"));
    EXPECT_TRUE(CDriverSet().Takes(TextField::Name, QString(500, 'x'))) << "no driver, no limit";
}
