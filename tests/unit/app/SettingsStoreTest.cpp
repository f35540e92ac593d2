#include "app/SettingsStore.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    TempDir tmp;
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", tmp.str().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    std::u16string read(const char16_t* name, const char16_t* def, std::uint32_t bytes = 520) {
        std::array<char16_t, 260> buf{};
        orv::ReadRegString(orv::RegRoot::CurrentUser, orv::kOrvantixKey, name, def, buf.data(),
                           bytes);
        return buf.data();
    }
    int write(const char16_t* name, std::u16string_view text) {
        return orv::WriteRegValue(orv::RegRoot::CurrentUser, orv::kOrvantixKey, name, text.data(),
                                  static_cast<std::uint32_t>(text.size() * 2), orv::kRegSz);
    }
};

} // namespace

TEST_F(SettingsStoreTest, MissingKeyOrValueGivesTheDefault) {
    EXPECT_EQ(read(u"User", u"admin"), u"admin");
    ASSERT_EQ(write(u"Other", u"x"), 1);
    EXPECT_EQ(read(u"User", u"admin"), u"admin");
}

TEST_F(SettingsStoreTest, StringsRoundTripAndNamesIgnoreCase) {
    ASSERT_EQ(write(u"User", u"Bediener 名 \U0001F4F7"), 1);
    EXPECT_EQ(read(u"User", u"admin"), u"Bediener 名 \U0001F4F7");
    EXPECT_EQ(read(u"USER", u"admin"), u"Bediener 名 \U0001F4F7");
    std::array<char16_t, 8> buf{};
    orv::ReadRegString(orv::RegRoot::CurrentUser, u"software\\orvantix", u"user", u"", buf.data(),
                       16);
    EXPECT_EQ(std::u16string(buf.data()), u"Bediene") << "16 bytes hold 7 units and a terminator";

    ASSERT_EQ(write(u"User", u""), 1);
    EXPECT_EQ(read(u"User", u"admin"), u"") << "an empty stored value is not the default";
}

TEST_F(SettingsStoreTest, TheFileIsPrivateToItsOwner) {
    ASSERT_EQ(write(u"Password", u"kt7391"), 1);
    struct stat file {};
    struct stat dir {};
    ASSERT_EQ(::stat(orv::SettingsFilePath().c_str(), &file), 0);
    ASSERT_EQ(::stat((tmp.path() / "orvantix").c_str(), &dir), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(dir.st_mode & 0777, 0700u);
}

TEST_F(SettingsStoreTest, ADamagedFileReadsAsEmptyAndIsRepairedByTheNextWrite) {
    tmp.write("orvantix/settings.json", "{ this is not json");
    EXPECT_EQ(read(u"User", u"admin"), u"admin");
    ASSERT_EQ(write(u"User", u"tech"), 1);
    EXPECT_EQ(read(u"User", u"admin"), u"tech");

    tmp.write(
        "orvantix/settings.json",
        R"({"keys":{"HKEY_CURRENT_USER\\SOFTWARE\\Orvantix":{"User":{"type":1,"hex":"zz"}}}})");
    EXPECT_EQ(read(u"User", u"admin"), u"admin");
}

TEST_F(SettingsStoreTest, OddLengthAndBinaryValuesSurvive) {
    const unsigned char raw[] = {0x41, 0x00, 0x42};
    ASSERT_EQ(orv::WriteRegValue(orv::RegRoot::CurrentUser, orv::kOrvantixKey, u"Odd", raw, 3,
                                 orv::kRegSz),
              1);
    orv::RegKey key;
    ASSERT_TRUE(orv::OpenRegKeyForRead(orv::RegRoot::CurrentUser, orv::kOrvantixKey, key));
    EXPECT_EQ(key.ValueSize(u"Odd"), 3);
    unsigned char back[3] = {};
    ASSERT_TRUE(key.ReadValue(u"Odd", back, 3));
    EXPECT_EQ(std::memcmp(raw, back, 3), 0);
}

TEST_F(SettingsStoreTest, CreateRegKeyRefusesNullRootAndEmptySubKey) {
    EXPECT_EQ(orv::CreateRegKey(orv::RegRoot::None, orv::kOrvantixKey, nullptr), 0);
    EXPECT_EQ(orv::CreateRegKey(orv::RegRoot::CurrentUser, nullptr, nullptr), 0);
    EXPECT_EQ(orv::CreateRegKey(orv::RegRoot::CurrentUser, u"", nullptr), 0);
    orv::RegKey key;
    EXPECT_EQ(orv::CreateRegKey(orv::RegRoot::CurrentUser, orv::kOrvantixKey, &key), 1);
    EXPECT_TRUE(key.IsOpen());
}

TEST_F(SettingsStoreTest, AnUnwritableLocationFailsTheWriteQuietly) {
    tmp.write("blocked", "a file where the directory should be");
    ::setenv("XDG_CONFIG_HOME", (tmp.path() / "blocked").c_str(), 1);
    EXPECT_EQ(write(u"User", u"x"), 0);
    EXPECT_EQ(read(u"User", u"admin"), u"admin");
}
