#include "WireSamples.h"

#include "qvsp/wire/Proof.h"
#include "qvsp/wire/Records.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace samples;

namespace {

tagQvIpcInfo request() {
    tagQvIpcInfo r{};
    const DeviceId id = deviceOf(kCamera);
    std::copy(id.begin(), id.end(), r.Mac);
    setField(r.UserName, "admin");
    setField(r.Password, "pw");
    setField(r.DevName, "Tor 1");
    setField(r.IpAddr, "192.0.2.44");
    r.HttpPort = 8081;
    setField(r.NetMask, "255.255.255.0");
    setField(r.Gateway, "192.0.2.1");
    setField(r.Dns, "192.0.2.1");
    return r;
}

bool terminated(const char* field, std::size_t width) {
    return std::memchr(field, 0, width) != nullptr;
}

} // namespace

TEST(Records, AnswerBecomesAFullTerminatedRecord) {
    SearchAnswer a = answer();
    a.name = std::string(63, 'N'); // the widest name that fits
    const tagQvIpcInfo r = toRecord(a);
    EXPECT_EQ(std::memcmp(r.Mac, a.device.data(), 8), 0);
    EXPECT_EQ(fieldText(r.DevName), a.name);
    EXPECT_STREQ(r.IpAddr, "192.0.2.10");
    EXPECT_STREQ(r.NetMask, "255.255.255.0");
    EXPECT_STREQ(r.Gateway, "192.0.2.1");
    EXPECT_STREQ(r.Dns, "8.8.8.8");
    EXPECT_EQ(r.HttpPort, 8080);
    EXPECT_STREQ(r.Model, "QV-N3651");
    EXPECT_STREQ(r.Version, "13.2.0.4");
    EXPECT_STREQ(r.DisplayModel, "Dome 2MP");
    // Fields only a modify request fills stay empty.
    EXPECT_EQ(r.UserName[0], 0);
    EXPECT_EQ(r.Password[0], 0);
    for (auto [field, width] : {std::pair{r.DevName, 64},
                                {r.IpAddr, 32},
                                {r.Model, 32},
                                {r.Version, 32},
                                {r.Reserved, 32},
                                {r.DisplayModel, 32}})
        EXPECT_TRUE(terminated(field, static_cast<std::size_t>(width)));
}

TEST(Records, SetFieldNeverFillsTheLastByte) {
    char field[8];
    std::memset(field, 'x', sizeof field);
    setField(field, "0123456789");
    EXPECT_STREQ(field, "0123456");
    setField(field, "ab");
    EXPECT_STREQ(field, "ab");
    EXPECT_EQ(field[7], 0); // the rest is cleared, not left from before
}

TEST(Records, ModifyRequestCarriesTheRecordsValuesAndAValidProof) {
    const Nonce nonce{9, 9, 9};
    const auto m = makeModifyRequest(request(), nonce);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->net.ip, 0xc000022cu);
    EXPECT_EQ(m->net.httpPort, 8081);
    EXPECT_EQ(m->name, "Tor 1");
    EXPECT_EQ(m->user, "admin");
    EXPECT_EQ(m->nonce, nonce);
    EXPECT_TRUE(proofMatches("pw", *m));
    EXPECT_FALSE(proofMatches("admin", *m));
}

TEST(Records, EscapedTextsReachTheCameraPlain) {
    tagQvIpcInfo r = request();
    setField(r.UserName, "o\\'neil");
    setField(r.Password, "a\\'b\\\\c");
    setField(r.DevName, "Tor\\\\1 \\x");
    const auto m = makeModifyRequest(r, Nonce{1});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->user, "o'neil");
    EXPECT_EQ(m->name, "Tor\\1 \\x") << "a backslash before anything else stays";
    EXPECT_TRUE(proofMatches("a'b\\c", *m));
    EXPECT_FALSE(proofMatches("a\\'b\\\\c", *m));
}

TEST(Records, UnusableValuesMakeNoRequest) {
    const auto refused = [](auto change) {
        tagQvIpcInfo r = request();
        change(r);
        return !makeModifyRequest(r, Nonce{}).has_value();
    };
    EXPECT_TRUE(refused([](tagQvIpcInfo& r) { setField(r.IpAddr, "192.0.2"); }));
    EXPECT_TRUE(refused([](tagQvIpcInfo& r) { setField(r.IpAddr, "192.0.2.256"); }));
    EXPECT_TRUE(refused([](tagQvIpcInfo& r) { setField(r.NetMask, "mask"); }));
    EXPECT_TRUE(refused([](tagQvIpcInfo& r) { setField(r.Gateway, " 192.0.2.1"); }));
    EXPECT_TRUE(refused([](tagQvIpcInfo& r) { r.HttpPort = 0; }));
    EXPECT_TRUE(refused([](tagQvIpcInfo& r) { r.HttpPort = 65536; }));
    EXPECT_TRUE(refused([](tagQvIpcInfo& r) { std::memset(r.IpAddr, '1', sizeof r.IpAddr); }));
    // An empty DNS text is allowed and means no server.
    EXPECT_FALSE(refused([](tagQvIpcInfo& r) { r.Dns[0] = 0; }));
    EXPECT_FALSE(refused([](tagQvIpcInfo& r) { r.HttpPort = 65535; }));
}
