// The simulator's ONVIF face without sockets: who may call what, what a
// call changes in the shared camera store, and how each quirk changes the
// wire. Tokens are made here with OpenSSL directly, not with the code under
// test, so a wrong digest rule cannot agree with itself.

#include "onvif/OnvifService.h"
#include "SoapEnvelope.h"
#include "core/CameraStore.h"
#include "core/Config.h"
#include "onvif/WsDiscovery.h"

#include "camsim/httpapi/CameraConfig.h"
#include "qvipcsdk/wire/DigestAuth.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <unistd.h>

using namespace camsim;
using namespace camsim::onvif;
using namespace camsim::onvif::test;

namespace {

class OnvifServiceTest : public ::testing::Test {
protected:
    void make(std::vector<OnvifQuirks> quirks = {}, bool otherMaker = false) {
        char templ[] = "/tmp/onvif-test.XXXXXX";
        m_dir = ::mkdtemp(templ);
        nlohmann::json j = {{"interface", "x"}, {"state_file", "x"}, {"cameras", 2}};
        if (otherMaker)
            j["onvif_models"] = {{{"maker", "Lumora"},
                                  {"model", "LX-40"},
                                  {"mac_base", "02:6c:75:00:00:00"},
                                  {"versions", {"2.1.4"}},
                                  {"onvif_port", 8899},
                                  {"imaging", false},
                                  {"firmware_upgrade", false}}};
        auto config = parseConfig(j);
        ASSERT_TRUE(config.config) << config.error;
        m_store = std::make_unique<CameraStore>(makeCameras(*config.config), m_dir / "state.json");
        OnvifOptions options;
        options.quirks = std::move(quirks);
        options.rebootSilence = std::chrono::milliseconds(300);
        m_service = std::make_unique<OnvifService>(*m_store, options);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    SoapReply call(const std::string& body, const std::optional<Token>& token = std::nullopt,
                   const std::string& ip = "192.0.2.10", int port = 8000,
                   const std::string& authorization = "") {
        SoapRequest r;
        const auto index = m_service->cameraAt(ip, port);
        const std::string envelope =
            soap(body, token, index ? m_service->cameraNow(*index) : SystemClock::now());
        r.body = envelope;
        r.localIp = ip;
        r.localPort = port;
        r.authorization = authorization;
        return m_service->handle(r);
    }
    Camera camera(std::size_t i) { return m_store->snapshot().at(i); }

    std::filesystem::path m_dir;
    std::unique_ptr<CameraStore> m_store;
    std::unique_ptr<OnvifService> m_service;
};

TEST_F(OnvifServiceTest, OnlyThePreAuthCallsAnswerWithoutCredentials) {
    make();
    for (const char* open :
         {"GetSystemDateAndTime", "GetCapabilities", "GetServices", "GetHostname"})
        EXPECT_EQ(call(std::string("<tds:") + open + "/>").status, 200) << open;
    for (const char* closed : {"GetDeviceInformation", "GetUsers", "GetNetworkInterfaces"}) {
        const auto reply = call(std::string("<tds:") + closed + "/>");
        EXPECT_EQ(reply.status, 401) << closed;
        EXPECT_EQ(field(reply.body, "Value"), "env:Sender");
        EXPECT_NE(reply.body.find("ter:NotAuthorized"), std::string::npos);
        ASSERT_EQ(reply.headers.size(), 2u) << "an MD5 and a SHA-256 challenge";
        EXPECT_NE(reply.headers[0].second.find("algorithm=MD5"), std::string::npos);
        EXPECT_NE(reply.headers[1].second.find("algorithm=SHA-256"), std::string::npos);
    }
    // No camera at that address or port: nobody answers.
    EXPECT_TRUE(call("<tds:GetHostname/>", std::nullopt, "192.0.2.10", 80).drop);
    EXPECT_TRUE(call("<tds:GetHostname/>", std::nullopt, "192.0.2.99", 8000).drop);
}

TEST_F(OnvifServiceTest, UsernameTokenRefusesReplayClockSkewAndWrongPassword) {
    make();
    Token good;
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", good).status, 200);
    const auto replay = call("<tds:GetDeviceInformation/>", good);
    EXPECT_EQ(replay.status, 400);
    EXPECT_NE(replay.body.find("ter:NotAuthorized"), std::string::npos);
    EXPECT_NE(replay.body.find("nonce used before"), std::string::npos);

    Token early;
    early.nonce = "nonce-early";
    early.skew = std::chrono::seconds(-7);
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", early).status, 400);
    Token close;
    close.nonce = "nonce-close";
    close.skew = std::chrono::seconds(3);
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", close).status, 200);

    Token wrong;
    wrong.nonce = "nonce-wrong";
    wrong.password = "guess";
    const auto refused = call("<tds:GetDeviceInformation/>", wrong);
    EXPECT_EQ(refused.status, 400);
    EXPECT_NE(refused.body.find("wrong password"), std::string::npos);
    // The refused guess did not burn the nonce.
    wrong.password = "admin";
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", wrong).status, 200);
}

TEST_F(OnvifServiceTest, LenientCameraTakesAReusedNonceAndTtNamespacedArguments) {
    OnvifQuirks lenient;
    lenient.lenient = true;
    make({lenient});
    Token t;
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", t).status, 200);
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", t).status, 200);
    const std::string move =
        "<tds:SetNetworkInterfaces><tt:InterfaceToken>net0</tt:InterfaceToken>"
        "<tt:NetworkInterface><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Manual>"
        "<tt:Address>192.0.2.77</tt:Address><tt:PrefixLength>24</tt:PrefixLength>"
        "</tt:Manual><tt:DHCP>false</tt:DHCP></tt:IPv4></tt:NetworkInterface>"
        "</tds:SetNetworkInterfaces>";
    const auto moved = call(move, t);
    EXPECT_EQ(moved.status, 200) << moved.body;
    ASSERT_TRUE(moved.move);
    EXPECT_EQ(moved.move->ip, 0xc000024du);
    // The strict camera next door refuses both.
    t.nonce = "other";
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", t, "192.0.2.11").status, 200);
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", t, "192.0.2.11").status, 400);
    t.nonce = "third";
    EXPECT_EQ(call(move, t, "192.0.2.11").status, 400);
}

TEST_F(OnvifServiceTest, HttpDigestWithMd5AndSha256) {
    make();
    for (const auto algorithm :
         {qvipc::wire::DigestAlgorithm::Md5, qvipc::wire::DigestAlgorithm::Sha256}) {
        const auto challenge = call("<tds:GetDeviceInformation/>");
        const auto params = qvipc::wire::digestParams(challenge.headers[0].second);
        ASSERT_TRUE(params);
        const std::string nonce = params->at("nonce");
        const std::string realm = params->at("realm");
        const char* name = algorithm == qvipc::wire::DigestAlgorithm::Md5 ? "MD5" : "SHA-256";
        const auto answer = [&](const std::string& password, const char* nc) {
            const qvipc::wire::DigestInput in{algorithm, "admin", realm,
                                              password,  "POST",  "/onvif/device_service",
                                              nonce,     nc,      "c0ffee"};
            return "Digest username=\"admin\", realm=\"" + realm + "\", nonce=\"" + nonce +
                   "\", uri=\"/onvif/device_service\", algorithm=" + name + ", qop=auth, nc=" + nc +
                   ", cnonce=\"c0ffee\", response=\"" + qvipc::wire::digestResponse(in) + "\"";
        };
        EXPECT_EQ(call("<tds:GetDeviceInformation/>", std::nullopt, "192.0.2.10", 8000,
                       answer("admin", "00000001"))
                      .status,
                  200);
        // The same nonce count again is a replay; a wrong password is refused.
        EXPECT_EQ(call("<tds:GetDeviceInformation/>", std::nullopt, "192.0.2.10", 8000,
                       answer("admin", "00000001"))
                      .status,
                  401);
        EXPECT_EQ(call("<tds:GetDeviceInformation/>", std::nullopt, "192.0.2.10", 8000,
                       answer("guess", "00000002"))
                      .status,
                  401);
    }
}

TEST_F(OnvifServiceTest, DispatchIsByNamespaceNotByPrefix) {
    make();
    // Any prefix, SOAP 1.1 or 1.2: the namespace decides.
    const std::string odd =
        "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
        "<SOAP-ENV:Body><x:GetHostname xmlns:x=\"" +
        kDevice + "\"/></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    SoapRequest r;
    r.body = odd;
    r.target = "/anywhere";
    r.localIp = "192.0.2.10";
    r.localPort = 8000;
    EXPECT_EQ(m_service->handle(r).status, 200);
    // tds bound to the media namespace: that is no device call.
    const std::string wrongNs = "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
                                "xmlns:tds=\"http://www.onvif.org/ver10/media/"
                                "wsdl\"><s:Body><tds:GetHostname/></s:Body></s:Envelope>";
    r.body = wrongNs;
    Token t;
    r.body = wrongNs;
    const auto unknown = m_service->handle(r);
    EXPECT_EQ(unknown.status, 401) << "unknown calls need credentials too";
    const auto authed = call("<trt:GetHostname/>", t);
    EXPECT_EQ(authed.status, 500);
    EXPECT_NE(authed.body.find("ter:ActionNotSupported"), std::string::npos);
    r.body = "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>";
    r.authorization = "Digest username=\"admin\"";
    EXPECT_NE(m_service->handle(r).body.find("ter:WellFormed"), std::string::npos);
}

TEST_F(OnvifServiceTest, BothFacesShareOneCamera) {
    make();
    Token t;
    int n = 0;
    const auto next = [&] {
        t.nonce = "n" + std::to_string(++n);
        return t;
    };
    // A name set over ONVIF is the maker's device name, and the other way round.
    ASSERT_EQ(call("<tds:SetScopes><tds:Scopes>onvif://www.onvif.org/name/Gate%20West</tds:Scopes>"
                   "</tds:SetScopes>",
                   next())
                  .status,
              200);
    EXPECT_EQ(camera(0).name, "Gate West");
    m_store->withCamera(0, [](Camera& c) { c.name = "Lobby"; });
    EXPECT_NE(call("<tds:GetScopes/>", next()).body.find("onvif://www.onvif.org/name/Lobby"),
              std::string::npos);

    // Encoder: the primary stream record of the maker's API.
    const auto set =
        call("<trt:SetVideoEncoderConfiguration><trt:Configuration token=\"VideoEncoder_1\">"
             "<tt:Name>x</tt:Name><tt:UseCount>1</tt:UseCount><tt:Encoding>H264</tt:Encoding>"
             "<tt:Resolution><tt:Width>1280</tt:Width><tt:Height>720</tt:Height></tt:Resolution>"
             "<tt:Quality>5</tt:Quality><tt:RateControl><tt:FrameRateLimit>15</tt:FrameRateLimit>"
             "<tt:EncodingInterval>1</tt:EncodingInterval><tt:BitrateLimit>2048</tt:BitrateLimit>"
             "</tt:RateControl><tt:H264><tt:GovLength>30</tt:GovLength><tt:H264Profile>Main</"
             "tt:H264Profile>"
             "</tt:H264></trt:Configuration><trt:ForcePersistence>true</trt:ForcePersistence>"
             "</trt:SetVideoEncoderConfiguration>",
             next());
    ASSERT_EQ(set.status, 200) << set.body;
    const auto stream = camera(0).deviceConfig["streams"][1];
    EXPECT_EQ(stream["frameRate"], 15);
    EXPECT_EQ(stream["bitRate"], 2048);
    EXPECT_EQ(stream["iFrameInterval"], 30);
    EXPECT_EQ(stream["frameSize"], 6);
    // A bit rate the maker's API refuses is refused here, and nothing changes.
    const auto refused = call(
        "<trt:SetVideoEncoderConfiguration><trt:Configuration token=\"VideoEncoder_1\">"
        "<tt:Encoding>H264</tt:Encoding><tt:RateControl><tt:FrameRateLimit>10</tt:FrameRateLimit>"
        "<tt:BitrateLimit>9000</tt:BitrateLimit></tt:RateControl></trt:Configuration>"
        "</trt:SetVideoEncoderConfiguration>",
        next());
    EXPECT_EQ(refused.status, 400);
    EXPECT_NE(refused.body.find("ter:InvalidArgVal"), std::string::npos);
    EXPECT_EQ(camera(0).deviceConfig["streams"][1]["frameRate"], 15);

    // Imaging: the picture record.
    ASSERT_EQ(
        call("<timg:SetImagingSettings><timg:VideoSourceToken>VideoSource_1</timg:VideoSourceToken>"
             "<timg:ImagingSettings><tt:Brightness>40</tt:Brightness><tt:IrCutFilter>OFF"
             "</tt:IrCutFilter></timg:ImagingSettings></timg:SetImagingSettings>",
             next())
            .status,
        200);
    EXPECT_EQ(camera(0).deviceConfig["picture"]["brightness"], 40);
    EXPECT_EQ(camera(0).deviceConfig["imaging"]["irCutMode"], 1);
    EXPECT_EQ(
        call("<timg:SetImagingSettings><timg:VideoSourceToken>VideoSource_1</timg:VideoSourceToken>"
             "<timg:ImagingSettings><tt:Brightness>300</tt:Brightness></timg:ImagingSettings>"
             "</timg:SetImagingSettings>",
             next())
            .status,
        400);

    // The administrator's password is the maker's admin password.
    ASSERT_EQ(
        call("<tds:SetUser><tds:User><tt:Username>admin</tt:Username><tt:Password>n3w-pass"
             "</tt:Password><tt:UserLevel>Administrator</tt:UserLevel></tds:User></tds:SetUser>",
             next())
            .status,
        200);
    EXPECT_EQ(camera(0).password, "n3w-pass");
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", next()).status, 400) << "old password";
    t.password = "n3w-pass";
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", next()).status, 200);
}

TEST_F(OnvifServiceTest, TimeSetWithAPosixZoneReadsBackInBothFaces) {
    make();
    Token t;
    const auto response =
        call("<tds:SetSystemDateAndTime><tds:DateTimeType>Manual</tds:DateTimeType>"
             "<tds:DaylightSavings>false</"
             "tds:DaylightSavings><tds:TimeZone><tt:TZ>CET-1CEST,M3.5.0,M10.5.0/3"
             "</tt:TZ></tds:TimeZone><tds:UTCDateTime><tt:Date><tt:Year>2031</tt:Year><tt:Month>5</"
             "tt:Month>"
             "<tt:Day>17</tt:Day></tt:Date><tt:Time><tt:Hour>22</tt:Hour><tt:Minute>30</tt:Minute>"
             "<tt:Second>0</tt:Second></tt:Time></tds:UTCDateTime></tds:SetSystemDateAndTime>",
             t);
    ASSERT_EQ(response.status, 200) << response.body;
    const auto got = call("<tds:GetSystemDateAndTime/>");
    EXPECT_EQ(field(got.body, "TZ"), "CET-1CEST,M3.5.0,M10.5.0/3");
    const auto utcAt = got.body.find("UTCDateTime");
    const auto localAt = got.body.find("LocalDateTime");
    EXPECT_EQ(field(got.body.substr(utcAt), "Hour"), "22");
    EXPECT_EQ(field(got.body.substr(localAt), "Hour"), "23");
    EXPECT_EQ(field(got.body.substr(localAt), "Day"), "17");
    // The maker's API reads local time in its zone number (UTC+1 is 13).
    Camera c = camera(0);
    CameraIdentity identity{c.name, c.password, c.net.httpPort, c.model, c.version, "", ""};
    CameraState state{identity, c.deviceConfig};
    const auto date = api::getDate(state, SystemClock::now());
    EXPECT_EQ(date.body["timeZone"], 13);
    EXPECT_EQ(date.body["date"], "2031-05-17");
    EXPECT_EQ(date.body["time"].get<std::string>().substr(0, 2), "23");
    // The camera's clock now judges tokens: the machine's time is years off.
    const auto years = m_service->cameraNow(0) - SystemClock::now();
    EXPECT_GT(years, std::chrono::hours(24 * 365));
    Token late;
    late.nonce = "late";
    late.skew = -std::chrono::duration_cast<std::chrono::seconds>(years);
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", late).status, 400);
    late.skew = std::chrono::seconds(0);
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", late).status, 200);
    EXPECT_EQ(
        call("<tds:SetSystemDateAndTime><tds:DateTimeType>Manual</tds:DateTimeType>"
             "<tds:TimeZone><tt:TZ>nonsense</tt:TZ></tds:TimeZone></tds:SetSystemDateAndTime>",
             Token{"admin", "admin", "z"})
            .status,
        400);
}

// A state file may hold date settings of any shape (written by an older
// simulator, or by hand). The clock that judges tokens reads them as the
// factory shape does, like GetSystemDateAndTime, and leaves the stored
// camera as it was.
TEST_F(OnvifServiceTest, CameraClockReadsStoredDateSettingsOfAnyShape) {
    make();
    m_store->withCamera(0, [](Camera& c) {
        c.deviceConfig = {{"date",
                           {{"timeZone", 14},
                            {"clockOffsetSeconds", 10800},
                            {"useTimeServer", "yes"},
                            {"stray", 1}}}};
    });
    m_store->withCamera(1, [](Camera& c) { c.deviceConfig = nlohmann::json::array({1, 2}); });
    const Camera before0 = camera(0);
    const Camera before1 = camera(1);
    OnvifOptions options;
    const auto machine = SystemClock::from_time_t(2000000000) + std::chrono::milliseconds(250);
    options.clock = [machine] { return machine; };
    OnvifService service(*m_store, options);
    // UTC+2 with three hours on the clock: an hour ahead. A text is no
    // boolean, so no time server.
    EXPECT_EQ(service.cameraNow(0), machine + std::chrono::hours(1));
    // No date section: the factory's UTC+8 with no offset.
    EXPECT_EQ(service.cameraNow(1), machine - std::chrono::hours(8));
    EXPECT_EQ(camera(0), before0);
    EXPECT_EQ(camera(1), before1);
    // A change through another face shows at once.
    m_store->withCamera(0, [](Camera& c) { c.deviceConfig["date"]["clockOffsetSeconds"] = 0; });
    EXPECT_EQ(service.cameraNow(0), machine - std::chrono::hours(2));
    for (const std::size_t i : {0u, 1u}) {
        SoapRequest r;
        const std::string body = soap("<tds:GetSystemDateAndTime/>", std::nullopt, machine);
        r.body = body;
        r.localIp = i == 0 ? "192.0.2.10" : "192.0.2.11";
        r.localPort = 8000;
        const std::string answer = service.handle(r).body;
        const std::string utc = answer.substr(answer.find("UTCDateTime"));
        const std::time_t t = SystemClock::to_time_t(service.cameraNow(i));
        std::tm parts{};
        gmtime_r(&t, &parts);
        EXPECT_EQ(field(utc, "Hour"), std::to_string(parts.tm_hour)) << i;
        EXPECT_EQ(field(utc, "Day"), std::to_string(parts.tm_mday)) << i;
    }
}

// One test per quirk: camera 1 has it, camera 2 (no quirks) shows the
// difference on the same call.
OnvifQuirks only(bool OnvifQuirks::*which) {
    OnvifQuirks q;
    q.*which = true;
    return q;
}

TEST_F(OnvifServiceTest, QuirkLocalTimeAsUtc) {
    make({only(&OnvifQuirks::localTimeAsUtc)});
    const auto hours = [&](const std::string& ip) {
        const std::string body = call("<tds:GetSystemDateAndTime/>", std::nullopt, ip).body;
        return std::pair(field(body.substr(body.find("UTCDateTime")), "Hour"),
                         field(body.substr(body.find("LocalDateTime")), "Hour"));
    };
    const auto quirky = hours("192.0.2.10");
    EXPECT_EQ(quirky.first, quirky.second);
    const auto plain = hours("192.0.2.11");
    EXPECT_NE(plain.first, plain.second) << "a factory camera is in UTC+8";
}

TEST_F(OnvifServiceTest, QuirkDateNeedsAuth) {
    make({only(&OnvifQuirks::dateNeedsAuth)});
    EXPECT_EQ(call("<tds:GetSystemDateAndTime/>").status, 401);
    EXPECT_EQ(call("<tds:GetSystemDateAndTime/>", Token{}).status, 200);
    EXPECT_EQ(call("<tds:GetCapabilities/>").status, 200) << "only the date";
    EXPECT_EQ(call("<tds:GetSystemDateAndTime/>", std::nullopt, "192.0.2.11").status, 200);
}

TEST_F(OnvifServiceTest, QuirkDigestOnly) {
    make({only(&OnvifQuirks::digestOnly)});
    const auto refused = call("<tds:GetDeviceInformation/>", Token{});
    EXPECT_EQ(refused.status, 401);
    EXPECT_EQ(refused.contentType, "text/html");
    EXPECT_EQ(refused.body.find("Envelope"), std::string::npos);
    EXPECT_EQ(refused.headers.size(), 2u);
    EXPECT_EQ(call("<tds:GetDeviceInformation/>", Token{}, "192.0.2.11").status, 200);
}

TEST_F(OnvifServiceTest, QuirkOddPrefixes) {
    make({only(&OnvifQuirks::oddPrefixes)});
    const auto odd = call("<tds:GetCapabilities/>").body;
    EXPECT_NE(odd.find("<SOAP-ENV:Envelope xmlns:SOAP-ENV="), std::string::npos);
    EXPECT_NE(odd.find("<ns1:GetCapabilitiesResponse><ns1:Capabilities><ns4:Device>"),
              std::string::npos);
    for (const char* usual : {"<env:", "<tds:", "<tt:", "xmlns:tt="})
        EXPECT_EQ(odd.find(usual), std::string::npos) << usual;
    // Faults too, down to the QName values of their codes.
    const auto fault = call("<tds:GetUsers/>").body;
    EXPECT_NE(fault.find(">ns5:NotAuthorized<"), std::string::npos);
    EXPECT_NE(
        call("<tds:GetCapabilities/>", std::nullopt, "192.0.2.11").body.find("<tds:Capabilities>"),
        std::string::npos);
}

TEST_F(OnvifServiceTest, QuirkChunked) {
    make({only(&OnvifQuirks::chunked)});
    EXPECT_TRUE(call("<tds:GetCapabilities/>").chunked);
    EXPECT_TRUE(call("<tds:GetUsers/>").chunked) << "faults as well";
    EXPECT_FALSE(call("<tds:GetCapabilities/>", std::nullopt, "192.0.2.11").chunked);
}

TEST_F(OnvifServiceTest, QuirkNoImaging) {
    make({only(&OnvifQuirks::noImaging)});
    EXPECT_EQ(call("<tds:GetCapabilities/>").body.find("Imaging>"), std::string::npos);
    EXPECT_EQ(call("<tds:GetServices/>").body.find("imaging_service"), std::string::npos);
    const auto refused = call("<timg:GetOptions><timg:VideoSourceToken>VideoSource_1"
                              "</timg:VideoSourceToken></timg:GetOptions>",
                              Token{});
    EXPECT_NE(refused.body.find("ter:ActionNotSupported"), std::string::npos);
    EXPECT_NE(call("<tds:GetServices/>", std::nullopt, "192.0.2.11").body.find("imaging_service"),
              std::string::npos);
}

TEST_F(OnvifServiceTest, QuirkUnreachableXAddrs) {
    make({only(&OnvifQuirks::unreachableXAddrs)});
    const auto caps = call("<tds:GetCapabilities/>").body;
    EXPECT_NE(caps.find("http://10.255.255.1:8000/onvif/media_service"), std::string::npos);
    EXPECT_EQ(caps.find("192.0.2.10"), std::string::npos);
    EXPECT_EQ(field(call("<trt:GetStreamUri><trt:ProfileToken>Profile_1</trt:ProfileToken>"
                         "</trt:GetStreamUri>",
                         Token{})
                        .body,
                    "Uri"),
              "rtsp://10.255.255.1:554/stream1");
    EXPECT_EQ(m_service->deviceXAddr(0), "http://10.255.255.1:8000/onvif/device_service");
    EXPECT_EQ(m_service->deviceXAddr(1), "http://192.0.2.11:8000/onvif/device_service");
}

TEST_F(OnvifServiceTest, OtherMakersCameraIsOnvifOnlyWithItsOwnModel) {
    make({}, true);
    ASSERT_EQ(m_store->size(), 3u);
    const Camera other = camera(2);
    EXPECT_EQ(other.maker, "Lumora");
    EXPECT_EQ(other.mac[0], 0x02);
    EXPECT_EQ(other.mac[1], 0x6c);
    const auto info = call("<tds:GetDeviceInformation/>", Token{}, "192.0.2.12", 8899);
    EXPECT_EQ(field(info.body, "Manufacturer"), "Lumora");
    EXPECT_EQ(field(info.body, "FirmwareVersion"), "2.1.4");
    // Its model has no Imaging service.
    const auto imaging = call("<timg:GetOptions><timg:VideoSourceToken>VideoSource_1"
                              "</timg:VideoSourceToken></timg:GetOptions>",
                              Token{"admin", "admin", "n2"}, "192.0.2.12", 8899);
    EXPECT_EQ(imaging.status, 500);
    EXPECT_NE(imaging.body.find("ter:ActionNotSupported"), std::string::npos);
    EXPECT_EQ(
        call("<tds:GetServices/>", std::nullopt, "192.0.2.12", 8899).body.find("imaging_service"),
        std::string::npos);
    // Its factory settings keep its own port; the maker's camera goes back
    // to the maker's ONVIF port.
    const std::string reset = "<tds:SetSystemFactoryDefault><tds:FactoryDefault>Hard"
                              "</tds:FactoryDefault></tds:SetSystemFactoryDefault>";
    ASSERT_EQ(call(reset, Token{"admin", "admin", "r1"}, "192.0.2.12", 8899).status, 200);
    EXPECT_EQ(camera(2).deviceConfig["ports"]["onvif"], 8899);
    EXPECT_EQ(camera(2).name, "IPCamera");
    EXPECT_EQ(call("<tds:GetHostname/>", std::nullopt, "192.0.2.12", 8899).status, 200);
}

TEST_F(OnvifServiceTest, RebootSilencesTheCameraForItsTime) {
    make();
    const auto reply = call("<tds:SystemReboot/>", Token{});
    ASSERT_EQ(reply.status, 200);
    EXPECT_NE(field(reply.body, "Message"), "<none>");
    ASSERT_TRUE(reply.reboot);
    m_service->startReboot(*reply.reboot);
    EXPECT_TRUE(call("<tds:GetSystemDateAndTime/>").drop);
    EXPECT_FALSE(call("<tds:GetSystemDateAndTime/>", std::nullopt, "192.0.2.11").drop);
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    EXPECT_FALSE(call("<tds:GetSystemDateAndTime/>").drop);
}

TEST_F(OnvifServiceTest, FirmwareUpgradeTakesItsModelsImageOnceThenReboots) {
    make({}, true);
    const auto start = [&](const std::string& ip, int port, const std::string& nonce) {
        return call("<tds:StartFirmwareUpgrade/>", Token{"admin", "admin", nonce}, ip, port);
    };
    const auto post = [&](const std::string& uri, const std::string& image) {
        SoapRequest r;
        const auto path = uri.substr(uri.find("/onvif/"));
        r.target = path;
        r.body = image;
        r.localIp = "192.0.2.10";
        r.localPort = 8000;
        return m_service->upload(r);
    };
    const std::string model = camera(0).model;
    auto reply = start("192.0.2.10", 8000, "f1");
    ASSERT_EQ(reply.status, 200) << reply.body;
    std::string uri = field(reply.body, "UploadUri");
    EXPECT_EQ(uri.rfind("http://192.0.2.10:8000/onvif/firmware/", 0), 0u) << uri;
    // Another model's image is refused and the token is spent.
    EXPECT_EQ(post(uri, "FW QV-OTHER 99.0.0.1\nbytes").status, 409);
    EXPECT_EQ(post(uri, "FW " + model + " 11.9.9.9\nbytes").status, 404);
    EXPECT_EQ(camera(0).version, "11.1.2.10");
    uri = field(start("192.0.2.10", 8000, "f2").body, "UploadUri");
    EXPECT_EQ(post(uri, "no header at all").status, 415);
    uri = field(start("192.0.2.10", 8000, "f3").body, "UploadUri");
    const auto installed = post(uri, "FW " + model + " 11.9.9.9\r\nbytes of the image");
    EXPECT_EQ(installed.status, 200);
    ASSERT_TRUE(installed.reboot);
    EXPECT_EQ(camera(0).version, "11.9.9.9");
    EXPECT_EQ(camera(0).deviceConfig["firmware"]["installed"], 1);
    // A made-up token, or one of another camera, is nobody's upload.
    EXPECT_EQ(post("http://x/onvif/firmware/0123", "FW " + model + " 1\n").status, 404);
    // The other maker's model takes no firmware over ONVIF.
    const auto other = start("192.0.2.12", 8899, "f4");
    EXPECT_EQ(other.status, 500);
    EXPECT_NE(other.body.find("ter:ActionNotSupported"), std::string::npos);
}

// ---------------------------------------------------------------- WS-Discovery

std::string probe(const std::string& types, const std::string& id = "urn:uuid:probe-1") {
    return "<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\" "
           "xmlns:dev=\"http://www.onvif.org/ver10/device/wsdl\"><e:Header><w:MessageID>" +
           id +
           "</w:MessageID><w:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</w:To><w:Action>"
           "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</w:Action></e:Header><e:Body>"
           "<d:Probe><d:Types>" +
           types + "</d:Types></d:Probe></e:Body></e:Envelope>";
}

TEST_F(OnvifServiceTest, ProbeMatchesOnlyTheRightTypesWithinTheDelay) {
    std::vector<OnvifQuirks> q(2);
    q[1].probeSpread = true;
    make(q);
    DiscoveryResponder responder(*m_store, *m_service, 7);
    const auto now = std::chrono::steady_clock::now();
    const std::uint32_t tool = 0xc0000201;
    for (const std::string types : {"dn:NetworkVideoTransmitter", "dev:Device", "",
                                    "dn:NetworkVideoTransmitter dev:Device"}) {
        const auto out = responder.handle(probe(types), tool, 40000, kDiscoveryGroup, now);
        // Camera 2 repeats its answer to the end of the window.
        ASSERT_EQ(out.size(), 4u) << types;
        for (const auto& d : out) {
            EXPECT_EQ(d.destination, tool);
            EXPECT_EQ(d.port, 40000);
            EXPECT_LE(d.due - now, kMaxProbeDelay);
            EXPECT_EQ(field(d.payload, "RelatesTo"), "urn:uuid:probe-1");
            EXPECT_EQ(field(d.payload, "XAddrs").rfind("http://192.0.2.1", 0), 0u);
            EXPECT_NE(d.payload.find("onvif://www.onvif.org/hardware/"), std::string::npos);
            EXPECT_NE(d.payload.find("onvif://www.onvif.org/name/"), std::string::npos);
            EXPECT_NE(d.payload.find("onvif://www.onvif.org/location/"), std::string::npos);
        }
        EXPECT_EQ(out[3].due - now, kMaxProbeDelay);
        EXPECT_EQ(out[1].payload, out[3].payload);
    }
    // A display, or a transmitter of another namespace, is not us; a
    // unicast Probe reaches its camera only.
    EXPECT_TRUE(
        responder.handle(probe("dn:NetworkVideoDisplay"), tool, 1, kDiscoveryGroup, now).empty());
    EXPECT_EQ(
        responder.handle(probe("x:NetworkVideoTransmitter"), tool, 1, kDiscoveryGroup, now).size(),
        4u)
        << "an undeclared prefix is matched by its local name";
    const std::string foreign = std::regex_replace(probe("dn:NetworkVideoTransmitter"),
                                                   std::regex("ver10/network/wsdl"), "ver10/other");
    EXPECT_TRUE(responder.handle(foreign, tool, 1, kDiscoveryGroup, now).empty());
    EXPECT_EQ(responder.handle(probe(""), tool, 1, 0xc000020a, now).size(), 1u);
    // The delays differ from answer to answer.
    std::set<long long> delays;
    for (int i = 0; i < 10; ++i)
        for (const auto& d : responder.handle(probe(""), tool, 1, 0xc000020a, now))
            delays.insert((d.due - now).count());
    EXPECT_GT(delays.size(), 5u);
    EXPECT_FALSE(parseProbe("<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"/>"));
}

} // namespace
