#include "lang/IniFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

using orv::IniDocument;

namespace {

std::string utf16le(const std::u16string& text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

} // namespace

TEST(IniFile, ReadsValuesAsTheProfileReaderDoes) {
    const auto doc = IniDocument::Parse("; comment\r\n"
                                        "[Prompt]\r\n"
                                        "  10000 =  Sprache  \r\n"
                                        "10001=\"  quoted blanks  \"\r\n"
                                        "10002='single'\r\n"
                                        "10003=\"only one side\r\n"
                                        "10004=\r\n"
                                        "10000=second occurrence loses\r\n"
                                        "[other]\n"
                                        "10005=elsewhere\n"
                                        "[PROMPT]\n"
                                        "10006=repeated section is not read\n");
    EXPECT_EQ(doc.Get(L"PROMPT", L"10000"), L"Sprache");
    EXPECT_EQ(doc.Get(L"prompt", L"10001"), L"  quoted blanks  ");
    EXPECT_EQ(doc.Get(L"PROMPT", L"10002"), L"single");
    EXPECT_EQ(doc.Get(L"PROMPT", L"10003"), L"\"only one side");
    EXPECT_EQ(doc.Get(L"PROMPT", L"10004"), L"");
    EXPECT_EQ(doc.Get(L"PROMPT", L"10005"), std::nullopt);
    EXPECT_EQ(doc.Get(L"PROMPT", L"10006"), std::nullopt);
    EXPECT_EQ(doc.Get(L"OTHER", L"10005"), L"elsewhere");
    EXPECT_EQ(doc.Get(L"missing", L"10000"), std::nullopt);
}

TEST(IniFile, DecodesEveryAcceptedEncoding) {
    const std::string utf8 = "[LANGUAGE]\nLanguage=简体中文\n";
    EXPECT_EQ(IniDocument::Parse(utf8).Get(L"LANGUAGE", L"Language"), L"简体中文");
    EXPECT_EQ(IniDocument::Parse("\xEF\xBB\xBF" + utf8).Get(L"language", L"language"), L"简体中文");
    const auto wide = IniDocument::Parse(utf16le(u"[LANGUAGE]\r\nLanguage=日本語\r\nLangID=1041"));
    EXPECT_EQ(wide.Get(L"LANGUAGE", L"Language"), L"日本語");
    EXPECT_EQ(wide.Get(L"LANGUAGE", L"LangID"), L"1041");
}

TEST(IniFile, WritingKeepsEverythingElseAndTheEncoding) {
    TempDir tmp;
    const std::wstring path = (tmp.path() / "x.ini").wstring();
    tmp.write("x.ini",
              utf16le(u"; keep me\r\n[Main]\r\nOther=1\r\nLanguage=5\r\n[Tail]\r\nK=v\r\n"));
    ASSERT_TRUE(orv::WriteProfileString(path, L"main", L"language", L"2052"));
    ASSERT_TRUE(orv::WriteProfileString(path, L"New", L"Key", L"值"));
    const std::string bytes = tmp.read("x.ini");
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    const auto doc = IniDocument::Parse(bytes);
    EXPECT_EQ(doc.Get(L"Main", L"Language"), L"2052");
    EXPECT_EQ(doc.Get(L"Main", L"Other"), L"1");
    EXPECT_EQ(doc.Get(L"Tail", L"K"), L"v");
    EXPECT_EQ(doc.Get(L"New", L"Key"), L"值");
    EXPECT_NE(doc.Serialize().find(std::string("\x3B\x00 \x00k\x00", 6)), std::string::npos)
        << "the comment line survives";
}

TEST(IniFile, WritingCreatesTheFileAndFailsCleanlyWithoutADirectory) {
    TempDir tmp;
    const std::wstring path = (tmp.path() / "Language.ini").wstring();
    ASSERT_TRUE(orv::WriteProfileString(path, L"Main", L"Language", L"1031"));
    EXPECT_EQ(orv::ReadProfileInt(path, L"Main", L"Language", 0), 1031);
    EXPECT_FALSE(
        orv::WriteProfileString((tmp.path() / "no" / "such.ini").wstring(), L"a", L"b", L"c"));
}

TEST(IniFile, NumbersAreReadLikeTheProfileReader) {
    TempDir tmp;
    tmp.write("n.ini", "[s]\na= 42abc\nb=-7\nc=abc\nd=\ne=131073\n");
    const std::wstring path = (tmp.path() / "n.ini").wstring();
    EXPECT_EQ(orv::ReadProfileInt(path, L"s", L"a", 9), 42);
    EXPECT_EQ(orv::ReadProfileInt(path, L"s", L"b", 9), -7);
    EXPECT_EQ(orv::ReadProfileInt(path, L"s", L"c", 9), 0);
    EXPECT_EQ(orv::ReadProfileInt(path, L"s", L"d", 9), 0);
    EXPECT_EQ(orv::ReadProfileInt(path, L"s", L"e", 9), 131073);
    EXPECT_EQ(orv::ReadProfileInt(path, L"s", L"missing", 9), 9);
    EXPECT_EQ(orv::ReadProfileInt(path + L"x", L"s", L"a", 9), 9);
}
