// The ONVIF driver's sessions against the simulator on loopback: device
// values in, the simulator's store as the judge; what ONVIF cannot carry
// ends as "not supported", never silently dropped.

#include "LoopbackSim.h"

#include "protocols/onvif/OnvifDriver.h"
#include "protocols/onvif/OnvifSession.h"

namespace {

using orv::device::Fault;

class OnvifSessionTest : public LoopbackSim {
protected:
    std::unique_ptr<orv::device::IDeviceSession> open(int camera,
                                                      const QString& password = "s3cret") {
        orv::device::DeviceInfo d;
        d.address = 0x7f000002u + static_cast<std::uint32_t>(camera);
        d.model = camera < 2 ? "QVIP3651" : "LX-40";
        d.services = {{orv::device::Protocol::Onvif, QString::fromStdString(url(camera)), {}}};
        orv::device::Failure failure;
        auto session = orv::onvif::OpenOnvifSession(d, "admin", password, failure);
        m_failure = failure;
        return session;
    }
    orv::device::Failure m_failure;
};

TEST_F(OnvifSessionTest, StreamsAndPictureGoThroughTheCamerasOwnRanges) {
    start();
    auto session = open(0);
    ASSERT_TRUE(session) << m_failure.detail;

    auto primary = session->GetStream(orv::device::StreamKind::Primary);
    ASSERT_TRUE(primary) << primary.Error().detail;
    auto changed = *primary;
    changed.bitRateKbps = 2500;
    changed.iFrameInterval = 50;
    ASSERT_TRUE(session->SetStream(orv::device::StreamKind::Primary, changed));
    const auto stream =
        view(0, [](const camsim::Camera& c) { return c.deviceConfig["streams"][1]; });
    EXPECT_EQ(stream["bitRate"].get<int>(), 2500);
    EXPECT_EQ(stream["iFrameInterval"].get<int>(), 50);

    // Outside the options the camera gave: refused by name, nothing sent.
    changed.bitRateKbps = 100000;
    const auto refused = session->SetStream(orv::device::StreamKind::Primary, changed);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().fault, Fault::Refused);
    EXPECT_EQ(view(0,
                   [](const camsim::Camera& c) {
                       return c.deviceConfig["streams"][1]["bitRate"].get<int>();
                   }),
              2500);
    changed.enabled = false;
    EXPECT_EQ(session->SetStream(orv::device::StreamKind::Primary, changed).FaultOf(),
              Fault::NotSupported);

    ASSERT_TRUE(session->SetPicture({40, 128, 255}));
    const auto picture = view(0, [](const camsim::Camera& c) { return c.deviceConfig["picture"]; });
    EXPECT_EQ(picture["brightness"].get<int>(), 40);
    EXPECT_EQ(picture["saturation"].get<int>(), 255);
    const auto read = session->GetPicture();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->brightness, 40);

    // IR cut and the longest exposure go through Imaging; the maker's power
    // line frequency has no place in ONVIF and is refused as such.
    const auto readImage = session->GetImage();
    ASSERT_TRUE(readImage);
    auto image = *readImage;
    EXPECT_EQ(image.maxExposureTime, 2) << "1/25 s, as the camera's record holds it";
    image.irCut = orv::device::IrCutMode::Night;
    image.maxExposureTime = 4; // 1/100 s
    ASSERT_TRUE(session->SetImage(image));
    EXPECT_EQ(session->GetImage()->irCut, orv::device::IrCutMode::Night);
    EXPECT_EQ(view(0,
                   [](const camsim::Camera& c) {
                       return c.deviceConfig["imaging"]["maxExposureTime"].get<int>();
                   }),
              4);
    image.powerLineHz = image.powerLineHz == 50 ? 60 : 50;
    EXPECT_EQ(session->SetImage(image).FaultOf(), Fault::NotSupported);
}

TEST_F(OnvifSessionTest, TimeNamePortsAndPasswordReachTheCamera) {
    start();
    auto session = open(0);
    ASSERT_TRUE(session) << m_failure.detail;
    const auto readTime = session->GetTime();
    ASSERT_TRUE(readTime);
    auto time = *readTime;
    time.useTimeServer = false;
    time.utcOffsetHours = 2;
    time.local = {2026, 3, 1, 10, 30, 0};
    ASSERT_TRUE(session->SetTime(time));
    const auto back = session->GetTime();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->utcOffsetHours, 2);
    EXPECT_EQ(back->local.year, 2026);
    EXPECT_EQ(back->local.hour, 10);
    EXPECT_NEAR(back->local.minute, 30, 1);

    ASSERT_TRUE(session->SetName(QString::fromUtf8("Tor Nord – 2")));
    EXPECT_EQ(view(0, [](const camsim::Camera& c) { return c.name; }), "Tor Nord – 2");

    const auto readPorts = session->GetPorts();
    ASSERT_TRUE(readPorts);
    auto ports = *readPorts;
    ports.ports.rtsp = 10554;
    ASSERT_TRUE(session->SetPorts(ports));
    EXPECT_EQ(
        view(0,
             [](const camsim::Camera& c) { return c.deviceConfig["ports"]["rtsp1"].get<int>(); }),
        10554);

    ASSERT_TRUE(session->ChangePassword("admin", "0ther-pass"));
    EXPECT_EQ(view(0, [](const camsim::Camera& c) { return c.password; }), "0ther-pass");
    EXPECT_FALSE(open(0, "s3cret"));
    EXPECT_EQ(m_failure.fault, Fault::WrongCredentials);
}

TEST_F(OnvifSessionTest, AnotherMakersCameraServesHttpAndOnvifOnOnePort) {
    start();
    auto session = open(2);
    ASSERT_TRUE(session) << m_failure.detail;
    const auto read = session->GetPorts();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->ports.http, read->ports.onvif);
    auto split = *read;
    split.ports.http = 8081;
    split.ports.onvif = 8082;
    const auto refused = session->SetPorts(split);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().fault, Fault::NotSupported);
    EXPECT_EQ(view(2, [](const camsim::Camera& c) { return c.deviceConfig["ports"]["onvif"]; }),
              m_port)
        << "nothing sent";
    // RTSP alone: the shared port stays, and so does the session.
    auto rtsp = *read;
    rtsp.ports.rtsp = 10554;
    ASSERT_TRUE(session->SetPorts(rtsp));
    EXPECT_TRUE(session->GetStream(orv::device::StreamKind::Primary));
}

TEST_F(OnvifSessionTest, ACameraWithoutImagingOrFirmwareSaysNotSupported) {
    start();
    auto session = open(2);
    ASSERT_TRUE(session) << m_failure.detail;
    EXPECT_EQ(session->GetPicture().FaultOf(), Fault::NotSupported);
    EXPECT_EQ(session->GetImage().FaultOf(), Fault::NotSupported);
    EXPECT_EQ(session->UpdateFirmware("/nonexistent", {}).FaultOf(), Fault::NotSupported);
    EXPECT_EQ(session->UploadOem("/nonexistent", {}).FaultOf(), Fault::NotSupported);
}

TEST_F(OnvifSessionTest, FirmwareOnlyAfterTheModelAtTheAddressIsChecked) {
    start();
    const auto image = m_dir / "fw.bin";
    std::ofstream(image) << "FW QVIP3651 13.3.0.0\n" << std::string(50000, 'x');
    // Listed as another model: the camera at the address is not the one
    // the image was chosen for, so nothing is sent.
    orv::device::DeviceInfo d;
    d.model = "QVIP9999";
    d.services = {{orv::device::Protocol::Onvif, QString::fromStdString(url(1)), {}}};
    orv::device::Failure failure;
    auto wrong = orv::onvif::OpenOnvifSession(d, "admin", "s3cret", failure);
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->UpdateFirmware(QString::fromStdString(image.string()), {}).FaultOf(),
              Fault::Refused);
    EXPECT_EQ(view(1, [](const camsim::Camera& c) { return c.version; }), "13.1.0.5");

    auto session = open(1);
    ASSERT_TRUE(session);
    ASSERT_TRUE(session->UpdateFirmware(QString::fromStdString(image.string()), {}));
    EXPECT_EQ(view(1, [](const camsim::Camera& c) { return c.version; }), "13.3.0.0");
}

TEST(OnvifAnnouncement, AddressIdentityAndScopes) {
    onvifc::Found f;
    f.from = 0xc000020b; // 192.0.2.11
    f.message.kind = onvifc::DiscoveryMessage::Kind::ProbeMatch;
    f.message.endpoint = "urn:uuid:5f1c0a00-1dd2-11b2-8000-00aabbccddee";
    // Advertised on an address nobody reaches: reached where it answered from.
    f.message.xaddrs = {"http://[fe80::1]/onvif/device_service",
                        "http://10.255.255.1:8899/onvif/device_service"};
    f.message.scopes = {"onvif://www.onvif.org/name/Gate%20North",
                        "onvif://www.onvif.org/hardware/LX-40"};
    const auto d = orv::onvif::DeviceFromAnnouncement(f);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->AddressText(), "192.0.2.11");
    EXPECT_EQ(d->Service(orv::device::Protocol::Onvif)->address,
              "http://192.0.2.11:8899/onvif/device_service");
    EXPECT_EQ(d->name, "Gate North");
    EXPECT_EQ(d->model, "LX-40");
    // A time-based UUID's node is the MAC: the same camera as its maker's
    // answer.
    ASSERT_TRUE(d->mac);
    EXPECT_EQ(d->id.Text(), "mac:00:AA:BB:CC:DD:EE");

    // A random UUID says nothing of the MAC; the endpoint is the identity.
    f.message.endpoint = "urn:uuid:4f564f4e-5649-4600-8000-024f56100001";
    const auto random = orv::onvif::DeviceFromAnnouncement(f);
    ASSERT_TRUE(random);
    EXPECT_FALSE(random->mac);
    EXPECT_EQ(random->id.Text(), "onvif:urn:uuid:4f564f4e-5649-4600-8000-024f56100001");

    f.message.xaddrs = {"ftp://192.0.2.11/x"};
    EXPECT_FALSE(orv::onvif::DeviceFromAnnouncement(f));
}

} // namespace
