#pragma once
// The window's open site: which one it is, and opening, making and renaming
// sites on a thread of its own, so that the window never waits for the
// disk. What it finds comes back on the window thread as signals.

#include "secrets/PasswordVault.h"
#include "services/SiteJournal.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class CSiteSwitch : public QObject {
    Q_OBJECT
public:
    // A camera the site remembers, with when it last answered.
    struct Remembered {
        orv::device::DeviceInfo device;
        std::int32_t lastSeen = 0; // seconds since 1970
    };

    explicit CSiteSwitch(std::filesystem::path folder, QObject* parent = nullptr);
    ~CSiteSwitch() override;
    CSiteSwitch(const CSiteSwitch&) = delete;
    CSiteSwitch& operator=(const CSiteSwitch&) = delete;

    const std::filesystem::path& Folder() const { return m_folder; }
    // The site last opened in this folder, or the Default site (made when
    // there is none).
    void OpenLast();
    void Open(const QString& name);
    // Makes a site and opens it.
    void Create(const QString& name);
    // Renames the open site: its journal is handed back here to be closed
    // first (no job may hold it).
    void RenameOpen(std::shared_ptr<orv::CSiteJournal> open, const QString& to);
    // The site names, read on the worker; `answer` runs on the window thread.
    void ListSites(std::function<void(QStringList)> answer);
    // Returns once every request made before is done (tests, shutdown).
    void Wait();

signals:
    // `vault`: the site's camera passwords, nullptr when they cannot be
    // kept (`refused` says why).
    void opened(const QString& name, std::shared_ptr<orv::CSiteJournal> journal,
                const std::vector<CSiteSwitch::Remembered>& cameras,
                std::shared_ptr<orv::secrets::CPasswordVault> vault);
    // Why a request did nothing, for the installer.
    void refused(const QString& text);

private:
    std::optional<std::shared_ptr<orv::secrets::CKeyring>> m_keyring; // on the worker
    void post(std::function<void()> task);
    void run();
    // On the worker: opens `name` and tells the window.
    void openNow(const std::string& name);
    void refuse(const std::string& text);
    // On the worker: the site's camera passwords, in the desktop keyring
    // (asked once whether it answers) or sealed under ORVANTIX_SITE_PASSPHRASE.
    std::shared_ptr<orv::secrets::CPasswordVault> openVault(const std::string& name,
                                                            const std::filesystem::path& file);

    const std::filesystem::path m_folder;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_tasks;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};
