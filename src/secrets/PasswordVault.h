#pragma once
// Each camera's own administrator password for one site: kept in the
// desktop keyring where there is one, else sealed under the site
// passphrase in the site's book. The book always knows which cameras have
// one and whether a new one waits for its first login.
//
// A new password is kept (durably) before its camera is changed, as
// pending; the first login with it makes it the camera's own. A tool killed
// between the two finds both, and tries the camera's own, then the pending
// one, then the installer's default login: no camera is locked out.
//
// Thread-safe; the workers call it during jobs.

#include "Keyring.h"
#include "SealKey.h"
#include "jobs/LoginBook.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orv::site {
class CSiteBook;
}

namespace orv::secrets {

struct CameraPasswords {
    std::string camera; // the site book's key of the camera
    std::string user;
    std::string current; // empty: none confirmed yet
    std::string pending; // empty: none waiting for its first login
    std::string keptIn;  // "keyring" or "sealed"
};

class CPasswordVault final : public jobs::ILoginBook {
public:
    static constexpr const char* kKeyring = "keyring";
    static constexpr const char* kSealed = "sealed";

    struct Opened {
        std::shared_ptr<CPasswordVault> vault;
        std::string error; // for the installer, when there is no vault
    };
    // `keyring`: where new passwords go; nullptr when there is none, and
    // then they are sealed, which needs `passphrase`. Without one, sealed
    // passwords are not read (logins fall back to the default) and none
    // can be kept.
    static Opened Open(const std::string& site, const std::filesystem::path& bookFile,
                       std::shared_ptr<IKeyring> keyring, std::optional<std::string> passphrase);
    ~CPasswordVault() override;

    // Makes the site's key from the passphrase (the site's first one makes
    // it); false, with `error`, when the passphrase is not the site's. The
    // derivation takes a fraction of a second and is made once, when a
    // sealed password is first needed, or here.
    bool Unlock(std::string& error);
    // The passphrase given after the vault opened (the window asks for it);
    // false, with `error`, when it is not the site's, and then another may
    // be tried. Derives the key: call it off the window thread.
    bool GivePassphrase(const std::string& passphrase, std::string& error);
    // Whether sealed passwords can be read and kept (the key is made).
    bool Unlocked() const;

    // Where a password kept now goes: kKeyring, kSealed, or "" for nowhere.
    std::string KeepsIn() const;

    std::vector<device::Credentials> LoginsFor(const device::DeviceInfo& device,
                                               const device::Credentials& fallback) override;
    void LoggedIn(const device::DeviceInfo& device, const device::Credentials& login) override;

    // Keeps `password` as the camera's new one, pending; true once it is
    // on the disk (or in the keyring), and only then may the camera change.
    bool KeepNew(const device::DeviceInfo& device, const QString& user, const std::string& password,
                 std::string& error);
    // A camera's passwords; nothing when it has none or they cannot be read.
    std::optional<CameraPasswords> Find(const std::string& camera);
    // Every camera's passwords, in the order of their keys; `unreadable`
    // counts those that could not be read (sealed, and no passphrase).
    std::vector<CameraPasswords> All(int& unreadable);
    // A problem met while the workers used the vault, each once.
    std::string TakeProblem();

private:
    CPasswordVault(std::string site, std::unique_ptr<site::CSiteBook> book,
                   std::shared_ptr<IKeyring> keyring, std::optional<std::string> passphrase);
    std::optional<CSealKey> makeKey(std::string& error);
    std::string keyringKey(const std::string& camera) const;
    // Reads the camera's passwords from where its book row says they are.
    std::optional<CameraPasswords> load(const std::string& camera, std::string& error);
    bool store(const CameraPasswords& entry, std::string& error);
    void noteProblem(const std::string& problem);

    const std::string m_site;
    std::shared_ptr<IKeyring> m_keyring;
    mutable std::mutex m_keyLock; // the three below
    std::optional<std::string> m_passphrase;
    std::optional<CSealKey> m_key;
    std::string m_keyError;
    std::mutex m_lock; // the book, the cache and the problem
    std::unique_ptr<site::CSiteBook> m_book;
    // Per camera, as last read or written, with the book row's time: a
    // row another tool wrote since is read again.
    std::map<std::string, std::pair<std::int64_t, CameraPasswords>> m_cache;
    std::string m_problem;
};

} // namespace orv::secrets
