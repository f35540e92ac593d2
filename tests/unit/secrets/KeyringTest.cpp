// The desktop keyring for real: a Secret Service (gnome-keyring) on a
// private D-Bus session that with-keyring.sh starts for this program alone.
// Asked from the keyring's own thread and from a worker while that thread
// runs its event loop, as the window and the command line do; and a vault
// over it keeps the passwords where the site's book never shows them.

#include "secrets/Keyring.h"
#include "secrets/PasswordVault.h"

#include "TempDir.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

using namespace orv;
using namespace orv::secrets;

namespace {

// Runs `work` on a thread of its own while this thread serves the keyring.
template <class Work>
void onWorker(Work work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    while (!done.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    worker.join();
}

TEST(Keyring, KeepsReadsAndForgetsFromItsOwnThreadAndFromAWorker) {
    CKeyring keyring(QStringLiteral("orvantix-test"));
    std::string error;
    ASSERT_TRUE(keyring.Available(error)) << error;
    std::string value;
    EXPECT_EQ(keyring.Read("lab/none", value, error), IKeyring::Outcome::Missing);
    ASSERT_EQ(keyring.Write("lab/one", "first \xE2\x9C\x93", error), IKeyring::Outcome::Done)
        << error;
    ASSERT_EQ(keyring.Read("lab/one", value, error), IKeyring::Outcome::Done) << error;
    EXPECT_EQ(value, "first \xE2\x9C\x93");

    onWorker([&] {
        std::string e;
        std::string v;
        EXPECT_EQ(keyring.Write("lab/one", "second", e), IKeyring::Outcome::Done) << e;
        EXPECT_EQ(keyring.Read("lab/one", v, e), IKeyring::Outcome::Done) << e;
        EXPECT_EQ(v, "second");
        EXPECT_EQ(keyring.Remove("lab/one", e), IKeyring::Outcome::Done) << e;
        EXPECT_EQ(keyring.Read("lab/one", v, e), IKeyring::Outcome::Missing);
    });
}

TEST(Keyring, AVaultKeepsEachCamerasPasswordThereAndTheBookOnlyKnowsWhere) {
    TempDir dir;
    const std::filesystem::path book = dir.path() / "Lab.site";
    auto keyring = std::make_shared<CKeyring>(QStringLiteral("orvantix-test"));
    CPasswordVault::Opened opened = CPasswordVault::Open("Lab", book, keyring, std::nullopt);
    ASSERT_TRUE(opened.vault) << opened.error;
    device::DeviceInfo camera;
    camera.id = device::DeviceId::OfMac({0x02, 0x4F, 0x56, 0x10, 0x00, 0x07});
    const device::Credentials fallback{QStringLiteral("admin"), QStringLiteral("admin")};
    onWorker([&] {
        std::string error;
        EXPECT_TRUE(opened.vault->KeepNew(camera, QStringLiteral("admin"), "Kept7xyz", error))
            << error;
        opened.vault->LoggedIn(camera, {QStringLiteral("admin"), QStringLiteral("Kept7xyz")});
    });

    // Another tool on the same site, with nothing cached.
    auto again = CPasswordVault::Open("Lab", book, keyring, std::nullopt).vault;
    std::vector<device::Credentials> logins;
    onWorker([&] { logins = again->LoginsFor(camera, fallback); });
    ASSERT_EQ(logins.size(), 2u);
    EXPECT_EQ(logins[0].password, QStringLiteral("Kept7xyz"));
    std::string value;
    std::string error;
    ASSERT_EQ(keyring->Read("Lab/" + camera.id.Text(), value, error), IKeyring::Outcome::Done);
    EXPECT_NE(value.find("Kept7xyz"), std::string::npos);
    std::ifstream file(book, std::ios::binary);
    EXPECT_EQ((std::stringstream() << file.rdbuf()).str().find("Kept7xyz"), std::string::npos);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
