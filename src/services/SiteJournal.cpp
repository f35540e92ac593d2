#include "SiteJournal.h"

#include "jobs/JobEngine.h"

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace orv {

namespace {

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool sameValues(const site::SiteCamera& a, const site::SiteCamera& b) {
    return a.mac == b.mac && a.protocols == b.protocols && a.model == b.model &&
           a.firmware == b.firmware && a.address == b.address && a.name == b.name;
}

// A camera is reported by each protocol that found it, each telling only
// itself: what this session heard of it before, by another protocol, stays
// (the protocols together, a text the new report lacks).
void addEarlier(site::SiteCamera& c, const site::SiteCamera& earlier) {
    const auto has = [](const std::string& protocols, const char* p) {
        return protocols.find(p) != std::string::npos;
    };
    const bool maker = has(c.protocols, "native") || has(earlier.protocols, "native");
    const bool onvif = has(c.protocols, "onvif") || has(earlier.protocols, "onvif");
    c.protocols = maker && onvif ? "native+onvif" : maker ? "native" : onvif ? "onvif" : "";
    for (auto [now, before] :
         {std::pair{&c.mac, &earlier.mac}, std::pair{&c.model, &earlier.model},
          std::pair{&c.firmware, &earlier.firmware}, std::pair{&c.name, &earlier.name}}) {
        if (now->empty()) {
            *now = *before;
        }
    }
}

} // namespace

std::string OsUser() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) {
        return pw->pw_name;
    }
    const char* user = std::getenv("USER");
    return user != nullptr ? user : "";
}

std::string OsUserFullName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_gecos != nullptr) {
        // The GECOS field: the full name, then office and telephone.
        const std::string gecos = pw->pw_gecos;
        const std::string name = gecos.substr(0, gecos.find(','));
        if (!name.empty()) {
            return name;
        }
    }
    return OsUser();
}

std::string ToolVersion() {
    return ORVANTIX_VERSION;
}

CSiteJournal::Opened CSiteJournal::Open(const std::string& site,
                                        const std::filesystem::path& file) {
    site::CSiteBook::Opened opened = site::CSiteBook::Open(file);
    if (!opened.book) {
        return {nullptr, opened.error ? opened.error->text : "The site file cannot be opened.", {}};
    }
    std::vector<site::SiteCamera> inventory = opened.book->Inventory();
    return {std::shared_ptr<CSiteJournal>(new CSiteJournal(site, file, std::move(opened.book))),
            {},
            std::move(inventory)};
}

CSiteJournal::CSiteJournal(std::string site, std::filesystem::path file,
                           std::unique_ptr<site::CSiteBook> book)
    : m_site(std::move(site)), m_file(std::move(file)), m_recorder(std::move(book)) {}

site::SiteCamera CSiteJournal::SiteCameraOf(const device::DeviceInfo& device, std::int64_t seenMs) {
    site::SiteCamera c;
    c.key = KeyOf(device);
    c.mac = device.mac ? device::MacText(*device.mac) : std::string();
    const bool maker = device.Speaks(device::Protocol::Maker);
    const bool onvif = device.Speaks(device::Protocol::Onvif);
    c.protocols = maker && onvif ? "native+onvif" : maker ? "native" : onvif ? "onvif" : "";
    c.model = device.ShownModel().toStdString();
    c.firmware = device.firmware.toStdString();
    c.address = device.AddressText().toStdString();
    c.name = device.name.toStdString();
    c.firstSeenMs = seenMs;
    c.lastSeenMs = seenMs;
    return c;
}

device::DeviceInfo CSiteJournal::DeviceOf(const site::SiteCamera& camera) {
    device::DeviceInfo d;
    d.id = device::DeviceId::FromText(camera.key);
    d.mac = device::ReadMac(camera.mac);
    d.name = QString::fromStdString(camera.name);
    d.address = device::ParseIpv4(camera.address).value_or(0);
    d.model = QString::fromStdString(camera.model);
    d.firmware = QString::fromStdString(camera.firmware);
    // Shown in the protocol column; no address to reach it by.
    if (camera.protocols.find("native") != std::string::npos) {
        d.services.push_back({device::Protocol::Maker, {}, {}});
    }
    if (camera.protocols.find("onvif") != std::string::npos) {
        d.services.push_back({device::Protocol::Onvif, {}, {}});
    }
    return d;
}

void CSiteJournal::NoteSeen(const std::vector<device::DeviceInfo>& devices) {
    const std::int64_t now = nowMs();
    std::vector<site::SiteCamera> changed;
    {
        std::lock_guard lock(m_seenLock);
        for (const device::DeviceInfo& d : devices) {
            site::SiteCamera c = SiteCameraOf(d, now);
            Noted& noted = m_seen[c.key];
            if (noted.atMs != 0) {
                addEarlier(c, noted.values);
            }
            if (noted.atMs != 0 && now - noted.atMs < kSeenRefreshMs &&
                sameValues(noted.values, c)) {
                continue;
            }
            noted = {now, c};
            changed.push_back(std::move(c));
        }
    }
    if (!changed.empty()) {
        m_recorder.NoteSeen(std::move(changed));
    }
}

void CSiteJournal::JobStarted(jobs::JobId job, const jobs::JobSpec& order) {
    site::JobEntry entry;
    entry.name = order.name;
    entry.startedMs = nowMs();
    entry.osUser = OsUser();
    entry.toolVersion = ORVANTIX_VERSION;
    if (order.undoes != 0) {
        entry.undoes = order.undoes;
    }
    m_recorder.BeginJob(job, std::move(entry));
}

void CSiteJournal::CameraFinished(jobs::JobId job,
                                  const std::vector<jobs::OperationResult>& results,
                                  std::function<void()> kept) {
    const std::int64_t now = nowMs();
    std::vector<site::ChangeEntry> entries;
    for (const jobs::OperationResult& r : results) {
        site::ChangeEntry entry;
        entry.camera = KeyOf(r.device);
        entry.operation = r.operation;
        entry.outcome = jobs::OutcomeWord(r.outcome);
        entry.reason = r.reason == jobs::Reason::None ? std::string() : jobs::ReasonText(r);
        entry.atMs = now;
        if (r.changes.empty()) {
            entries.push_back(std::move(entry));
            continue;
        }
        // An operation that changed several settings (a stream and its
        // port) keeps each with the operation's outcome.
        for (const device::SettingChange& change : r.changes) {
            site::ChangeEntry one = entry;
            one.setting = device::SettingName(change.setting);
            one.before = change.before;
            one.after = change.after;
            entries.push_back(std::move(one));
        }
    }
    m_recorder.Record(job, std::move(entries), std::move(kept));
}

} // namespace orv
