#include "SiteSwitch.h"

#include "site/Sites.h"

#include <QMetaObject>

#include <fstream>

namespace {

// Beside the books: the name of the site opened last.
constexpr const char* kLastFile = "last-site";

std::string lastSite(const std::filesystem::path& folder) {
    std::ifstream in(folder / kLastFile);
    std::string name;
    std::getline(in, name);
    return name;
}

void rememberSite(const std::filesystem::path& folder, const std::string& name) {
    std::ofstream(folder / kLastFile, std::ios::trunc) << name << '\n';
}

} // namespace

CSiteSwitch::CSiteSwitch(std::filesystem::path folder, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_thread([this] { run(); }) {
    qRegisterMetaType<std::shared_ptr<orv::CSiteJournal>>();
    qRegisterMetaType<std::vector<CSiteSwitch::Remembered>>();
}

CSiteSwitch::~CSiteSwitch() {
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void CSiteSwitch::post(std::function<void()> task) {
    {
        std::lock_guard lock(m_lock);
        m_tasks.push_back(std::move(task));
    }
    m_changed.notify_all();
}

void CSiteSwitch::run() {
    std::unique_lock lock(m_lock);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
        if (m_tasks.empty()) {
            return; // stopping, with nothing left
        }
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        m_busy = true;
        lock.unlock();
        task();
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}

void CSiteSwitch::Wait() {
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [this] { return m_tasks.empty() && !m_busy; });
}

void CSiteSwitch::refuse(const std::string& text) {
    QMetaObject::invokeMethod(
        this, [this, text = QString::fromStdString(text)] { emit refused(text); },
        Qt::QueuedConnection);
}

void CSiteSwitch::openNow(const std::string& name) {
    orv::CSiteJournal::Opened book =
        orv::CSiteJournal::Open(name, orv::site::CSites(m_folder).FileOf(name));
    if (!book.journal) {
        refuse("The site \"" + name + "\" could not be opened: " + book.error);
        return;
    }
    rememberSite(m_folder, name);
    std::shared_ptr<orv::secrets::CPasswordVault> vault =
        openVault(name, orv::site::CSites(m_folder).FileOf(name));
    std::vector<Remembered> cameras;
    cameras.reserve(book.inventory.size());
    for (const orv::site::SiteCamera& c : book.inventory) {
        Remembered r{orv::CSiteJournal::DeviceOf(c),
                     static_cast<std::int32_t>(c.lastSeenMs / 1000)};
        if (!r.device.id.IsNull()) {
            cameras.push_back(std::move(r));
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, site = QString::fromStdString(name), journal = std::move(book.journal),
         cameras = std::move(cameras),
         vault = std::move(vault)] { emit opened(site, journal, cameras, vault); },
        Qt::QueuedConnection);
}

std::shared_ptr<orv::secrets::CPasswordVault>
CSiteSwitch::openVault(const std::string& name, const std::filesystem::path& file) {
    if (!m_keyring) {
        m_keyring = orv::secrets::ReachableKeyring();
    }
    orv::secrets::CPasswordVault::Opened vault = orv::secrets::CPasswordVault::Open(
        name, file, *m_keyring, orv::secrets::PassphraseFromEnvironment());
    if (!vault.vault) {
        refuse("The passwords of the site \"" + name + "\" cannot be used: " + vault.error);
    }
    return vault.vault;
}

void CSiteSwitch::OpenLast() {
    post([this] {
        orv::site::CSites sites(m_folder);
        std::string name = lastSite(m_folder);
        const std::vector<std::string> names = sites.Names();
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            if (const std::optional<std::string> problem = sites.EnsureOne(name)) {
                refuse(*problem);
                return;
            }
        }
        openNow(name);
    });
}

void CSiteSwitch::Open(const QString& name) {
    post([this, name = name.toStdString()] { openNow(name); });
}

void CSiteSwitch::Create(const QString& name) {
    post([this, name = name.toStdString()] {
        if (const std::optional<std::string> problem = orv::site::CSites(m_folder).Create(name)) {
            refuse(*problem);
            return;
        }
        openNow(name);
    });
}

void CSiteSwitch::RenameOpen(std::shared_ptr<orv::CSiteJournal> open, const QString& to) {
    post([this, open = std::move(open), to = to.toStdString()]() mutable {
        const std::string from = open->Site();
        // The last connection closing folds the log into the file.
        open.reset();
        if (const std::optional<std::string> problem =
                orv::site::CSites(m_folder).Rename(from, to)) {
            refuse(*problem);
            openNow(from);
            return;
        }
        openNow(to);
    });
}

void CSiteSwitch::ListSites(std::function<void(QStringList)> answer) {
    post([this, answer = std::move(answer)] {
        QStringList names;
        for (const std::string& n : orv::site::CSites(m_folder).Names()) {
            names << QString::fromStdString(n);
        }
        QMetaObject::invokeMethod(
            this, [answer, names] { answer(names); }, Qt::QueuedConnection);
    });
}
