#include "settings/SettingsStore.h"
#include "settings/SettingsFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

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
    static mode_t mode(const fs::path& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
    }
};

} // namespace

TEST_F(SettingsStoreTest, ValuesRoundTripInAPrivateCompactFileAndMissingOnesKeepTheirDefaults) {
    EXPECT_EQ(orv::LoadCredentials(), Credentials{});
    // As earlier versions wrote it: names in any case, other keys and values
    // beside; a value that is not text keeps its default.
    tmp.write("orvantix/settings.json",
              R"({"keys":{"HKEY_CURRENT_USER\\software\\orvantix":{"user":{"type":1,)"
              R"("text":"tech\u0000hidden"},"Password":{"hex":"41"},"Other":[[[[1]]]]}}})");
    fs::permissions(file.parent_path(), fs::perms::all);
    EXPECT_EQ(orv::LoadCredentials(), (Credentials{u"tech", u"kt7391"}));

    ASSERT_TRUE(orv::StoreCredentials({u"Bediener 名 \U0001F4F7", u""}));
    EXPECT_EQ(orv::LoadCredentials(), (Credentials{u"Bediener 名 \U0001F4F7", u""}))
        << "an empty stored value is not the default";
    EXPECT_EQ(mode(file), 0600u);
    EXPECT_EQ(mode(file.parent_path()), 0700u);
    EXPECT_EQ(tmp.read("orvantix/settings.json"),
              R"({"keys":{"HKEY_CURRENT_USER\\SOFTWARE\\Orvantix":{"Password":{"text":"",)"
              R"("type":1},"User":{"text":"Bediener 名 📷","type":1}}}})");
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1)
        << "no temporary file is left behind";
}

TEST_F(SettingsStoreTest, HostileFilesGiveTheDefaultsAtOnceAndAreNotWrittenOver) {
    tmp.write("orvantix/settings.json", "{ this is not json");
    EXPECT_EQ(orv::LoadCredentials(), Credentials{});
    ASSERT_TRUE(orv::StoreCredentials({u"tech", u"x"})) << "a damaged file is replaced";
    const std::string deep = std::string(20000, '[') + std::string(20000, ']');
    EXPECT_EQ(orv::settings::Parse(R"({"keys":{"HKEY_CURRENT_USER\SOFTWARE\Orvantix":{"User":)"
                                   R"({"text":"a"},"Unused":)" +
                                   deep + "}}}"),
              Credentials{})
        << "nesting deeper than the format's is refused";

    tmp.write("target.json", orv::settings::Serialize({u"planted", u"planted"}));
    fs::remove(file);
    fs::create_symlink(tmp.path() / "target.json", file);
    EXPECT_EQ(orv::LoadCredentials(), Credentials{}) << "links are not followed";
    EXPECT_FALSE(orv::StoreCredentials({u"x", u"y"}));
    EXPECT_EQ(orv::settings::Parse(tmp.read("target.json")).user, u"planted");

    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); // a hang here is the failure
    EXPECT_EQ(orv::LoadCredentials(), Credentials{});
    EXPECT_FALSE(orv::StoreCredentials({u"x", u"y"}));
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(file)));
}

TEST_F(SettingsStoreTest, OnlyAPrivatePlaceOfThisUserIsUsed) {
    tmp.write("blocked", "a file where the directory should be");
    ::setenv("XDG_CONFIG_HOME", (tmp.path() / "blocked").c_str(), 1);
    EXPECT_FALSE(orv::StoreCredentials({u"x", u"y"}));
    // Without a usable XDG_CONFIG_HOME: the account's home, whatever HOME says.
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    EXPECT_EQ(orv::SettingsFilePath(),
              fs::path(::getpwuid(::geteuid())->pw_dir) / ".config/orvantix/settings.json");
    if (::geteuid() == 0) { // a directory that belongs to someone else
        ::setenv("XDG_CONFIG_HOME", tmp.str().c_str(), 1);
        fs::create_directories(file.parent_path());
        ASSERT_EQ(::chown(file.parent_path().c_str(), 65534, 65534), 0);
        EXPECT_FALSE(orv::StoreCredentials({u"x", u"y"}));
        EXPECT_FALSE(fs::exists(file));
    }
}
