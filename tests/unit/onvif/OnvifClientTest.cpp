// The ONVIF client against the simulator's ONVIF face on loopback: each
// call's effect is judged by the simulator's camera store, never by what
// the client read back. Cameras live at 127.0.0.2 and up.

#include "onvifc/Answers.h"
#include "onvifc/Device.h"

#include "LoopbackSim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

class OnvifClientTest : public LoopbackSim {
protected:
    onvifc::CDevice device(int camera, const std::string& password = "s3cret") {
        return onvifc::CDevice(url(camera), "admin", password, {500ms, 2000ms});
    }
};

TEST_F(OnvifClientTest, ReadsWhatTheCameraHoldsAndSetsOnlyWhatItIsAsked) {
    start();
    auto cam = device(0);
    ASSERT_TRUE(cam.Connect().Ok());
    EXPECT_FALSE(cam.Services().media.empty());
    EXPECT_TRUE(cam.Services().firmwareUpgrade);

    const auto info = cam.GetDeviceInformation();
    ASSERT_TRUE(info.Ok()) << info.detail;
    EXPECT_EQ(info.value.model, "QVIP3651");
    EXPECT_EQ(info.value.firmware, "13.1.0.5");

    const auto interfaces = cam.GetNetworkInterfaces();
    ASSERT_TRUE(interfaces.Ok()) << interfaces.detail;
    ASSERT_EQ(interfaces.value.size(), 1u);
    const auto mac = view(0, [](const camsim::Camera& c) { return c.mac; });
    ASSERT_TRUE(interfaces.value[0].mac);
    EXPECT_TRUE(std::equal(mac.begin(), mac.end(), interfaces.value[0].mac->begin()));
    EXPECT_EQ(interfaces.value[0].address, 0x7f000002u);

    // The name scope replaced; the camera's other configurable scopes stay.
    const auto before = cam.GetScopes();
    ASSERT_TRUE(before.Ok());
    ASSERT_TRUE(cam.SetName("Gate <north> & 5%").Ok());
    EXPECT_EQ(view(0, [](const camsim::Camera& c) { return c.name; }), "Gate <north> & 5%");
    const auto after = cam.GetScopes();
    ASSERT_TRUE(after.Ok());
    EXPECT_EQ(after.value.size(), before.value.size());

    // Ports: the camera's own list changed in one place only.
    auto protocols = cam.GetNetworkProtocols();
    ASSERT_TRUE(protocols.Ok());
    for (auto& p : protocols.value) {
        if (p.name == "RTSP") {
            p.ports = {8554};
        }
    }
    ASSERT_TRUE(cam.SetNetworkProtocols(protocols.value).Ok());
    EXPECT_EQ(
        view(0,
             [](const camsim::Camera& c) { return c.deviceConfig["ports"]["rtsp1"].get<int>(); }),
        8554);
    EXPECT_EQ(
        view(0,
             [](const camsim::Camera& c) { return c.deviceConfig["ports"]["onvif"].get<int>(); }),
        m_port);

    // The encoder: one value changed, the camera's other values sent back.
    auto profiles = cam.GetProfiles();
    ASSERT_TRUE(profiles.Ok()) << profiles.detail;
    ASSERT_GE(profiles.value.size(), 1u);
    ASSERT_TRUE(profiles.value[0].encoder);
    auto encoder = *profiles.value[0].encoder;
    const auto options = cam.GetEncoderOptions(encoder.token, profiles.value[0].token);
    ASSERT_TRUE(options.Ok()) << options.detail;
    ASSERT_TRUE(options.value.bitrate);
    EXPECT_TRUE(options.value.Offers(encoder.encoding, encoder.width, encoder.height));
    const int frameRate = encoder.frameRateLimit;
    encoder.bitrateLimit = 3000;
    ASSERT_TRUE(cam.SetVideoEncoder(encoder).Ok());
    // The primary stream is the maker's stream record 1.
    const auto stream =
        view(0, [](const camsim::Camera& c) { return c.deviceConfig["streams"][1]; });
    EXPECT_EQ(stream["bitRate"].get<int>(), 3000);
    EXPECT_EQ(stream["frameRate"].get<int>(), frameRate);

    const auto uri = cam.GetStreamUri(profiles.value[0].token);
    ASSERT_TRUE(uri.Ok());
    EXPECT_EQ(uri.value, "rtsp://127.0.0.2:8554/stream1");
    EXPECT_FALSE(cam.Soap().DigestOnly()) << "every token was taken: none fell back to Digest";

    // Imaging: brightness only.
    const std::string source = profiles.value[0].videoSourceToken;
    auto imaging = cam.GetImagingSettings(source);
    ASSERT_TRUE(imaging.Ok()) << imaging.detail;
    const auto contrast = imaging.value.contrast;
    imaging.value.brightness = 200;
    ASSERT_TRUE(cam.SetImagingSettings(source, imaging.value).Ok());
    const auto picture = view(0, [](const camsim::Camera& c) { return c.deviceConfig["picture"]; });
    EXPECT_EQ(picture["brightness"].get<int>(), 200);
    EXPECT_EQ(cam.GetImagingSettings(source).value.contrast, contrast);
}

TEST_F(OnvifClientTest, AnotherMakersCameraSaysWhatItLacks) {
    start();
    auto cam = device(2);
    const auto services = cam.Connect();
    ASSERT_TRUE(services.Ok()) << services.detail;
    EXPECT_TRUE(services.value.imaging.empty());
    EXPECT_FALSE(services.value.firmwareUpgrade);
    const auto info = cam.GetDeviceInformation();
    ASSERT_TRUE(info.Ok()) << info.detail;
    EXPECT_EQ(info.value.manufacturer, "Lumora");
    EXPECT_EQ(cam.GetImagingSettings("VideoSource_1").error, onvifc::Error::NotSupported);
    EXPECT_EQ(cam.StartFirmwareUpgrade().error, onvifc::Error::NotSupported);
}

TEST_F(OnvifClientTest, WrongPasswordIsRefusedAndANewPasswordTakesOver) {
    start();
    auto wrong = device(1, "nope");
    ASSERT_TRUE(wrong.Connect().Ok()); // needs no credentials
    EXPECT_EQ(wrong.GetDeviceInformation().error, onvifc::Error::NotAuthorized);

    auto cam = device(1);
    ASSERT_TRUE(cam.Connect().Ok());
    ASSERT_TRUE(cam.SetUserPassword("admin", "n3w-pass").Ok());
    EXPECT_EQ(view(1, [](const camsim::Camera& c) { return c.password; }), "n3w-pass");
    // The same client goes on with the new password; the old one is refused.
    EXPECT_TRUE(cam.GetDeviceInformation().Ok());
    EXPECT_EQ(device(1).GetDeviceInformation().error, onvifc::Error::NotAuthorized);
}

TEST_F(OnvifClientTest, TokensFollowTheCamerasClockWhenItJumps) {
    start();
    auto cam = device(0);
    // A factory camera's clock is hours from the machine's: only a token
    // made on the learned clock passes.
    ASSERT_TRUE(cam.Connect().Ok());
    ASSERT_TRUE(cam.GetDeviceInformation().Ok());
    // Someone sets the camera's clock a day on: the next token is refused,
    // the clock learned again and the call made once more.
    m_store->withCamera(0, [](camsim::Camera& c) {
        c.deviceConfig["date"]["clockOffsetSeconds"] = 86400 + 8 * 3600;
        return true;
    });
    EXPECT_TRUE(cam.GetDeviceInformation().Ok());
    const auto skew = cam.Soap().CameraNow() - std::chrono::system_clock::now();
    EXPECT_NEAR(std::chrono::duration<double>(skew).count(), 86400, 5);
}

TEST_F(OnvifClientTest, EveryQuirkOfTheWireStillGivesTheAnswer) {
    struct Case {
        const char* name;
        camsim::OnvifQuirks quirks;
    };
    std::vector<Case> cases(8);
    cases[0] = {"local_time_as_utc", {}};
    cases[0].quirks.localTimeAsUtc = true;
    cases[1] = {"date_needs_auth", {}};
    cases[1].quirks.dateNeedsAuth = true;
    cases[2] = {"digest_only", {}};
    cases[2].quirks.digestOnly = true;
    cases[3] = {"odd_prefixes", {}};
    cases[3].quirks.oddPrefixes = true;
    cases[4] = {"chunked", {}};
    cases[4].quirks.chunked = true;
    cases[5] = {"lenient", {}};
    cases[5].quirks.lenient = true;
    cases[6] = {"unreachable_xaddrs", {}};
    cases[6].quirks.unreachableXAddrs = true;
    cases[7] = {"no_imaging", {}};
    cases[7].quirks.noImaging = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        start({c.quirks, c.quirks, c.quirks});
        auto cam = device(0);
        ASSERT_TRUE(cam.Connect().Ok());
        const auto info = cam.GetDeviceInformation();
        ASSERT_TRUE(info.Ok()) << onvifc::ErrorText(info.error) << " " << info.detail;
        EXPECT_EQ(info.value.model, "QVIP3651");
        // A second call: a fresh nonce (strict cameras refuse a used one),
        // a Digest nonce counted on.
        const auto named = cam.SetHostname("cam-" + std::to_string(&c - cases.data()));
        ASSERT_TRUE(named.Ok()) << onvifc::ErrorText(named.error) << " " << named.detail;
        const auto profiles = cam.GetProfiles();
        ASSERT_TRUE(profiles.Ok()) << profiles.detail;
        // Service and stream addresses that name a host nobody reaches
        // are taken on the host the device answered at.
        const auto uri = cam.GetStreamUri(profiles.value[0].token);
        ASSERT_TRUE(uri.Ok());
        EXPECT_EQ(uri.value.rfind("rtsp://127.0.0.2:", 0), 0u) << uri.value;
        const auto imaging = cam.GetImagingSettings(profiles.value[0].videoSourceToken);
        EXPECT_EQ(imaging.error,
                  c.quirks.noImaging ? onvifc::Error::NotSupported : onvifc::Error::None)
            << imaging.detail;
        // Only a camera that misreports its clock needs Digest alone.
        EXPECT_EQ(cam.Soap().DigestOnly(), c.quirks.localTimeAsUtc);
    }
}

TEST_F(OnvifClientTest, FirmwareGoesToTheUploadAddressAndAnotherModelsImageIsRefused) {
    start();
    auto cam = device(0);
    ASSERT_TRUE(cam.Connect().Ok());
    const auto write = [&](const std::string& name, const std::string& head) {
        const auto path = m_dir / name;
        std::ofstream(path) << head << "\n" << std::string(100000, 'x');
        return path.string();
    };
    auto start1 = cam.StartFirmwareUpgrade();
    ASSERT_TRUE(start1.Ok()) << start1.detail;
    const auto refused =
        cam.Soap().Upload(start1.value.uploadUri, write("other.bin", "FW LX-40 9.9.9"), {});
    EXPECT_EQ(refused.status, 409);
    EXPECT_EQ(view(0, [](const camsim::Camera& c) { return c.version; }), "13.1.0.5");

    auto start2 = cam.StartFirmwareUpgrade();
    ASSERT_TRUE(start2.Ok());
    int asked = 0;
    const auto stopped =
        cam.Soap().Upload(start2.value.uploadUri, write("own.bin", "FW QVIP3651 13.2.0.1"),
                          [&] { return ++asked > 0; });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(view(0, [](const camsim::Camera& c) { return c.version; }), "13.1.0.5");

    auto start3 = cam.StartFirmwareUpgrade();
    ASSERT_TRUE(start3.Ok());
    const auto taken =
        cam.Soap().Upload(start3.value.uploadUri, write("own.bin", "FW QVIP3651 13.2.0.1"), {});
    EXPECT_EQ(taken.error, onvifc::Error::None) << taken.status;
    EXPECT_EQ(view(0, [](const camsim::Camera& c) { return c.version; }), "13.2.0.1");
    EXPECT_TRUE(
        cam.Soap().Upload(start3.value.uploadUri, (m_dir / "missing").string(), {}).fileUnreadable);
}

TEST(OnvifClient, ASilentCameraEndsInTheTimeLimit) {
    // A listener that accepts and never answers: the call must end on its
    // own clock, not the camera's.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    onvifc::CDevice cam("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) +
                            "/onvif/device_service",
                        "admin", "admin", {300ms, 700ms});
    const auto begin = std::chrono::steady_clock::now();
    const auto answer = cam.GetDeviceInformation();
    const auto took = std::chrono::steady_clock::now() - begin;
    ::close(fd);
    EXPECT_EQ(answer.error, onvifc::Error::Timeout);
    EXPECT_LT(took, 3s);
}

} // namespace

// What a camera lies about reads as absent, never as a value it did not
// mean: ports out of range or not numbers, a range upside down, and a
// service named on a host nobody reaches is asked where the camera was.
TEST(OnvifAnswers, ImpossibleValuesReadAsAbsent) {
    const auto answerOf = [](const std::string& body) {
        return onvifc::ReadReply(200,
                                 "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
                                 "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
                                 "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" "
                                 "xmlns:tt=\"http://www.onvif.org/ver10/schema\"><s:Body>" +
                                     body + "</s:Body></s:Envelope>",
                                 1 << 20);
    };
    const onvifc::Reply protocols = answerOf(
        "<tds:GetNetworkProtocolsResponse><tds:NetworkProtocols><tt:Name>HTTP</tt:Name>"
        "<tt:Port>0</tt:Port><tt:Port>70000</tt:Port><tt:Port>80x</tt:Port><tt:Port>8080</tt:Port>"
        "</tds:NetworkProtocols></tds:GetNetworkProtocolsResponse>");
    const auto read = onvifc::answers::NetworkProtocols(protocols.body);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].ports, std::vector<int>{8080});

    const onvifc::Reply options =
        answerOf("<trt:GetVideoEncoderConfigurationOptionsResponse><trt:Options><tt:H264>"
                 "<tt:FrameRateRange><tt:Min>30</tt:Min><tt:Max>1</tt:Max></tt:FrameRateRange>"
                 "<tt:GovLengthRange><tt:Min>1</tt:Min><tt:Max>x</tt:Max></tt:GovLengthRange>"
                 "</tt:H264></trt:Options></trt:GetVideoEncoderConfigurationOptionsResponse>");
    const onvifc::EncoderOptions o = onvifc::answers::EncoderOptionsOf(options.body);
    EXPECT_TRUE(o.Offers("H264"));
    EXPECT_FALSE(o.frameRate);
    EXPECT_FALSE(o.govLength);

    const onvifc::Reply caps =
        answerOf("<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Media>"
                 "<tt:XAddr>http://10.255.255.1:8080/onvif/media</tt:XAddr></tt:Media>"
                 "</tds:Capabilities></tds:GetCapabilitiesResponse>");
    EXPECT_EQ(
        onvifc::answers::Capabilities(caps.body, "http://192.0.2.10/onvif/device_service").media,
        "http://192.0.2.10:8080/onvif/media");
    EXPECT_EQ(onvifc::answers::DeviceInfo(caps.body).model, "") << "not this call's answer";
}
