// Each camera's own password against a real site book: kept before the
// camera changes, found by a tool started afterwards (a kill between the
// two loses nothing), promoted by the first login with it, sealed so that
// the file never shows it, and refused to a wrong passphrase. An in-memory
// keyring stands in where a keyring must fail on cue.

#include "secrets/PasswordVault.h"
#include "site/SiteBook.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

using namespace orv;
using namespace orv::secrets;

namespace {

device::DeviceInfo camera(std::uint8_t n) {
    device::DeviceInfo d;
    d.id = device::DeviceId::OfMac({0x02, 0x4F, 0x56, 0x10, 0x00, n});
    d.mac = d.id.Mac();
    return d;
}

const device::Credentials kDefault{QStringLiteral("admin"), QStringLiteral("admin")};

std::vector<std::string> passwords(const std::vector<device::Credentials>& logins) {
    std::vector<std::string> out;
    for (const device::Credentials& c : logins) {
        out.push_back(c.password.toStdString());
    }
    return out;
}

// Every byte the site's files hold, the write-ahead log included.
std::string filesOf(const std::filesystem::path& book) {
    std::string all;
    for (const char* suffix : {"", "-wal"}) {
        std::ifstream in(book.string() + suffix, std::ios::binary);
        all += (std::stringstream() << in.rdbuf()).str();
    }
    return all;
}

class FakeKeyring final : public IKeyring {
public:
    std::map<std::string, std::string> entries;
    bool failing = false;
    Outcome Write(const std::string& key, const std::string& value, std::string& error) override {
        if (failing) {
            error = "locked";
            return Outcome::Failed;
        }
        entries[key] = value;
        return Outcome::Done;
    }
    Outcome Read(const std::string& key, std::string& value, std::string& error) override {
        if (failing) {
            error = "locked";
            return Outcome::Failed;
        }
        const auto it = entries.find(key);
        if (it == entries.end()) {
            return Outcome::Missing;
        }
        value = it->second;
        return Outcome::Done;
    }
    Outcome Remove(const std::string& key, std::string&) override {
        return entries.erase(key) > 0 ? Outcome::Done : Outcome::Missing;
    }
};

class PasswordVault : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path book = dir.path() / "Site.site";

    std::shared_ptr<CPasswordVault> open(std::optional<std::string> passphrase,
                                         std::shared_ptr<IKeyring> keyring = nullptr) {
        CPasswordVault::Opened opened = CPasswordVault::Open("Site", book, keyring, passphrase);
        EXPECT_TRUE(opened.vault) << opened.error;
        return opened.vault;
    }
};

TEST_F(PasswordVault, ANewPasswordIsKeptFirstThenBecomesTheCamerasOwnAtItsFirstLogin) {
    auto vault = open("site passphrase");
    EXPECT_EQ(vault->KeepsIn(), CPasswordVault::kSealed);
    EXPECT_EQ(passwords(vault->LoginsFor(camera(1), kDefault)), std::vector<std::string>{"admin"});

    std::string error;
    ASSERT_TRUE(vault->KeepNew(camera(1), QStringLiteral("admin"), "Pending1", error)) << error;
    // A tool started after a kill at this point finds the new one, after
    // the camera's own (none yet) and before the default.
    auto restarted = open("site passphrase");
    EXPECT_EQ(passwords(restarted->LoginsFor(camera(1), kDefault)),
              (std::vector<std::string>{"Pending1", "admin"}));
    EXPECT_EQ(passwords(restarted->LoginsFor(camera(2), kDefault)),
              std::vector<std::string>{"admin"});

    // The old login working says nothing of the new password.
    restarted->LoggedIn(camera(1), kDefault);
    EXPECT_EQ(restarted->Find(camera(1).id.Text())->pending, "Pending1");
    restarted->LoggedIn(camera(1), {QStringLiteral("admin"), QStringLiteral("Pending1")});
    const std::optional<CameraPasswords> own = vault->Find(camera(1).id.Text());
    ASSERT_TRUE(own);
    EXPECT_EQ(own->current, "Pending1") << "the first vault reads what the second wrote";
    EXPECT_EQ(own->pending, "");

    ASSERT_TRUE(vault->KeepNew(camera(1), QStringLiteral("admin"), "Pending2", error)) << error;
    EXPECT_EQ(passwords(open("site passphrase")->LoginsFor(camera(1), kDefault)),
              (std::vector<std::string>{"Pending1", "Pending2", "admin"}));

    const std::string files = filesOf(book);
    EXPECT_EQ(files.find("Pending1"), std::string::npos);
    EXPECT_EQ(files.find("Pending2"), std::string::npos);
    EXPECT_EQ(files.find("site passphrase"), std::string::npos);
    int unreadable = -1;
    EXPECT_EQ(vault->All(unreadable).size(), 1u);
    EXPECT_EQ(unreadable, 0);
}

TEST_F(PasswordVault, AWrongOrMissingPassphraseReadsNothingAndOverwritesNothing) {
    std::string error;
    ASSERT_TRUE(open("right")->KeepNew(camera(1), QStringLiteral("admin"), "Secret1", error));

    auto wrong = open("wrong");
    EXPECT_FALSE(wrong->Unlock(error));
    EXPECT_EQ(error, "the passphrase is not the one of site \"Site\"");
    EXPECT_EQ(passwords(wrong->LoginsFor(camera(1), kDefault)), std::vector<std::string>{"admin"});
    EXPECT_NE(wrong->TakeProblem().find("02:4F:56:10:00:01: the passphrase is not"),
              std::string::npos);
    EXPECT_FALSE(wrong->KeepNew(camera(1), QStringLiteral("admin"), "Other", error));

    auto none = open(std::nullopt);
    EXPECT_EQ(none->KeepsIn(), "");
    EXPECT_EQ(passwords(none->LoginsFor(camera(1), kDefault)), std::vector<std::string>{"admin"});
    EXPECT_FALSE(none->KeepNew(camera(2), QStringLiteral("admin"), "Other", error));
    int unreadable = 0;
    EXPECT_TRUE(none->All(unreadable).empty());
    EXPECT_EQ(unreadable, 1);

    EXPECT_EQ(open("right")->Find(camera(1).id.Text())->pending, "Secret1");
}

TEST_F(PasswordVault, AKeyringThatFailsKeepsNothingNewAndTheBookNeverHoldsItsPasswords) {
    auto keyring = std::make_shared<FakeKeyring>();
    auto vault = open(std::nullopt, keyring);
    EXPECT_EQ(vault->KeepsIn(), CPasswordVault::kKeyring);
    std::string error;
    ASSERT_TRUE(vault->KeepNew(camera(1), QStringLiteral("admin"), "InKeyring1", error));
    vault->LoggedIn(camera(1), {QStringLiteral("admin"), QStringLiteral("InKeyring1")});
    EXPECT_EQ(keyring->entries.count("Site/" + camera(1).id.Text()), 1u);
    EXPECT_EQ(filesOf(book).find("InKeyring1"), std::string::npos);

    keyring->failing = true;
    EXPECT_FALSE(vault->KeepNew(camera(1), QStringLiteral("admin"), "Lost", error));
    EXPECT_EQ(error, "locked");
    keyring->failing = false;
    auto restarted = open(std::nullopt, keyring);
    EXPECT_EQ(passwords(restarted->LoginsFor(camera(1), kDefault)),
              (std::vector<std::string>{"InKeyring1", "admin"}));

    // An entry of another program under the same name is not taken for one.
    keyring->entries["Site/" + camera(1).id.Text()] = "hunter2";
    site::CSiteBook::Open(book).book->PutSecret(
        {camera(1).id.Text(), CPasswordVault::kKeyring, false, {}, 1});
    EXPECT_EQ(passwords(restarted->LoginsFor(camera(1), kDefault)),
              std::vector<std::string>{"admin"});
    EXPECT_NE(restarted->TakeProblem().find("not one of this tool's"), std::string::npos);
}

} // namespace
