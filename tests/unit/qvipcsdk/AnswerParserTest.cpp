// The answer parser and the request builders, without a network.

#include "Answers.h"
#include "Texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace qvsdk;

namespace {

// Sealing is checked on its own below; here the secret stands for itself.
const Sealer kSeal = [](std::string_view secret) {
    return qvipc::wire::Sealed{"n", "i", std::string(secret)};
};
const Opener kOpen = [](const qvipc::wire::Sealed& sealed) { return sealed.data; };

const std::string kStream =
    R"({"stream":1,"enabled":true,"codec":0,"frameSize":5,"frameRate":25,"bitRate":4096,)"
    R"("bitRateControl":1,"iFrameInterval":20,"deviceTag":4294967295})";

TEST(AnswerParser, ValidAnswersFillEveryField) {
    QvVideoConfig stream{};
    ASSERT_TRUE(parseVideoConfig(kStream, 1, stream));
    EXPECT_EQ(stream.stream, 1);
    EXPECT_EQ(stream.enabled, 1);
    EXPECT_EQ(stream.bitRate, 4096);
    EXPECT_EQ(stream.deviceTag, 4294967295u);

    QvImagingConfig imaging{};
    ASSERT_TRUE(parseImagingConfig(
        R"({"powerLineFrequency":60,"irCutMode":1,"localDisplay":2,"outdoorMode":1,)"
        R"("exposureLevel":10,"maxExposureTime":4,"deviceData":"000102030405060708090a0b0c0d0e"})",
        imaging));
    const unsigned char expected[24] = {0, 1, 2, 3, 60, 0,  0,  0,  1, 4,  5, 6,
                                        7, 8, 9, 2, 10, 11, 12, 13, 1, 10, 4, 14};
    EXPECT_EQ(std::memcmp(&imaging, expected, sizeof expected), 0);

    QvSystemDate date{};
    ASSERT_TRUE(parseSystemDate(R"({"useTimeServer":true,"date":"2013-05-07","time":"09:05:03",)"
                                R"("timeServer":"pool.ntp.org","timeZone":20})",
                                date));
    EXPECT_STREQ(date.date, "2013-05-07");
    EXPECT_STREQ(date.time, "09:05:03");
    EXPECT_EQ(date.timeZone, 20);
}

TEST(AnswerParser, WrongShapesAreRefusedAndLeaveTheRecord) {
    const char* bad[] = {
        "",
        "not json",
        "[1,2,3]",
        R"({"brightness":1,"contrast":2})",                   // missing field
        R"({"brightness":"1","contrast":2,"saturation":3})",  // string for number
        R"({"brightness":1.5,"contrast":2,"saturation":3})",  // fraction
        R"({"brightness":true,"contrast":2,"saturation":3})", // boolean
        R"({"brightness":256,"contrast":2,"saturation":3})",  // out of range
        R"({"brightness":-1,"contrast":2,"saturation":3})",
        R"({"brightness":1,"contrast":2,"saturation":18446744073709551615})",
        R"({"brightness":1,"contrast":2,"saturation":3)", // cut
    };
    for (const char* body : bad) {
        QvImagingSettings record{9, 9, 9};
        EXPECT_FALSE(parseImagingSettings(body, record)) << body;
        EXPECT_EQ(record.brightness, 9) << body;
    }
    QvVideoConfig stream{};
    EXPECT_FALSE(parseVideoConfig(kStream, 0, stream)) << "answer for the other stream";
    QvSystemDate date{};
    EXPECT_FALSE(parseSystemDate(R"({"useTimeServer":false,"date":"2013/05/07","time":"09:05:03",)"
                                 R"("timeServer":"","timeZone":20})",
                                 date));
    EXPECT_FALSE(parseSystemDate(R"({"useTimeServer":false,"date":"2013-02-30","time":"09:05:03",)"
                                 R"("timeServer":"","timeZone":20})",
                                 date));
    EXPECT_FALSE(parseSystemDate(R"({"useTimeServer":1,"date":"2013-05-07","time":"09:05:03",)"
                                 R"("timeServer":"","timeZone":20})",
                                 date));
    QvImagingConfig imaging{};
    EXPECT_FALSE(parseImagingConfig(
        R"({"powerLineFrequency":55,"irCutMode":1,"localDisplay":2,"outdoorMode":1,)"
        R"("exposureLevel":10,"maxExposureTime":4,"deviceData":"000102030405060708090a0b0c0d0e"})",
        imaging))
        << "mains run at 50 or 60 Hz only";
}

TEST(AnswerParser, HugeAnswersAreRefusedUnread) {
    std::string body = R"({"brightness":1,"contrast":2,"saturation":3,"pad":")";
    body.append(kMaxAnswerBytes, 'x');
    body += "\"}";
    QvImagingSettings record{};
    EXPECT_FALSE(parseImagingSettings(body, record));
    // Deep nesting is refused before it is parsed.
    EXPECT_FALSE(parseImagingSettings(R"({"brightness":1,"contrast":2,"saturation":3,"x":)" +
                                          std::string(5, '[') + std::string(5, ']') + "}",
                                      record));
}

TEST(AnswerParser, LongTextsAreCutToTheFieldWidth) {
    const std::string longHost(300, 'h');
    // 62 ASCII bytes and a three-byte character that would straddle the end.
    const std::string provider = std::string(62, 'p') + "\xE2\x82\xAC";
    QvDdnsInfo ddns;
    std::memset(&ddns, 0x55, sizeof ddns);
    ASSERT_TRUE(parseDdns(R"({"enabled":false,"provider":")" + provider +
                              R"(","user":"u","password":{"nonce":"n","iv":"i","data":"p"},)" +
                              R"("hash":"","host":")" + longHost + R"("})",
                          ddns, kOpen));
    EXPECT_EQ(std::strlen(ddns.host), 127u);
    EXPECT_EQ(std::strlen(ddns.provider), 62u);
    EXPECT_EQ(ddns.hash[0], '\0');
    EXPECT_EQ(ddns.hash[127], '\0'); // the rest of the field is zeroed
}

TEST(RequestBuilder, TextsLoseTheirEscapes) {
    EXPECT_EQ(unescapeText("a\\'b\\\\c"), "a'b\\c");
    EXPECT_EQ(unescapeText("trailing\\"), "trailing\\");
    EXPECT_EQ(unescapeText("/tmp/x\\y"), "/tmp/x\\y");
    EXPECT_EQ(percentDecode("%43%61%6D%20%31"), "Cam 1");
    EXPECT_EQ(percentDecode("%61.%62"), "a.b");
    EXPECT_EQ(percentDecode("% A"), "\n");
    EXPECT_FALSE(percentDecode("%"));
    EXPECT_FALSE(percentDecode("%G1"));

    EXPECT_EQ(*deviceNameRequest("%61%5C'%62"), R"({"name":"a'b"})");
    EXPECT_FALSE(deviceNameRequest("%FF%FE")) << "not UTF-8";
    EXPECT_EQ(*passwordRequest("admin", "a\\'b", kSeal),
              R"({"password":{"data":"a'b","iv":"i","nonce":"n"},"user":"admin"})");
}

TEST(SealedSecrets, OpenOnlyUnderTheirCredentialsNonceAndPurpose) {
    const qvipc::wire::SealKey key{"admin", "Orvantix Camera", "old-pass"};
    const auto sealed = qvipc::wire::sealSecret(key, "n1", "password.set", "new secret");
    ASSERT_TRUE(sealed);
    EXPECT_EQ(qvipc::wire::openSecret(key, *sealed, "password.set"), "new secret");
    EXPECT_FALSE(qvipc::wire::openSecret(key, *sealed, "ddns.set")) << "bound to its call";
    EXPECT_FALSE(
        qvipc::wire::openSecret({"admin", "Orvantix Camera", "guess"}, *sealed, "password.set"));
    auto moved = *sealed;
    moved.nonce = "n2";
    EXPECT_FALSE(qvipc::wire::openSecret(key, moved, "password.set"));
    auto changed = *sealed;
    changed.data[0] = changed.data[0] == '0' ? '1' : '0';
    EXPECT_FALSE(qvipc::wire::openSecret(key, changed, "password.set"));
    EXPECT_NE(qvipc::wire::sealSecret(key, "n1", "password.set", "new secret")->data, sealed->data)
        << "a fresh IV every time";
}

TEST(RequestBuilder, RecordsThatCannotTravelAreRefused) {
    QvSystemDate date{};
    std::strcpy(date.date, "2013/05/07");
    std::strcpy(date.time, "09:05:03");
    EXPECT_EQ(*systemDateRequest(date),
              R"({"date":"2013-05-07","time":"09:05:03","useTimeServer":false})");
    std::strcpy(date.date, "yesterday");
    EXPECT_FALSE(systemDateRequest(date));
    date.useTimeServer = 2;
    EXPECT_FALSE(systemDateRequest(date));

    QvVideoConfig stream{};
    stream.enabled = 3;
    EXPECT_FALSE(videoConfigRequest(stream));

    QvDdnsInfo ddns{};
    std::memset(ddns.host, 'h', sizeof ddns.host); // no terminator: the width bounds it
    auto body = ddnsRequest(ddns, kSeal);
    ASSERT_TRUE(body);
    EXPECT_NE(body->find(std::string(128, 'h')), std::string::npos);
    EXPECT_EQ(body->find(std::string(129, 'h')), std::string::npos);
}

} // namespace
