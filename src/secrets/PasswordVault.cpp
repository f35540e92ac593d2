#include "PasswordVault.h"

#include "site/SiteBook.h"
#include "site/Sqlite.h"

#include <nlohmann/json.hpp>

#include <chrono>

namespace orv::secrets {

namespace {

using json = nlohmann::json;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string cameraOf(const device::DeviceInfo& device) {
    return device.id.Text();
}

std::string toText(const CameraPasswords& p) {
    return json{{"user", p.user}, {"current", p.current}, {"pending", p.pending}}.dump();
}

// Nothing for a text that is not one of ours (another program's entry under
// the same name, or a damaged one).
std::optional<CameraPasswords> fromText(const std::string& camera, const std::string& text,
                                        const std::string& keptIn) {
    const json j = json::parse(text, nullptr, false);
    if (!j.is_object() || !j.contains("user") || !j["user"].is_string() ||
        !j.value("current", json()).is_string() || !j.value("pending", json()).is_string()) {
        return std::nullopt;
    }
    return CameraPasswords{camera, j["user"].get<std::string>(), j["current"].get<std::string>(),
                           j["pending"].get<std::string>(), keptIn};
}

} // namespace

CPasswordVault::Opened CPasswordVault::Open(const std::string& site,
                                            const std::filesystem::path& bookFile,
                                            std::shared_ptr<IKeyring> keyring,
                                            std::optional<std::string> passphrase) {
    site::CSiteBook::Opened opened = site::CSiteBook::Open(bookFile);
    if (!opened.book) {
        return {nullptr, opened.error ? opened.error->text : "the site book cannot be opened"};
    }
    return {std::shared_ptr<CPasswordVault>(new CPasswordVault(
                site, std::move(opened.book), std::move(keyring), std::move(passphrase))),
            {}};
}

CPasswordVault::CPasswordVault(std::string site, std::unique_ptr<site::CSiteBook> book,
                               std::shared_ptr<IKeyring> keyring,
                               std::optional<std::string> passphrase)
    : m_site(std::move(site)), m_keyring(std::move(keyring)), m_passphrase(std::move(passphrase)),
      m_book(std::move(book)) {}

bool CPasswordVault::Unlock(std::string& error) {
    std::lock_guard guard(m_keyLock);
    if (m_key) {
        return true;
    }
    if (!m_keyError.empty()) {
        error = m_keyError;
        return false;
    }
    if (!m_passphrase) {
        error = "sealed under the site passphrase, which was not given";
        return false;
    }
    m_key = makeKey(m_keyError);
    // Made once: the passphrase is not needed again.
    m_passphrase.reset();
    error = m_keyError;
    return m_key.has_value();
}

bool CPasswordVault::GivePassphrase(const std::string& passphrase, std::string& error) {
    {
        std::lock_guard guard(m_keyLock);
        if (m_key) {
            return true;
        }
        m_keyError.clear();
        m_passphrase = passphrase;
    }
    if (Unlock(error)) {
        return true;
    }
    // Refused: the next passphrase is tried afresh.
    std::lock_guard guard(m_keyLock);
    m_keyError.clear();
    return false;
}

bool CPasswordVault::Unlocked() const {
    std::lock_guard guard(m_keyLock);
    return m_key.has_value();
}

std::optional<CSealKey> CPasswordVault::makeKey(std::string& error) {
    const std::string wrong = "the passphrase is not the one of site \"" + m_site + "\"";
    std::lock_guard guard(m_lock);
    try {
        if (const std::optional<site::SiteKeyEntry> entry = m_book->SiteKey()) {
            std::optional<CSealKey> key = CSealKey::Derive(*m_passphrase, *entry);
            if (!key) {
                error = wrong;
            }
            return key;
        }
        site::SiteKeyEntry made;
        std::optional<CSealKey> key = CSealKey::Create(*m_passphrase, made);
        if (!key) {
            error = "no key could be made from the passphrase (out of memory?)";
            return std::nullopt;
        }
        // Another tool may have made the site's key meanwhile: that one holds.
        const site::SiteKeyEntry kept = m_book->EnsureSiteKey(made);
        if (kept.salt != made.salt) {
            key = CSealKey::Derive(*m_passphrase, kept);
            if (!key) {
                error = wrong;
            }
        }
        return key;
    } catch (const site::SqliteError& e) {
        error = std::string("the site book: ") + e.what();
        return std::nullopt;
    }
}

CPasswordVault::~CPasswordVault() = default;

std::string CPasswordVault::KeepsIn() const {
    if (m_keyring) {
        return kKeyring;
    }
    std::lock_guard guard(m_keyLock);
    return m_key || m_passphrase ? kSealed : "";
}

std::string CPasswordVault::keyringKey(const std::string& camera) const {
    return m_site + "/" + camera;
}

std::optional<CameraPasswords> CPasswordVault::load(const std::string& camera, std::string& error) {
    std::optional<site::SecretEntry> row;
    {
        std::lock_guard guard(m_lock);
        try {
            row = m_book->Secret(camera);
        } catch (const site::SqliteError& e) {
            error = std::string("the site book: ") + e.what();
            return std::nullopt;
        }
        if (!row) {
            return std::nullopt;
        }
        if (const auto it = m_cache.find(camera);
            it != m_cache.end() && it->second.first == row->updatedMs) {
            return it->second.second;
        }
    }
    std::optional<CameraPasswords> read;
    if (row->keptIn == kSealed) {
        if (!Unlock(error)) {
            return std::nullopt;
        }
        if (const std::optional<std::string> plain = m_key->Open(row->sealed)) {
            read = fromText(camera, *plain, kSealed);
        }
        if (!read) {
            error = "its sealed password is damaged";
            return std::nullopt;
        }
    } else {
        if (!m_keyring) {
            error = "kept in a keyring that is not reachable here";
            return std::nullopt;
        }
        std::string text;
        const IKeyring::Outcome outcome = m_keyring->Read(keyringKey(camera), text, error);
        if (outcome == IKeyring::Outcome::Missing) {
            error = "the keyring has lost its password";
            return std::nullopt;
        }
        if (outcome == IKeyring::Outcome::Failed) {
            return std::nullopt;
        }
        read = fromText(camera, text, kKeyring);
        if (!read) {
            error = "the keyring's entry is not one of this tool's";
            return std::nullopt;
        }
    }
    std::lock_guard guard(m_lock);
    m_cache[camera] = {row->updatedMs, *read};
    return read;
}

bool CPasswordVault::store(const CameraPasswords& given, std::string& error) {
    CameraPasswords entry = given;
    site::SecretEntry row{entry.camera, KeepsIn(), !entry.pending.empty(), {}, nowMs()};
    if (row.keptIn.empty()) {
        error = "no keyring, and no site passphrase to seal it under";
        return false;
    }
    entry.keptIn = row.keptIn;
    if (row.keptIn == kSealed) {
        if (!Unlock(error)) {
            return false;
        }
        row.sealed = m_key->Seal(toText(entry));
    } else if (m_keyring->Write(keyringKey(entry.camera), toText(entry), error) !=
               IKeyring::Outcome::Done) {
        // The keyring first, then the row that points there: a tool killed
        // between the two leaves the row as it was, which still holds.
        return false;
    }
    std::lock_guard guard(m_lock);
    try {
        // A row written twice within a millisecond must still look new.
        if (const auto it = m_cache.find(entry.camera);
            it != m_cache.end() && it->second.first >= row.updatedMs) {
            row.updatedMs = it->second.first + 1;
        }
        m_book->PutSecret(row);
    } catch (const site::SqliteError& e) {
        error = std::string("the site book: ") + e.what();
        return false;
    }
    m_cache[entry.camera] = {row.updatedMs, entry};
    return true;
}

void CPasswordVault::noteProblem(const std::string& problem) {
    std::lock_guard guard(m_lock);
    if (m_problem.empty()) {
        m_problem = problem;
    }
}

std::string CPasswordVault::TakeProblem() {
    std::lock_guard guard(m_lock);
    return std::exchange(m_problem, {});
}

std::vector<device::Credentials> CPasswordVault::LoginsFor(const device::DeviceInfo& device,
                                                           const device::Credentials& fallback) {
    std::vector<device::Credentials> logins;
    const auto add = [&](const device::Credentials& c) {
        for (const device::Credentials& l : logins) {
            if (l.user == c.user && l.password == c.password) {
                return;
            }
        }
        logins.push_back(c);
    };
    std::string error;
    if (const std::optional<CameraPasswords> own = load(cameraOf(device), error)) {
        const QString user = QString::fromStdString(own->user);
        if (!own->current.empty()) {
            add({user, QString::fromStdString(own->current)});
        }
        if (!own->pending.empty()) {
            add({user, QString::fromStdString(own->pending)});
        }
    } else if (!error.empty()) {
        noteProblem(device.MacText() + ": " + error);
    }
    add(fallback);
    return logins;
}

void CPasswordVault::LoggedIn(const device::DeviceInfo& device, const device::Credentials& login) {
    std::string error;
    std::optional<CameraPasswords> own = load(cameraOf(device), error);
    if (!own || own->pending.empty() || login.password.toStdString() != own->pending ||
        login.user.toStdString() != own->user) {
        return;
    }
    own->current = std::exchange(own->pending, {});
    if (!store(*own, error)) {
        // Still pending: the next login tries it after the old one.
        noteProblem(device.MacText() + ": " + error);
    }
}

bool CPasswordVault::KeepNew(const device::DeviceInfo& device, const QString& user,
                             const std::string& password, std::string& error) {
    const std::string camera = cameraOf(device);
    std::optional<CameraPasswords> entry = load(camera, error);
    if (!entry) {
        if (!error.empty()) {
            // Its passwords are there but cannot be read: writing over them
            // would lose the one the camera has.
            return false;
        }
        entry = CameraPasswords{camera, user.toStdString(), {}, {}, {}};
    }
    if (entry->user != user.toStdString()) {
        // The old one was another user's: it does not open this login.
        entry->user = user.toStdString();
        entry->current.clear();
    }
    entry->pending = password;
    return store(*entry, error);
}

std::optional<CameraPasswords> CPasswordVault::Find(const std::string& camera) {
    std::string error;
    return load(camera, error);
}

std::vector<CameraPasswords> CPasswordVault::All(int& unreadable) {
    unreadable = 0;
    std::vector<site::SecretEntry> rows;
    {
        std::lock_guard guard(m_lock);
        try {
            rows = m_book->Secrets();
        } catch (const site::SqliteError& e) {
            m_problem = std::string("the site book: ") + e.what();
            return {};
        }
    }
    std::vector<CameraPasswords> all;
    for (const site::SecretEntry& row : rows) {
        std::string error;
        if (std::optional<CameraPasswords> p = load(row.camera, error)) {
            all.push_back(std::move(*p));
        } else {
            ++unreadable;
        }
    }
    return all;
}

} // namespace orv::secrets
