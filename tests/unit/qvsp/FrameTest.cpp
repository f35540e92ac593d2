#include "WireSamples.h"

#include <gtest/gtest.h>

#include <vector>

using namespace samples;

namespace {

DecodeError decodeBytes(std::span<const std::uint8_t> bytes) {
    Frame ignored;
    return decode(bytes, ignored);
}

std::vector<Frame> everyKind() {
    Challenge challenge;
    challenge.device = deviceOf(kCamera);
    challenge.nonce.fill(0x3c);
    ModifyResult result;
    result.device = deviceOf(kCamera);
    result.result = -7;
    return {
        frame(kBroadcast, kTool, SearchRequest{}),
        frame(kTool, kCamera, answer()),
        frame(kCamera, kTool, ChallengeRequest{deviceOf(kCamera)}),
        frame(kTool, kCamera, challenge),
        frame(kCamera, kTool, modifyRequest()),
        frame(kTool, kCamera, result),
    };
}

// Offsets inside the frame, as the protocol document gives them.
constexpr std::size_t kMagicAt = 14;
constexpr std::size_t kVersionAt = 18;
constexpr std::size_t kKindAt = 19;
constexpr std::size_t kLengthAt = 20;
constexpr std::size_t kBodyAt = 30;

} // namespace

TEST(Frame, EveryKindSurvivesARoundTrip) {
    for (const Frame& original : everyKind()) {
        const FrameBytes bytes = encode(original);
        Frame decoded;
        ASSERT_EQ(decode(bytes, decoded), DecodeError::None)
            << "kind " << static_cast<int>(kindOf(original.body));
        EXPECT_EQ(decoded, original) << "kind " << static_cast<int>(kindOf(original.body));
    }
}

TEST(Frame, HeaderBytesAreInNetworkOrder) {
    const FrameBytes b = encode(frame(kTool, kCamera, answer()));
    EXPECT_EQ(b[12], 0x08);
    EXPECT_EQ(b[13], 0x09);
    EXPECT_EQ(std::string(b.begin() + kMagicAt, b.begin() + kMagicAt + 4), "OVXD");
    EXPECT_EQ(b[kKindAt], 2);
    EXPECT_EQ(b[kLengthAt], 0);
    EXPECT_EQ(b[kLengthAt + 1], 188);
    EXPECT_EQ(b[22], 0x01); // xid, most significant byte first
    EXPECT_EQ(b[25], 0x04);
    // 192.0.2.10 right after the 8-byte device id
    EXPECT_EQ(b[kBodyAt + 8], 192);
    EXPECT_EQ(b[kBodyAt + 11], 10);
    // nothing is left behind after the body
    for (std::size_t i = kBodyAt + 188; i < kFrameSize; ++i)
        ASSERT_EQ(b[i], 0) << i;
}

TEST(Frame, OverlongTextsAreCutToWidthMinusOne) {
    SearchAnswer a = answer();
    a.name = std::string(200, 'n');
    a.model = std::string(32, 'm');
    a.displayModel = std::string(31, 'd');
    Frame decoded;
    ASSERT_EQ(decode(encode(frame(kTool, kCamera, a)), decoded), DecodeError::None);
    const auto& back = std::get<SearchAnswer>(decoded.body);
    EXPECT_EQ(back.name, std::string(63, 'n'));
    EXPECT_EQ(back.model, std::string(31, 'm'));
    EXPECT_EQ(back.displayModel, std::string(31, 'd'));
}

TEST(Frame, RejectsWrongSizesAndEtherType) {
    const FrameBytes good = encode(frame(kTool, kCamera, answer()));
    std::vector<std::uint8_t> longer(good.begin(), good.end());
    longer.push_back(0);
    EXPECT_EQ(decodeBytes(longer), DecodeError::FrameSize);
    EXPECT_EQ(decodeBytes(std::span(good).first(259)), DecodeError::FrameSize);
    EXPECT_EQ(decodeBytes({}), DecodeError::FrameSize);

    FrameBytes ipv4 = good;
    ipv4[12] = 0x08;
    ipv4[13] = 0x00;
    EXPECT_EQ(decodeBytes(ipv4), DecodeError::EtherType);
}

TEST(Frame, RejectsWrongMagicVersionAndKind) {
    const FrameBytes good = encode(frame(kTool, kCamera, answer()));
    for (std::size_t i = 0; i < 4; ++i) {
        FrameBytes b = good;
        b[kMagicAt + i] ^= 0x20;
        EXPECT_EQ(decodeBytes(b), DecodeError::Magic) << i;
    }
    for (std::uint8_t v : {0, 2, 255}) {
        FrameBytes b = good;
        b[kVersionAt] = v;
        EXPECT_EQ(decodeBytes(b), DecodeError::Version) << int(v);
    }
    for (std::uint8_t k : {0, 7, 128, 255}) {
        FrameBytes b = good;
        b[kKindAt] = k;
        EXPECT_EQ(decodeBytes(b), DecodeError::Kind) << int(k);
    }
}

TEST(Frame, RejectsABodyLengthThatDoesNotFitTheKind) {
    for (const Frame& f : everyKind()) {
        const FrameBytes good = encode(f);
        const unsigned length = good[kLengthAt] << 8 | good[kLengthAt + 1];
        for (unsigned wrong : {length + 1, length == 0 ? 1u : length - 1, 230u, 231u, 0xffffu}) {
            if (wrong == length)
                continue;
            FrameBytes b = good;
            b[kLengthAt] = static_cast<std::uint8_t>(wrong >> 8);
            b[kLengthAt + 1] = static_cast<std::uint8_t>(wrong);
            EXPECT_EQ(decodeBytes(b), DecodeError::BodyLength)
                << "kind " << int(good[kKindAt]) << " length " << wrong;
        }
    }
}

TEST(Frame, RejectsEveryTextFieldWithoutTerminator) {
    // (frame, offset of the field inside the body, width)
    struct Field {
        Frame f;
        std::size_t at;
        std::size_t width;
    };
    const std::vector<Field> fields = {
        {frame(kTool, kCamera, answer()), 28, 64},        // device name
        {frame(kTool, kCamera, answer()), 92, 32},        // model
        {frame(kTool, kCamera, answer()), 124, 32},       // version
        {frame(kTool, kCamera, answer()), 156, 32},       // display model
        {frame(kCamera, kTool, modifyRequest()), 44, 32}, // user name
        {frame(kCamera, kTool, modifyRequest()), 76, 64}, // new device name
    };
    for (const auto& field : fields) {
        FrameBytes b = encode(field.f);
        std::fill_n(b.begin() + static_cast<long>(kBodyAt + field.at), field.width, 'x');
        EXPECT_EQ(decodeBytes(b), DecodeError::Text) << "field at " << field.at;
        // A terminator in the last byte of the field is enough.
        b[kBodyAt + field.at + field.width - 1] = 0;
        EXPECT_EQ(decodeBytes(b), DecodeError::None) << "field at " << field.at;
    }
}

TEST(Frame, RejectsADeviceIdThatIsNotTheCameraEnd) {
    // Answers must come from the camera they describe...
    EXPECT_EQ(decodeBytes(encode(frame(kTool, kTool, answer()))), DecodeError::DeviceMismatch);
    // ...and requests must go to the camera they name.
    EXPECT_EQ(decodeBytes(encode(frame(kTool, kTool, modifyRequest()))),
              DecodeError::DeviceMismatch);
    EXPECT_EQ(decodeBytes(encode(frame(kBroadcast, kTool, ChallengeRequest{deviceOf(kCamera)}))),
              DecodeError::DeviceMismatch);
}

TEST(Frame, IgnoresReservedBytesAndPadding) {
    FrameBytes b = encode(frame(kTool, kCamera, answer()));
    b[26] = 0xee; // reserved header word
    b[kFrameSize - 1] = 0xee;
    Frame decoded;
    ASSERT_EQ(decode(b, decoded), DecodeError::None);
    EXPECT_EQ(std::get<SearchAnswer>(decoded.body), answer());
}
