#include "text/TextConv.h"
#include "text/Printable.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

namespace {

std::string narrow(int cp, const wchar_t* src, int size, bool escape, int* result = nullptr) {
    std::string buf(static_cast<size_t>(size), '\x7f');
    const int n = WideToMulti(cp, src, buf.data(), size, escape);
    if (result != nullptr) {
        *result = n;
    }
    return n > 0 ? std::string(buf.c_str()) : buf;
}

// Runs a block with LC_CTYPE set to `name` and restores the old one after.
class CtypeLocale {
public:
    explicit CtypeLocale(const char* name) : m_old(std::setlocale(LC_CTYPE, nullptr)) {
        m_ok = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~CtypeLocale() { std::setlocale(LC_CTYPE, m_old.c_str()); }
    bool ok() const { return m_ok; }

private:
    std::string m_old;
    bool m_ok = false;
};

} // namespace

TEST(WideToMulti, EscapesBackslashAndApostrophe) {
    int n = 0;
    EXPECT_EQ(narrow(orv::kCpUtf8, L"a'b\\c", 64, true, &n), "a\\'b\\\\c");
    EXPECT_EQ(n, 8);
    EXPECT_EQ(narrow(orv::kCpUtf8, L"C:\\x", 64, true), "C:\\\\x");
    EXPECT_EQ(narrow(orv::kCpUtf8, L"a'b\\c", 64, false), "a'b\\c");
}

TEST(WideToMulti, AbsentOrEmptySourceLeavesDestinationAlone) {
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(WideToMulti(orv::kCpUtf8, L"", buf, sizeof buf, true), 0);
    EXPECT_EQ(WideToMulti(orv::kCpUtf8, nullptr, buf, sizeof buf, true), 0);
    EXPECT_EQ(WideToMulti(orv::kCpUtf8, L"a", nullptr, 8, true), 0);
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(8, 'x'));
}

TEST(WideToMulti, DestinationOfNBytesTakesAtMostNMinusTwo) {
    int n = 0;
    EXPECT_EQ(narrow(orv::kCpUtf8, L"123456789012345", 16, true, &n), std::string(16, '\x7f'));
    EXPECT_EQ(n, 0) << "15 characters must not fit a 16-byte field";
    EXPECT_EQ(narrow(orv::kCpUtf8, L"12345678901234", 16, true, &n), "12345678901234");
    EXPECT_EQ(n, 15);
    // Multibyte text counts bytes, not characters: 7 x "ü" is 14 bytes.
    EXPECT_EQ(narrow(orv::kCpUtf8, L"üüüüüüü", 16, false, &n), "üüüüüüü");
    EXPECT_EQ(narrow(orv::kCpUtf8, L"üüüüüüüa", 16, false, &n), std::string(16, '\x7f'));
    EXPECT_EQ(n, 0);
}

TEST(WideToMulti, EscapedTextIsCutBeforeConversion) {
    // "ab'" escapes to 4 characters; a 5-byte field cuts nothing at the
    // escape step, and 4 bytes plus terminator do not fit in fewer than 5.
    int n = 0;
    narrow(orv::kCpUtf8, L"ab'", 5, true, &n);
    EXPECT_EQ(n, 0);
    // In a 4-byte field the escaped text is cut to 3 characters first.
    narrow(orv::kCpUtf8, L"ab'", 4, true, &n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(narrow(orv::kCpUtf8, L"ab'", 6, true, &n), "ab\\'");
    EXPECT_EQ(n, 5);
}

TEST(WideToMulti, CodePageZeroFollowsTheLocaleCharset) {
    {
        CtypeLocale c("C");
        ASSERT_TRUE(c.ok());
        EXPECT_EQ(narrow(orv::kCpAnsi, L"aü€", 16, false), "a??");
    }
    {
        CtypeLocale utf8("C.UTF-8");
        if (!utf8.ok()) {
            GTEST_SKIP() << "C.UTF-8 locale not available";
        }
        EXPECT_EQ(narrow(orv::kCpAnsi, L"aü€", 16, false), "a\xC3\xBC\xE2\x82\xAC");
    }
}

TEST(MultiToWide, ConvertsAndHonoursTheSize) {
    wchar_t buf[8];
    EXPECT_EQ(MultiToWide(orv::kCpUtf8, "\xE7\xBD\x91\xE7\xBB\x9C", buf, 8), 3);
    EXPECT_EQ(std::wstring(buf), L"网络");
    EXPECT_EQ(MultiToWide(orv::kCpUtf8, "1234567", buf, 8), 0);
    EXPECT_EQ(MultiToWide(orv::kCpUtf8, "123456", buf, 8), 7);
    EXPECT_EQ(MultiToWide(orv::kCpUtf8, "", buf, 8), 0);
}

TEST(MultiToWide, MalformedUtf8BecomesReplacementCharacters) {
    wchar_t buf[16];
    // A lone continuation byte, an overlong '/', a truncated sequence.
    ASSERT_GT(MultiToWide(orv::kCpUtf8,
                          "a\x80"
                          "b\xC0\xAF"
                          "c\xE2\x82",
                          buf, 16),
              0);
    EXPECT_EQ(std::wstring(buf), L"a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD");
    EXPECT_FALSE(orv::IsValidUtf8("a\x80"));
    EXPECT_TRUE(orv::IsValidUtf8("\xEF\xBF\xBD ok"));
}

TEST(Utf8, RoundTripsCharactersOutsideTheBasicPlane) {
    const std::wstring text = L"cam \U0001F4F7 名";
    EXPECT_EQ(orv::FromUtf8(orv::ToUtf8(text)), text);
    EXPECT_EQ(orv::ToUtf8(L"\U0001F4F7"), "\xF0\x9F\x93\xB7");
}

TEST(Printable, ControlAndDirectionalCharactersAreShownAsEscapesTheRestAsItCame) {
    EXPECT_EQ(orv::Printable("S\xC3\xBC"
                             "d \xE5\x8C\x97 a\\b 'x'"),
              "S\xC3\xBC"
              "d \xE5\x8C\x97 a\\b 'x'");
    EXPECT_EQ(orv::Printable("\x1b]0;t\x07\r\n\t\x7f"), "\\x1b]0;t\\x07\\x0d\\x0a\\x09\\x7f");
    EXPECT_EQ(orv::Printable("\xC2\x9B"
                             "2J"),
              "\\x9b2J")
        << "C1 CSI, as UTF-8";
    EXPECT_EQ(orv::Printable("a\xE2\x80\xAE"
                             "b\xE2\x81\xA6"),
              "a\\u202eb\\u2066");
    EXPECT_EQ(orv::Printable("\xFF\xC3"), "\\xff\\xc3") << "bytes that are not UTF-8";
    EXPECT_EQ(orv::Printable("\xC0\xAF"), "\\xc0\\xaf") << "an overlong form is no character";
    EXPECT_EQ(orv::Printable(std::string("a\0b", 3)), "a\\x00b");

    // A log line in any code page: only control bytes and C1 are escaped.
    EXPECT_EQ(orv::PrintableBytes("S\xFC"
                                  "d \x1b[2J\xC2\x9B"),
              "S\xFC"
              "d \\x1b[2J\\x9b");
}
