// The camera side of the API: range rules, firmware checks and Digest.

#include "Digest.h"
#include "camsim/httpapi/CameraConfig.h"

#include <gtest/gtest.h>

using namespace camsim;
using nlohmann::json;

namespace {

struct Camera {
    CameraIdentity identity{"Cam", "pw", 80, "QVIP3651", "13.1.0.5", "127.0.0.2"};
    json config = json::object();
    CameraState state{identity, config};
};

TEST(CameraApi, ModelClassDecidesTheOfferedFrameSizes) {
    EXPECT_EQ(api::modelClass("QVIPX9"), 1);
    EXPECT_EQ(api::modelClass("QVIP2"), 2);
    EXPECT_EQ(api::modelClass("QVIP3651"), 3);
    EXPECT_EQ(api::modelClass("QVIP3676"), 4);
    EXPECT_EQ(api::modelClass(""), 5);

    Camera camera;
    camera.identity.model = "QVIPX9";
    json stream = api::getStream(camera.state, 1).body;
    stream["frameSize"] = 4; // 1.3M is not offered to class 1
    EXPECT_EQ(api::setStream(camera.state, 1, stream).status, 400);
    stream["frameSize"] = 6;
    EXPECT_EQ(api::setStream(camera.state, 1, stream).status, 200);
    stream["frameRate"] = 0; // sent for the largest sizes at 50 Hz
    EXPECT_EQ(api::setStream(camera.state, 1, stream).status, 200);
    stream["stream"] = 0;
    EXPECT_EQ(api::setStream(camera.state, 1, stream).status, 400);
}

TEST(CameraApi, FirmwareNameMustFitTheModel) {
    const std::string model = "QVIP3651"; // fifth character 3, sixth 6
    EXPECT_FALSE(api::firmwareMismatch("abcQVFImage_21.bin", 10, model));
    EXPECT_FALSE(api::firmwareMismatch("QVFImage_25.bin", 10, model)) << "CMOS 5 imposes nothing";
    EXPECT_TRUE(api::firmwareMismatch("QVFImage_31.bin", 10, model));
    EXPECT_TRUE(api::firmwareMismatch("QVFImage_23.bin", 10, model));
    EXPECT_TRUE(api::firmwareMismatch("qvfimage_21.bin", 10, model));
    EXPECT_TRUE(api::firmwareMismatch("QVFImage_2", 10, model));
    EXPECT_FALSE(api::firmwareMismatch("QVFImage_21.bin", 105906175, model));
    EXPECT_TRUE(api::firmwareMismatch("QVFImage_21.bin", 105906176, model));
    EXPECT_TRUE(api::firmwareMismatch("QVFImage_21.bin", 0, model));

    EXPECT_EQ(api::nextVersion("QVFW:14.0.0.1\r\nrest", "13.1.0.5"), "14.0.0.1");
    EXPECT_EQ(api::nextVersion("\x7f"
                               "ELF",
                               "13.1.0.9"),
              "13.1.0.10");
}

TEST(CameraApi, RestoreKeepsTheWayIn) {
    Camera camera;
    ASSERT_EQ(api::setPicture(camera.state, {{"brightness", 1}, {"contrast", 2}, {"saturation", 3}})
                  .status,
              200);
    api::storeFirmware(camera.state, "QVFImage_21.bin", 5, "md5", "13.2.0.0");
    api::restoreFactory(camera.state);
    EXPECT_EQ(api::getPicture(camera.state).body["brightness"], 128);
    EXPECT_EQ(camera.identity.deviceName, "IPCamera");
    EXPECT_EQ(camera.identity.adminPassword, "pw");
    EXPECT_EQ(camera.config["firmware"]["name"], "QVFImage_21.bin");
}

TEST(CameraApi, DigestAcceptsTheRightAnswerAndFlagsOldNonces) {
    const std::string realm = "R";
    const std::string ha1 = digest::md5Hex("admin:R:pw");
    const std::string ha2 = digest::md5Hex("GET:/api/v1/device");
    auto header = [&](const std::string& nonce, const std::string& password) {
        const std::string h1 = digest::md5Hex("admin:R:" + password);
        const std::string response = digest::md5Hex(h1 + ":" + nonce + ":00000001:cn:auth:" + ha2);
        return "Digest username=\"admin\", realm=\"R\", nonce=\"" + nonce +
               "\", uri=\"/api/v1/device\", cnonce=\"cn\", nc=00000001, qop=auth, response=\"" +
               response + "\", algorithm=MD5";
    };
    auto verdict = [&](const std::string& h, const char* uri = "/api/v1/device") {
        return digest::verify(digest::parseAuthorization(h), "GET", uri, realm, "admin", "pw",
                              "n2");
    };
    EXPECT_EQ(verdict(header("n2", "pw")), digest::Verdict::Accepted);
    EXPECT_EQ(verdict(header("n1", "pw")), digest::Verdict::Stale);
    EXPECT_EQ(verdict(header("n2", "other")), digest::Verdict::Refused);
    EXPECT_EQ(verdict(header("n2", "pw"), "/api/v1/network/ports"), digest::Verdict::Refused);
    EXPECT_EQ(verdict("Basic YWRtaW46cHc="), digest::Verdict::Refused);
    (void)ha1;

    // A file name travels percent-encoded; the request may reach the check
    // decoded or not, the hash is over what the client sent.
    const std::string encoded = "/api/v1/system/oem?name=a%27b%20c.bmp";
    const std::string h2 = digest::md5Hex("POST:" + encoded);
    const std::string response = digest::md5Hex(ha1 + ":n2:00000001:cn:auth:" + h2);
    const std::string upload = "Digest username=\"admin\", realm=\"R\", nonce=\"n2\", uri=\"" +
                               encoded + "\", cnonce=\"cn\", nc=00000001, qop=auth, response=\"" +
                               response + "\"";
    auto post = [&](const char* target) {
        return digest::verify(digest::parseAuthorization(upload), "POST", target, realm, "admin",
                              "pw", "n2");
    };
    EXPECT_EQ(post("/api/v1/system/oem?name=a%27b%20c.bmp"), digest::Verdict::Accepted);
    EXPECT_EQ(post("/api/v1/system/oem?name=a'b c.bmp"), digest::Verdict::Accepted);
    EXPECT_EQ(post("/api/v1/system/oem?name=ab.bmp"), digest::Verdict::Refused);
}

} // namespace
