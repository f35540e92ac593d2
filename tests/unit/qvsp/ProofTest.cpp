#include "WireSamples.h"

#include "qvsp/wire/Proof.h"

#include <gtest/gtest.h>

using namespace samples;

TEST(Proof, MatchesOnlyWithTheSamePassword) {
    ModifyRequest m = modifyRequest();
    m.proof = computeProof("s3cret", m);
    EXPECT_TRUE(proofMatches("s3cret", m));
    EXPECT_FALSE(proofMatches("s3cre", m));
    EXPECT_FALSE(proofMatches("S3cret", m));
    EXPECT_FALSE(proofMatches("", m));
}

TEST(Proof, CoversEverySignedField) {
    ModifyRequest signedRequest = modifyRequest();
    signedRequest.proof = computeProof("admin", signedRequest);

    std::vector<std::pair<const char*, std::function<void(ModifyRequest&)>>> changes = {
        {"nonce", [](ModifyRequest& m) { m.nonce[15] ^= 1; }},
        {"device", [](ModifyRequest& m) { m.device[7] ^= 1; }},
        {"ip", [](ModifyRequest& m) { m.net.ip += 1; }},
        {"netmask", [](ModifyRequest& m) { m.net.netmask = 0xffff0000; }},
        {"gateway", [](ModifyRequest& m) { m.net.gateway += 1; }},
        {"dns", [](ModifyRequest& m) { m.net.dns += 1; }},
        {"port", [](ModifyRequest& m) { m.net.httpPort = 81; }},
        {"user", [](ModifyRequest& m) { m.user = "root"; }},
        {"name", [](ModifyRequest& m) { m.name += "!"; }},
    };
    for (auto& [what, change] : changes) {
        ModifyRequest tampered = signedRequest;
        change(tampered);
        EXPECT_FALSE(proofMatches("admin", tampered)) << what;
    }
}

TEST(Proof, SurvivesTheWire) {
    ModifyRequest m = modifyRequest();
    m.proof = computeProof("pa'ss\\", m);
    Frame decoded;
    ASSERT_EQ(decode(encode(frame(kCamera, kTool, m)), decoded), DecodeError::None);
    EXPECT_TRUE(proofMatches("pa'ss\\", std::get<ModifyRequest>(decoded.body)));
}

TEST(Proof, NoncesAreFresh) {
    Nonce a{};
    Nonce b{};
    ASSERT_TRUE(randomNonce(a));
    ASSERT_TRUE(randomNonce(b));
    EXPECT_NE(a, b);
}
