// The camera side of the API: range rules, firmware checks and Digest.

#include "Digest.h"
#include "camsim/httpapi/CameraConfig.h"

#include <gtest/gtest.h>

#include <set>

using namespace camsim;
using nlohmann::json;

namespace {

struct Camera {
    CameraIdentity identity{"Cam", "pw", 80, "QVIP3651", "13.1.0.5", "127.0.0.2", ""};
    json config = json::object();
    CameraState state{identity, config};
};

TEST(CameraApi, ModelClassDecidesTheOfferedFrameSizes) {
    EXPECT_EQ(api::modelClass("QVIPX9"), 1);
    EXPECT_EQ(api::modelClass("QVIP2"), 2);
    EXPECT_EQ(api::modelClass("QVIP3651"), 3);
    EXPECT_EQ(api::modelClass("QVIP3676"), 4);
    EXPECT_EQ(api::modelClass(""), 5);
    // The first rule that applies decides; a character past the end is none.
    EXPECT_EQ(api::modelClass("QVIP29"), 1);
    EXPECT_EQ(api::modelClass("QVIP3756"), 4);
    EXPECT_EQ(api::modelClass("QVIP37"), 5);
    EXPECT_EQ(api::modelClass("QVIP3646"), 5);

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

TEST(CameraApi, FactoryPortsDifferAndCamerasBehindOneAddressGetTheirOwnVideoPort) {
    std::set<int> rtsp;
    for (const int http : {80, 8000, 554, 8080, 8081, 20000, 65535}) {
        Camera camera;
        camera.identity.httpPort = http;
        const json ports = api::getPorts(camera.state).body;
        EXPECT_EQ(api::setPorts(camera.state, ports).status, 200)
            << "an unchanged write-back is taken: " << ports.dump();
        EXPECT_TRUE(rtsp.insert(ports["rtsp1"].get<int>()).second) << ports.dump();
    }
    Camera first;
    EXPECT_EQ(
        api::getPorts(first.state).body,
        (json{{"http", 80}, {"onvif", 8000}, {"rtsp1", 554}, {"rtsp2", 555}, {"reserved", 0}}));
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

TEST(CameraApi, DigestTakesEachNonceCountOnceAndAgesNonces) {
    using qvipc::wire::DigestAlgorithm;
    using qvipc::wire::digestHex;
    const auto t0 = digest::Clock::now();
    digest::NonceBook book(std::chrono::seconds(60));
    const std::string nonce = book.issue("cam", t0);
    // Built by hand from RFC 7616, independently of the verifier.
    auto header = [&](const std::string& n, const char* nc, DigestAlgorithm algorithm,
                      const std::string& password = "pw", const char* scheme = "Digest",
                      const std::string& uri = "/api/v1/device", const char* method = "GET") {
        const std::string ha1 = digestHex(algorithm, "admin:R:" + password);
        const std::string ha2 = digestHex(algorithm, std::string(method) + ":" + uri);
        const std::string response =
            digestHex(algorithm, ha1 + ":" + n + ":" + nc + ":cn:auth:" + ha2);
        return std::string(scheme) + " username=\"admin\", realm=\"R\", nonce=\"" + n +
               "\", uri=\"" + uri + "\", cnonce=\"cn\", nc=" + nc + ", qop=auth, response=\"" +
               response + "\", algorithm=" + qvipc::wire::digestAlgorithmName(algorithm);
    };
    auto verdictAt = [&](const std::string& h, digest::Clock::time_point now,
                         const char* target = "/api/v1/device", const char* method = "GET") {
        return digest::verify({h, method, target, "R", "admin", "pw"}, book, "cam", now);
    };
    auto verdict = [&](const std::string& h) { return verdictAt(h, t0); };
    EXPECT_EQ(verdict(header(nonce, "00000001", DigestAlgorithm::Md5)), digest::Verdict::Accepted);
    EXPECT_EQ(verdict(header(nonce, "00000001", DigestAlgorithm::Md5)), digest::Verdict::Refused)
        << "a replayed nonce count";
    EXPECT_EQ(verdict(header(nonce, "00000003", DigestAlgorithm::Sha256, "pw", "DIGEST")),
              digest::Verdict::Accepted)
        << "SHA-256, scheme in any case, counts may skip";
    EXPECT_EQ(verdict(header(nonce, "00000002", DigestAlgorithm::Md5, "pw", "digest")),
              digest::Verdict::Accepted);
    EXPECT_EQ(verdict(header(nonce, "00000004", DigestAlgorithm::Md5, "other")),
              digest::Verdict::Refused);
    EXPECT_EQ(
        verdictAt(header(nonce, "00000005", DigestAlgorithm::Md5), t0, "/api/v1/network/ports"),
        digest::Verdict::Refused);
    EXPECT_EQ(verdict("Basic YWRtaW46cHc="), digest::Verdict::Refused);
    EXPECT_EQ(verdict(header("made-up", "00000001", DigestAlgorithm::Md5)), digest::Verdict::Stale);
    EXPECT_EQ(
        verdictAt(header(nonce, "00000006", DigestAlgorithm::Md5), t0 + std::chrono::seconds(61)),
        digest::Verdict::Stale)
        << "nonces age";
    const std::string next = book.issue("cam", t0);
    book.forget("cam"); // a reboot
    EXPECT_EQ(verdict(header(next, "00000001", DigestAlgorithm::Md5)), digest::Verdict::Stale);

    // A file name travels percent-encoded; the request may reach the check
    // decoded or not, the hash is over what the client sent.
    const std::string encoded = "/api/v1/system/oem?name=a%27b%20c.bmp";
    const std::string upload = book.issue("cam", t0);
    for (const char* target :
         {"/api/v1/system/oem?name=a%27b%20c.bmp", "/api/v1/system/oem?name=a'b c.bmp"}) {
        static int count = 0;
        const std::string nc = "0000000" + std::to_string(++count);
        EXPECT_EQ(verdictAt(header(upload, nc.c_str(), DigestAlgorithm::Md5, "pw", "Digest",
                                   encoded, "POST"),
                            t0, target, "POST"),
                  digest::Verdict::Accepted)
            << target;
    }
    EXPECT_EQ(
        verdictAt(header(upload, "00000009", DigestAlgorithm::Md5, "pw", "Digest", encoded, "POST"),
                  t0, "/api/v1/system/oem?name=ab.bmp", "POST"),
        digest::Verdict::Refused);
}

// What an attack in the lab did: a flood of unauthenticated requests took
// the nonce a client was about to answer. Nonces are now their own proof, and
// only answered ones take memory, per client and within bounds.
TEST(CameraApi, DigestNoncesOutliveFloodsAndTheirStateStaysBounded) {
    using qvipc::wire::DigestAlgorithm;
    using qvipc::wire::digestHex;
    const auto t0 = digest::Clock::now();
    digest::NonceBook book(std::chrono::seconds(60));
    auto header = [](const std::string& n, const char* nc) {
        const std::string ha1 = digestHex(DigestAlgorithm::Md5, "admin:R:pw");
        const std::string ha2 = digestHex(DigestAlgorithm::Md5, "GET:/api/v1/device");
        const std::string response =
            digestHex(DigestAlgorithm::Md5, ha1 + ":" + n + ":" + nc + ":cn:auth:" + ha2);
        return "Digest username=\"admin\", realm=\"R\", nonce=\"" + n +
               "\", uri=\"/api/v1/device\", cnonce=\"cn\", nc=" + nc + ", qop=auth, response=\"" +
               response + "\", algorithm=MD5";
    };
    auto verdict = [&](const std::string& nonce, const char* nc, const std::string& client,
                       const std::string& camera = "cam") {
        return digest::verify({header(nonce, nc), "GET", "/api/v1/device", "R", "admin", "pw"},
                              book, camera, client, t0 + std::chrono::seconds(1));
    };
    const std::string mine = book.issue("cam", "192.0.2.1", t0);
    EXPECT_EQ(mine.size(), 32u) << "as long as before on the wire";
    std::set<std::string> flood;
    for (int i = 0; i < 20000; ++i) {
        flood.insert(book.issue("cam", i % 2 ? "192.0.2.1" : "192.0.2.2", t0));
    }
    EXPECT_EQ(flood.size(), 20000u) << "every nonce differs";
    EXPECT_EQ(verdict(mine, "00000001", "192.0.2.1"), digest::Verdict::Accepted)
        << "20,000 challenges to others and to the client itself took nothing";
    EXPECT_EQ(verdict(mine, "00000002", "192.0.2.2"), digest::Verdict::Stale)
        << "a nonce answers only from the address it went to";
    EXPECT_EQ(verdict(mine, "00000002", "192.0.2.1", "other"), digest::Verdict::Stale);
    std::string forged = mine;
    forged[31] = forged[31] == '0' ? '1' : '0';
    EXPECT_EQ(verdict(forged, "00000001", "192.0.2.1"), digest::Verdict::Stale);

    // One client: its 16 most recently used nonces keep their counts; the
    // one pushed out is stale, never open to its old counts again.
    std::vector<std::string> nonces;
    for (std::size_t i = 0; i <= digest::NonceBook::kNoncesPerClient; ++i) {
        nonces.push_back(book.issue("cam", "192.0.2.3", t0 + std::chrono::milliseconds(i + 1)));
    }
    for (const auto& nonce : nonces) {
        ASSERT_EQ(verdict(nonce, "00000001", "192.0.2.3"), digest::Verdict::Accepted);
    }
    EXPECT_EQ(verdict(nonces.front(), "00000001", "192.0.2.3"), digest::Verdict::Stale);
    EXPECT_EQ(verdict(nonces.back(), "00000001", "192.0.2.3"), digest::Verdict::Refused);
    EXPECT_EQ(verdict(nonces.back(), "00000002", "192.0.2.3"), digest::Verdict::Accepted);

    // Many clients: the one longest without a login makes room, and what
    // it held goes stale rather than open.
    const std::string first = book.issue("cam2", "198.18.0.0", t0);
    ASSERT_EQ(verdict(first, "00000001", "198.18.0.0", "cam2"), digest::Verdict::Accepted);
    for (std::size_t i = 1; i <= digest::NonceBook::kClientsPerCamera; ++i) {
        const std::string client = "198.18.0." + std::to_string(i);
        const std::string nonce = book.issue("cam2", client, t0 + std::chrono::milliseconds(i));
        ASSERT_EQ(verdict(nonce, "00000001", client, "cam2"), digest::Verdict::Accepted) << client;
    }
    EXPECT_EQ(verdict(first, "00000001", "198.18.0.0", "cam2"), digest::Verdict::Stale);
    EXPECT_EQ(verdict(mine, "00000003", "192.0.2.1"), digest::Verdict::Accepted)
        << "other cameras' clients are apart";
}

} // namespace
