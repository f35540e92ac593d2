#include "app/SettingsStore.h"
#include "app/SettingsFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using orv::Credentials;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    TempDir tmp;
    fs::path file = tmp.path() / "orvantix" / "settings.json";
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", tmp.str().c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }
};

} // namespace

TEST_F(SettingsStoreTest, ValuesRoundTripAndMissingOnesKeepTheirDefaults) {
    EXPECT_EQ(orv::LoadCredentials(), Credentials{});
    ASSERT_TRUE(orv::StoreCredentials({u"Bediener 名 \U0001F4F7", u""}));
    EXPECT_EQ(orv::LoadCredentials(), (Credentials{u"Bediener 名 \U0001F4F7", u""}))
        << "an empty stored value is not the default";

    // Files written by earlier versions: names in any case, other keys and
    // values beside them; a value that is not text keeps its default.
    tmp.write("orvantix/settings.json",
              R"({"keys":{"HKEY_CURRENT_USER\\software\\orvantix":{"user":{"type":1,)"
              R"("text":"tech\u0000hidden"},"Password":{"type":1,"hex":"41"},"Other":{}},)"
              R"("HKEY_CURRENT_USER\\Elsewhere":{"User":{"text":"x"}}},"extra":[1,2]})");
    EXPECT_EQ(orv::LoadCredentials(), (Credentials{u"tech", u"kt7391"}));
}

TEST_F(SettingsStoreTest, TheFileIsPrivateCompactAndHoldsOnlyTheCredentials) {
    fs::create_directories(tmp.path() / "orvantix");
    fs::permissions(tmp.path() / "orvantix", fs::perms::all);
    tmp.write("orvantix/settings.json",
              R"({"keys":{"HKEY_CURRENT_USER\\SOFTWARE\\Orvantix":{"Unused":[[[[1]]]]}}})");
    ASSERT_TRUE(orv::StoreCredentials({u"a", u"b"}));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(file.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(tmp.read("orvantix/settings.json"),
              R"({"keys":{"HKEY_CURRENT_USER\\SOFTWARE\\Orvantix":{"Password":{"text":"b",)"
              R"("type":1},"User":{"text":"a","type":1}}}})");
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1)
        << "no temporary file is left behind";
}

TEST_F(SettingsStoreTest, HostileFilesGiveTheDefaultsAtOnceAndAreNotWrittenOver) {
    tmp.write("orvantix/settings.json", "{ this is not json");
    EXPECT_EQ(orv::LoadCredentials(), Credentials{});
    ASSERT_TRUE(orv::StoreCredentials({u"tech", u"x"})) << "a damaged file is replaced";

    const std::string deep = R"({"keys":{"HKEY_CURRENT_USER\\SOFTWARE\\Orvantix":{"User":)" +
                             std::string(300000, '[') + std::string(300000, ']') + "}}}";
    EXPECT_EQ(orv::settings::Parse(deep), Credentials{});
    tmp.write("orvantix/settings.json", deep);
    EXPECT_EQ(orv::LoadCredentials(), Credentials{}) << "too large to read";

    const fs::path target = tmp.path() / "target.json";
    tmp.write("target.json", orv::settings::Serialize({u"planted", u"planted"}));
    fs::remove(file);
    fs::create_symlink(target, file);
    EXPECT_EQ(orv::LoadCredentials(), Credentials{}) << "links are not followed";
    EXPECT_FALSE(orv::StoreCredentials({u"x", u"y"}));
    EXPECT_EQ(orv::settings::Parse(tmp.read("target.json")).user, u"planted");

    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(orv::LoadCredentials(), Credentials{});
    EXPECT_FALSE(orv::StoreCredentials({u"x", u"y"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(file)));

    fs::remove(file);
    fs::create_directory(file);
    EXPECT_EQ(orv::LoadCredentials(), Credentials{});
    EXPECT_FALSE(orv::StoreCredentials({u"x", u"y"}));
    EXPECT_TRUE(fs::is_directory(file));
}

TEST_F(SettingsStoreTest, OnlyAPrivatePlaceOfThisUserIsUsed) {
    tmp.write("blocked", "a file where the directory should be");
    ::setenv("XDG_CONFIG_HOME", (tmp.path() / "blocked").c_str(), 1);
    EXPECT_FALSE(orv::StoreCredentials({u"x", u"y"}));
    EXPECT_EQ(orv::LoadCredentials(), Credentials{});

    // Without a usable XDG_CONFIG_HOME and HOME: the account's home, never
    // a shared directory.
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    ::unsetenv("HOME");
    const fs::path path = orv::SettingsFilePath();
    if (!savedHome.empty())
        ::setenv("HOME", savedHome.c_str(), 1);
    EXPECT_EQ(path, fs::path(::getpwuid(::geteuid())->pw_dir) / ".config/orvantix/settings.json");

    // A directory that belongs to someone else is not used.
    if (::geteuid() == 0) {
        ::setenv("XDG_CONFIG_HOME", tmp.str().c_str(), 1);
        fs::create_directories(file.parent_path());
        ASSERT_EQ(::chown(file.parent_path().c_str(), 65534, 65534), 0);
        EXPECT_FALSE(orv::StoreCredentials({u"x", u"y"}));
        EXPECT_FALSE(fs::exists(file));
    }
}
